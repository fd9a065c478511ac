#include "httputil.h"

#include <QJsonDocument>
#include <QUrlQuery>

#include <httplib.h>

namespace OmbrServer {

QString fromStd(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void sendJson(httplib::Response &res, int status, const QJsonObject &body)
{
    res.status = status;
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    res.set_content(json.constData(), size_t(json.size()), "application/json");
}

void sendError(httplib::Response &res, int status, const QString &message)
{
    sendJson(res, status, QJsonObject{{QStringLiteral("error"), message}});
}

void sendHtml(httplib::Response &res, int status, const QString &html)
{
    res.status = status;
    const QByteArray bytes = html.toUtf8();
    res.set_content(bytes.constData(), size_t(bytes.size()), "text/html; charset=utf-8");
}

std::optional<QJsonObject> readJsonBody(const httplib::Request &req, httplib::Response &res)
{
    if (req.body.size() > size_t(kMaxJsonBodyBytes)) {
        sendError(res, 413, QStringLiteral("Request body too large"));
        return std::nullopt;
    }
    if (req.body.empty())
        return QJsonObject();
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(req.body.data(), qsizetype(req.body.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        sendError(res, 400, QStringLiteral("Request body must be a JSON object"));
        return std::nullopt;
    }
    return document.object();
}

bool readString(const QJsonObject &body, const QString &key, httplib::Response &res, QString *out)
{
    const QJsonValue value = body.value(key);
    if (value.isUndefined() || value.isNull()) {
        out->clear();
        return true;
    }
    if (!value.isString()) {
        sendError(res, 400, QStringLiteral("\"%1\" must be a string").arg(key));
        return false;
    }
    *out = value.toString();
    return true;
}

QByteArray bearerToken(const httplib::Request &req)
{
    const std::string header = req.get_header_value("Authorization");
    constexpr std::string_view scheme = "bearer ";
    if (header.size() <= scheme.size())
        return {};
    for (size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(header[i])) != scheme[i])
            return {};
    }
    return QByteArray(header.data() + scheme.size(), qsizetype(header.size() - scheme.size())).trimmed();
}

QHash<QString, QString> parseForm(const QByteArray &body)
{
    QHash<QString, QString> fields;
    QByteArray plusDecoded = body;
    plusDecoded.replace('+', "%20");
    const QUrlQuery query(QString::fromLatin1(plusDecoded));
    for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (!fields.contains(name))
            fields.insert(name, value);
    }
    return fields;
}

QString htmlEscape(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString cleanHeader(const httplib::Request &req, const char *name, qsizetype maxLength)
{
    QString value = fromStd(req.get_header_value(name)).left(maxLength);
    value.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return value;
}

} // namespace OmbrServer
