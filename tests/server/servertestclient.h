#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

namespace OmbrelTest {

class TestServer;

struct HttpReply
{
    int status = 0; // 0: no answer
    QByteArray body;
    QJsonObject json; // the body when it is a JSON object
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray header(const QByteArray &name) const;
};

// Synchronous HTTP against a TestServer; each call bounded by a read timeout.
HttpReply httpRequest(const TestServer &server, const QByteArray &method, const QByteArray &path,
                      const QByteArray &body = {}, const QByteArray &contentType = "application/json",
                      const QList<QPair<QByteArray, QByteArray>> &headers = {});

// A realm API call ("/users/me" …) with an optional bearer token.
HttpReply apiRequest(const TestServer &server, const QByteArray &method, const QByteArray &path,
                     const QJsonObject &body = {}, const QString &accessToken = {});

struct SignInResult
{
    HttpReply reply;
    QUrl location; // the redirect, when signed in
    QString accessToken;
    QString refreshToken;
    QString state;
};

// Posts the sign-in form as a browser would; extra fields override the defaults
// (client id, loopback redirect URI).
SignInResult signIn(const TestServer &server, const QString &email, const QString &password,
                    const QList<QPair<QString, QString>> &extraFields = {});

QByteArray formEncode(const QList<QPair<QString, QString>> &fields);

} // namespace OmbrelTest
