#include "apiclient.h"

#include "accountlog.h"
#include "tokenmanager.h"

#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace OmbrAccount {

namespace {

QJsonObject parseObject(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    return document.isObject() ? document.object() : QJsonObject();
}

int statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isSuccess(int status)
{
    return status >= 200 && status < 300;
}

} // namespace

ApiClient::ApiClient(TokenManager *tokenManager, QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_tokenManager(tokenManager)
{
}

void ApiClient::setBaseUrl(const QUrl &baseUrl)
{
    m_baseUrl = baseUrl;
}

void ApiClient::setAppInfo(const QString &appId, const QString &appVersion, const QString &platform)
{
    m_appId = appId;
    m_appVersion = appVersion;
    m_platform = platform;
}

QUrl ApiClient::composeUrl(const QString &path, const QUrlQuery &query) const
{
    QUrl url = m_baseUrl;
    url.setPath(m_baseUrl.path(QUrl::FullyDecoded) + path, QUrl::DecodedMode);
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

void ApiClient::get(const QString &path, Callback callback, const QUrlQuery &query)
{
    sendRequest("GET", path, {}, std::move(callback), query, true);
}

void ApiClient::getPublic(const QString &path, Callback callback, const QUrlQuery &query)
{
    sendRequest("GET", path, {}, std::move(callback), query, false);
}

void ApiClient::post(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("POST", path, body, std::move(callback), {}, true);
}

void ApiClient::postPublic(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("POST", path, body, std::move(callback), {}, false);
}

void ApiClient::put(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("PUT", path, body, std::move(callback), {}, true);
}

void ApiClient::patch(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("PATCH", path, body, std::move(callback), {}, true);
}

void ApiClient::deleteResource(const QString &path, Callback callback)
{
    sendRequest("DELETE", path, {}, std::move(callback), {}, true);
}

void ApiClient::withFreshToken(const QByteArray &method, const QUrl &url,
                               std::function<void(const QString &)> next, std::function<void()> failed)
{
    if (!m_tokenManager || !m_tokenManager->needsRefresh()) {
        next(m_tokenManager ? m_tokenManager->accessToken() : QString());
        return;
    }
    qCDebug(lcAccount) << "ApiClient: token needs refresh before" << method << url.path();
    QPointer<ApiClient> self(this);
    m_tokenManager->refresh([self, method, url, next = std::move(next), failed = std::move(failed)](bool ok) {
        if (!self)
            return;
        if (ok) {
            next(self->m_tokenManager->accessToken());
            return;
        }
        qCWarning(lcAccount) << "ApiClient: token refresh failed for" << method << url.path();
        Q_EMIT self->authenticationRequired();
        failed();
    });
}

void ApiClient::sendRequest(const QByteArray &method, const QString &path, const QJsonObject &body,
                            Callback callback, const QUrlQuery &query, bool authenticated)
{
    const QUrl url = composeUrl(path, query);
    const QByteArray bytes = body.isEmpty() ? QByteArray()
                                            : QJsonDocument(body).toJson(QJsonDocument::Compact);
    if (!authenticated) {
        executeRequest(method, url, bytes, QString(), std::move(callback), false);
        return;
    }
    withFreshToken(
        method, url,
        [this, method, url, bytes, callback](const QString &token) {
            executeRequest(method, url, bytes, token, callback, true);
        },
        [callback] {
            if (callback)
                callback(false, 401, {});
        });
}

void ApiClient::addAppHeaders(QNetworkRequest &request, const QString &accessToken) const
{
    if (!m_appId.isEmpty())
        request.setRawHeader("X-App-Id", m_appId.toUtf8());
    if (!m_appVersion.isEmpty())
        request.setRawHeader("X-App-Version", m_appVersion.toUtf8());
    if (!m_platform.isEmpty())
        request.setRawHeader("X-Platform", m_platform.toUtf8());
    if (!accessToken.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + accessToken.toUtf8());
}

void ApiClient::executeRequest(const QByteArray &method, const QUrl &url, const QByteArray &body,
                               const QString &accessToken, Callback callback, bool retryOn401)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("Accept", "application/json");
    addAppHeaders(request, accessToken);

    QNetworkReply *reply = nullptr;
    if (method == "GET")
        reply = m_network->get(request);
    else if (method == "POST")
        reply = m_network->post(request, body);
    else if (method == "PUT")
        reply = m_network->put(request, body);
    else if (method == "PATCH")
        reply = m_network->sendCustomRequest(request, "PATCH", body);
    else if (method == "DELETE")
        reply = m_network->deleteResource(request);
    if (!reply) {
        if (callback)
            callback(false, 0, {});
        return;
    }

    connect(reply, &QNetworkReply::finished, this,
            [this, reply, method, url, body, callback = std::move(callback), retryOn401] {
        reply->deleteLater();
        const int status = statusOf(reply);
        const QJsonObject response = parseObject(reply->readAll());

        if (status == 401 && retryOn401 && m_tokenManager) {
            QPointer<ApiClient> self(this);
            m_tokenManager->refresh([self, method, url, body, callback](bool ok) {
                if (!self)
                    return;
                if (ok) {
                    self->executeRequest(method, url, body, self->m_tokenManager->accessToken(),
                                         callback, false);
                    return;
                }
                Q_EMIT self->authenticationRequired();
                if (callback)
                    callback(false, 401, {});
            });
            return;
        }
        if (reply->error() != QNetworkReply::NoError && status == 0) {
            Q_EMIT networkError(reply->errorString());
            if (callback)
                callback(false, 0, {});
            return;
        }
        if (callback)
            callback(isSuccess(status), status, response);
    });
}

void ApiClient::getBinary(const QString &path, BinaryCallback callback, const QUrlQuery &query)
{
    const QUrl url = composeUrl(path, query);
    withFreshToken(
        "GET", url,
        [this, url, callback](const QString &token) { executeDownload(url, token, callback, true); },
        [callback] {
            if (callback)
                callback(false, 401, {});
        });
}

void ApiClient::executeDownload(const QUrl &url, const QString &accessToken, BinaryCallback callback,
                                bool retryOn401)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "*/*");
    addAppHeaders(request, accessToken);
    QNetworkReply *reply = m_network->get(request);
    if (!reply) {
        if (callback)
            callback(false, 0, {});
        return;
    }
    connect(reply, &QNetworkReply::finished, this, [this, reply, url, callback = std::move(callback), retryOn401] {
        reply->deleteLater();
        const int status = statusOf(reply);
        if (status == 401 && retryOn401 && m_tokenManager) {
            QPointer<ApiClient> self(this);
            m_tokenManager->refresh([self, url, callback](bool ok) {
                if (!self)
                    return;
                if (ok) {
                    self->executeDownload(url, self->m_tokenManager->accessToken(), callback, false);
                    return;
                }
                Q_EMIT self->authenticationRequired();
                if (callback)
                    callback(false, 401, {});
            });
            return;
        }
        if (reply->error() != QNetworkReply::NoError && status == 0) {
            Q_EMIT networkError(reply->errorString());
            if (callback)
                callback(false, 0, {});
            return;
        }
        if (callback)
            callback(isSuccess(status), status, reply->readAll());
    });
}

