#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace OmbrServer {

constexpr qsizetype kMaxJsonBodyBytes = 1024 * 1024;

QString fromStd(const std::string &text);

void sendJson(httplib::Response &res, int status, const QJsonObject &body);
// {"error": message}
void sendError(httplib::Response &res, int status, const QString &message);
void sendHtml(httplib::Response &res, int status, const QString &html);

// The request body as a JSON object. An empty body reads as an empty object; anything
// else that is not an object sends the error response and yields nothing.
std::optional<QJsonObject> readJsonBody(const httplib::Request &req, httplib::Response &res);

// Reads an optional string member; false (after sending 400) when present with another type.
bool readString(const QJsonObject &body, const QString &key, httplib::Response &res, QString *out);

// The token of an "Authorization: Bearer …" header, or empty.
QByteArray bearerToken(const httplib::Request &req);

// application/x-www-form-urlencoded, first value of each name.
QHash<QString, QString> parseForm(const QByteArray &body);

QString htmlEscape(const QString &text);

// The header value, cut to maxLength characters and stripped of control characters: safe to
// store and show.
QString cleanHeader(const httplib::Request &req, const char *name, qsizetype maxLength);

} // namespace OmbrServer
