#include "loginpage.h"

#include "httputil.h"
#include "loginthrottle.h"
#include "passwordhash.h"
#include "serverdatabase.h"
#include "serverlog.h"
#include "tokenservice.h"
#include "userstore.h"

#include <QDateTime>
#include <QUrl>
#include <QUuid>

#include <httplib.h>

namespace OmbrServer {

namespace {

constexpr qsizetype kMaxStateLength = 512;
constexpr qsizetype kMaxUserAgentLength = 512;

const char kPage[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="color-scheme" content="light dark">
<title>%1 · Ombrel</title>
<style>
:root { color-scheme: light dark; --bg: #f5f6f8; --fg: #1b2330; --muted: #4a5568; --card: #ffffff;
  --border: #b8c0cc; --accent: #1f4fb8; --accent-fg: #ffffff; --error-bg: #fdeaea; --error-fg: #86181d; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #14171c; --fg: #e8ebf0; --muted: #b4bcc8; --card: #1e232a; --border: #58616e;
    --accent: #8fb0ff; --accent-fg: #0b1220; --error-bg: #3d1c1f; --error-fg: #ffc1c1; }
}
body { margin: 0; font: 16px/1.5 system-ui, -apple-system, "Segoe UI", sans-serif; background: var(--bg); color: var(--fg); }
main { max-width: 24rem; margin: 8vh auto; padding: 2rem; background: var(--card); border: 1px solid var(--border); border-radius: 8px; }
h1 { font-size: 1.5rem; margin: 0 0 1rem; }
p { color: var(--muted); }
label { display: block; font-weight: 600; margin-top: 1rem; }
input { box-sizing: border-box; width: 100%; margin-top: .25rem; padding: .6rem; font: inherit; color: inherit;
  background: var(--bg); border: 1px solid var(--border); border-radius: 4px; }
input:focus-visible, button:focus-visible, a:focus-visible { outline: 3px solid var(--accent); outline-offset: 2px; }
button { width: 100%; margin-top: 1.5rem; padding: .7rem; font: inherit; font-weight: 600; cursor: pointer;
  background: var(--accent); color: var(--accent-fg); border: 0; border-radius: 4px; }
a { color: var(--accent); }
.error { color: var(--error-fg); background: var(--error-bg); padding: .75rem; border-radius: 4px; }
</style>
</head>
<body>
<main>
<h1>%1</h1>
%2
</main>
</body>
</html>
)";

QString page(const QString &title, const QString &content)
{
    return QString::fromUtf8(kPage).arg(htmlEscape(title), content);
}

void secureHtmlHeaders(httplib::Response &res)
{
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; style-src 'unsafe-inline'; frame-ancestors 'none'; base-uri 'none'");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Referrer-Policy", "no-referrer");
}

void sendPage(httplib::Response &res, int status, const QString &title, const QString &content)
{
    secureHtmlHeaders(res);
    sendHtml(res, status, page(title, content));
}

QString encode(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QHash<QString, QString> queryFields(const httplib::Request &req)
{
    QHash<QString, QString> fields;
    for (const char *name : {"client_id", "redirect_uri", "state", "response_mode"}) {
        if (req.has_param(name))
            fields.insert(QString::fromLatin1(name), fromStd(req.get_param_value(name)));
    }
    return fields;
}

QHash<QString, QString> formFields(const httplib::Request &req)
{
    return parseForm(QByteArray::fromRawData(req.body.data(), qsizetype(req.body.size())));
}

} // namespace

struct LoginPage::Request
{
    QString clientId;
    QString redirectUri;
    QString state;
    QString responseMode; // "query" (default) or "fragment"