void ApiClient::postMultipart(const QString &path, QHttpMultiPart *multiPart, Callback callback)
{
    if (!multiPart) {
        if (callback)
            callback(false, 0, {});
        return;
    }
    const QUrl url = composeUrl(path);
    // Owned here until a reply takes it over.
    QPointer<QHttpMultiPart> part(multiPart);
    withFreshToken(
        "POST", url,
        [this, url, part, callback](const QString &token) {
            if (!part) {
                if (callback)
                    callback(false, 0, {});
                return;
            }
            executeUpload(url, part, token, callback);
        },
        [part, callback] {
            if (part)
                part->deleteLater();
            if (callback)
                callback(false, 401, {});
        });
}

void ApiClient::executeUpload(const QUrl &url, QHttpMultiPart *multiPart, const QString &accessToken,
                              Callback callback)
{
    QNetworkRequest request(url);
    addAppHeaders(request, accessToken);
    QNetworkReply *reply = m_network->post(request, multiPart);
    if (!reply) {
        multiPart->deleteLater();
        if (callback)
            callback(false, 0, {});
        return;
    }
    multiPart->setParent(reply);
    connect(reply, &QNetworkReply::finished, this, [reply, callback = std::move(callback)] {
        reply->deleteLater();
        const int status = statusOf(reply);
        if (reply->error() != QNetworkReply::NoError && status == 0) {
            if (callback)
                callback(false, 0, {});
            return;
        }
        if (callback)
            callback(isSuccess(status), status, parseObject(reply->readAll()));
    });
}

} // namespace OmbrAccount
