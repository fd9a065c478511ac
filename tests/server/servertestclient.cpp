#include "servertestclient.h"

#include "testserver.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QUrlQuery>

namespace OmbrelTest {

QByteArray HttpReply::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpReply httpRequest(const TestServer &server, const QByteArray &method, const QByteArray &path,
                      const QByteArray &body, const QByteArray &contentType,
                      const QList<QPair<QByteArray, QByteArray>> &headers)
{
    // A plain HTTP/1.1 exchange over a blocking socket: no event loop needed, usable from
    // any thread, and nothing shared with the server's own HTTP library.
    HttpReply reply;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    if (!socket.waitForConnected(5000))
        return reply;
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    for (const auto &[key, value] : headers)
        request += key + ": " + value + "\r\n";
    if (!body.isEmpty() || method == "POST" || method == "PATCH" || method == "PUT")
        request += "Content-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "\r\n" + body;
    socket.write(request);

    // Sign-in spends most of a second on the password hash, far more under sanitizers.
    QDeadlineTimer deadline(120000);
    QByteArray raw;
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(1000);
        else if (socket.waitForReadyRead(1000))
            raw += socket.readAll();
    }
    raw += socket.readAll();

    const qsizetype headerEnd = raw.indexOf("\r\n\r\n");
    if (headerEnd < 0 || !raw.startsWith("HTTP/1.1 "))
        return reply;
    const QList<QByteArray> lines = raw.left(headerEnd).split('\n');
    reply.status = lines.first().mid(9, 3).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            reply.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    reply.body = raw.mid(headerEnd + 4);
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    if (document.isObject())
        reply.json = document.object();
    return reply;
}

HttpReply apiRequest(const TestServer &server, const QByteArray &method, const QByteArray &path,
                     const QJsonObject &body, const QString &accessToken)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    if (!accessToken.isEmpty())
        headers.append({"Authorization", "Bearer " + accessToken.toLatin1()});
    const QByteArray bytes = body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
    return httpRequest(server, method, server.realmApiUrl().path().toLatin1() + path, bytes, "application/json",
                       headers);
}

QByteArray formEncode(const QList<QPair<QString, QString>> &fields)
{
    QByteArray form;
    for (const auto &[name, value] : fields) {
        if (!form.isEmpty())
            form += '&';
        form += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return form;
}

SignInResult signIn(const TestServer &server, const QString &email, const QString &password,
                    const QList<QPair<QString, QString>> &extraFields)
{
    QList<QPair<QString, QString>> fields{
        {QStringLiteral("client_id"), server.clientId()},
        {QStringLiteral("redirect_uri"), QStringLiteral("http://localhost:19876/callback")},
        {QStringLiteral("email"), email},
        {QStringLiteral("password"), password},
    };
    for (const auto &extra : extraFields) {
        auto it = std::find_if(fields.begin(), fields.end(), [&](const auto &f) { return f.first == extra.first; });
        if (it != fields.end())
            it->second = extra.second;
        else
            fields.append(extra);
    }
    SignInResult result;
    result.reply = httpRequest(server, "POST", "/" + server.realm().toLatin1() + "/account/login", formEncode(fields),
                               "application/x-www-form-urlencoded");
    const QByteArray location = result.reply.header("Location");
    if (location.isEmpty())
        return result;
    result.location = QUrl::fromEncoded(location);
    QUrlQuery query(result.location.hasFragment() ? result.location.fragment(QUrl::FullyEncoded)
                                                   : result.location.query(QUrl::FullyEncoded));
    result.accessToken = query.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded);
    result.refreshToken = query.queryItemValue(QStringLiteral("refresh_token"), QUrl::FullyDecoded);
    result.state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    return result;
}

} // namespace OmbrelTest