    QString queryString() const
    {
        QString query = QStringLiteral("client_id=%1&redirect_uri=%2").arg(encode(clientId), encode(redirectUri));
        if (!state.isEmpty())
            query += QStringLiteral("&state=") + encode(state);
        if (responseMode == QLatin1String("fragment"))
            query += QStringLiteral("&response_mode=fragment");
        return query;
    }
};

LoginPage::LoginPage(Settings settings, UserStore &users, TokenService &tokens, LoginThrottle &throttle)
    : m_settings(std::move(settings))
    , m_users(users)
    , m_tokens(tokens)
    , m_throttle(throttle)
{
}

void LoginPage::registerRoutes(httplib::Server &server)
{
    const std::string base = "/" + m_settings.realm.toStdString() + "/account/";
    server.Get(base + "login", [this](const httplib::Request &req, httplib::Response &res) { showLogin(req, res); });
    server.Post(base + "login", [this](const httplib::Request &req, httplib::Response &res) { submitLogin(req, res); });
    if (m_settings.allowSignup) {
        server.Get(base + "register",
                   [this](const httplib::Request &req, httplib::Response &res) { showSignup(req, res); });
        server.Post(base + "register",
                    [this](const httplib::Request &req, httplib::Response &res) { submitSignup(req, res); });
    }
}

QString LoginPage::redirectUriProblem(const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (uri.isEmpty() || !url.isValid())
        return QStringLiteral("the redirect URI is missing or malformed");
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return QStringLiteral("the redirect URI must use http");
    if (!url.userInfo().isEmpty() || url.hasFragment())
        return QStringLiteral("the redirect URI must not carry user information or a fragment");
    const QString host = url.host(QUrl::FullyDecoded).toLower();
    if (host != QLatin1String("localhost") && host != QLatin1String("127.0.0.1") && host != QLatin1String("::1"))
        return QStringLiteral("the redirect URI must point to this computer (localhost)");
    return {};
}

bool LoginPage::readRequest(const QHash<QString, QString> &fields, httplib::Response &res, Request *out) const
{
    out->clientId = fields.value(QStringLiteral("client_id"));
    out->redirectUri = fields.value(QStringLiteral("redirect_uri"));
    out->state = fields.value(QStringLiteral("state"));
    out->responseMode = fields.value(QStringLiteral("response_mode"));

    QString problem;
    if (out->clientId != m_settings.clientId)
        problem = QStringLiteral("the application is not known to this server");
    else if (const QString redirect = redirectUriProblem(out->redirectUri); !redirect.isEmpty())
        problem = redirect;
    else if (out->state.size() > kMaxStateLength)
        problem = QStringLiteral("the state is too long");
    else if (!out->responseMode.isEmpty() && out->responseMode != QLatin1String("query")
             && out->responseMode != QLatin1String("fragment"))
        problem = QStringLiteral("the response mode is not supported");
    if (problem.isEmpty())
        return true;

    sendPage(res, 400, QStringLiteral("Cannot sign in"),
             QStringLiteral("<p class=\"error\" role=\"alert\">This sign-in link is not valid: %1.</p>"
                            "<p>Start signing in again from the application.</p>")
                 .arg(htmlEscape(problem)));
    return false;
}

void LoginPage::renderForm(httplib::Response &res, int status, const Request &request, bool signup,
                           const QString &email, const QString &message) const
{
    QString content;
    if (!message.isEmpty())
        content += QStringLiteral("<p class=\"error\" role=\"alert\" id=\"form-error\">%1</p>\n").arg(htmlEscape(message));
    const QString action = QStringLiteral("/%1/account/%2").arg(m_settings.realm, signup ? QStringLiteral("register")
                                                                                          : QStringLiteral("login"));
    content += QStringLiteral("<form method=\"post\" action=\"%1\"%2>\n")
                   .arg(htmlEscape(action), message.isEmpty() ? QString() : QStringLiteral(" aria-describedby=\"form-error\""));
    const std::pair<const char *, QString> hidden[] = {
        {"client_id", request.clientId},
        {"redirect_uri", request.redirectUri},
        {"state", request.state},
        {"response_mode", request.responseMode},
    };
    for (const auto &[name, value] : hidden) {
        content += QStringLiteral("<input type=\"hidden\" name=\"%1\" value=\"%2\">\n")
                       .arg(QLatin1String(name), htmlEscape(value));
    }
    content += QStringLiteral("<label for=\"email\">E-mail</label>\n"
                              "<input id=\"email\" name=\"email\" type=\"email\" autocomplete=\"username\" "
                              "required autofocus value=\"%1\">\n")
                   .arg(htmlEscape(email));
    if (signup) {
        content += QStringLiteral("<label for=\"display_name\">Name <span>(optional)</span></label>\n"
                                  "<input id=\"display_name\" name=\"display_name\" type=\"text\" autocomplete=\"name\">\n");
    }
    content += QStringLiteral("<label for=\"password\">Password</label>\n"
                              "<input id=\"password\" name=\"password\" type=\"password\" autocomplete=\"%1\" required>\n"
                              "<button type=\"submit\">%2</button>\n</form>\n")
                   .arg(signup ? QStringLiteral("new-password") : QStringLiteral("current-password"),
                        signup ? QStringLiteral("Create account") : QStringLiteral("Sign in"));
    if (m_settings.allowSignup) {
        const QString other = QStringLiteral("/%1/account/%2?%3")
                                  .arg(m_settings.realm, signup ? QStringLiteral("login") : QStringLiteral("register"),
                                       request.queryString());
        content += QStringLiteral("<p><a href=\"%1\">%2</a></p>\n")
                       .arg(htmlEscape(other), signup ? QStringLiteral("I already have an account")
                                                      : QStringLiteral("Create an account"));
    }
    sendPage(res, status, signup ? QStringLiteral("Create an Ombrel account") : QStringLiteral("Sign in to Ombrel"),
             content);
}

void LoginPage::showLogin(const httplib::Request &req, httplib::Response &res)
{
    Request request;
    if (readRequest(queryFields(req), res, &request))
        renderForm(res, 200, request, false, {}, {});
}

void LoginPage::submitLogin(const httplib::Request &req, httplib::Response &res)
{
    Request request;
    const auto fields = formFields(req);
    if (!readRequest(fields, res, &request))
        return;
    const QString email = UserStore::normalizeEmail(fields.value(QStringLiteral("email")));
    const QString password = fields.value(QStringLiteral("password"));
    const QString address = fromStd(req.remote_addr);

    const qint64 wait = m_throttle.delayFor(email, address, QDateTime::currentMSecsSinceEpoch());
    if (wait > 0) {
        const qint64 seconds = (wait + 999) / 1000;
        res.set_header("Retry-After", std::to_string(seconds));
        renderForm(res, 429, request, false, email,
                   QStringLiteral("Too many failed sign-in attempts. Try again in %1 seconds.").arg(seconds));
        return;
    }

    const auto user = email.isEmpty() ? std::nullopt : m_users.findByEmail(email);
    const bool valid = user ? PasswordHash::verify(password, user->passwordHash)
                            : (PasswordHash::burnVerificationTime(password), false);
    if (!valid) {
        m_throttle.recordFailure(email, address, QDateTime::currentMSecsSinceEpoch());
        renderForm(res, 401, request, false, email, QStringLiteral("Incorrect e-mail or password."));
        return;
    }
    m_throttle.recordSuccess(email);
    signIn(request, *user, req, res);
}

void LoginPage::showSignup(const httplib::Request &req, httplib::Response &res)
{
    Request request;
    if (readRequest(queryFields(req), res, &request))
        renderForm(res, 200, request, true, {}, {});
}

void LoginPage::submitSignup(const httplib::Request &req, httplib::Response &res)
{
    Request request;
    const auto fields = formFields(req);
    if (!readRequest(fields, res, &request))
        return;
    UserRecord user;
    user.email = UserStore::normalizeEmail(fields.value(QStringLiteral("email")));
    user.displayName = fields.value(QStringLiteral("display_name"));
    const QString password = fields.value(QStringLiteral("password"));

    QString problem;
    if (!UserStore::isValidEmail(user.email))
        problem = QStringLiteral("Enter a valid e-mail address.");
    else if (const QString name = UserStore::displayNameProblem(&user.displayName); !name.isEmpty())
        problem = name + QLatin1Char('.');
    else if (const QString weak = UserStore::passwordProblem(password); !weak.isEmpty())
        problem = weak + QLatin1Char('.');
    if (!problem.isEmpty()) {
        renderForm(res, 400, request, true, user.email, problem);
        return;
    }

    user.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    user.username = user.email.section(QLatin1Char('@'), 0, 0);
    user.passwordHash = PasswordHash::create(password);
    user.createdAt = ServerDatabase::isoNow();
    switch (m_users.create(user)) {
    case UserStore::CreateResult::Created:
        qCInfo(lcServer).noquote() << "Account created through sign-up:" << user.id;
        signIn(request, user, req, res);
        return;
    case UserStore::CreateResult::Exists:
        renderForm(res, 409, request, true, user.email, QStringLiteral("An account with this e-mail already exists."));
        return;
    case UserStore::CreateResult::Failed:
        renderForm(res, 500, request, true, user.email, QStringLiteral("The account could not be created. Try again later."));
        return;
    }
}

void LoginPage::signIn(const Request &request, const UserRecord &user, const httplib::Request &req,
                       httplib::Response &res)
{
    const auto tokens = m_tokens.startSession(user, cleanHeader(req, "User-Agent", kMaxUserAgentLength),
                                              fromStd(req.remote_addr));
    if (!tokens) {
        renderForm(res, 500, request, false, user.email, QStringLiteral("Signing in failed on the server. Try again later."));
        return;
    }
    QString parameters = QStringLiteral("access_token=%1&refresh_token=%2&token_type=Bearer&expires_in=%3")
                             .arg(encode(tokens->accessToken), encode(tokens->refreshToken))
                             .arg(tokens->expiresIn);
    if (!request.state.isEmpty())
        parameters += QStringLiteral("&state=") + encode(request.state);

    QUrl target(request.redirectUri, QUrl::StrictMode);
    if (request.responseMode == QLatin1String("fragment")) {
        target.setFragment(parameters, QUrl::StrictMode);
    } else {
        const QString existing = target.query(QUrl::FullyEncoded);
        target.setQuery(existing.isEmpty() ? parameters : existing + QLatin1Char('&') + parameters, QUrl::StrictMode);
    }
    secureHtmlHeaders(res);
    res.set_redirect(target.toString(QUrl::FullyEncoded).toStdString(), 303);
}

} // namespace OmbrServer
