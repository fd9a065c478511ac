#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QUrl>
#include <QUrlQuery>

#include <functional>

class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkRequest;

namespace OmbrAccount {

class TokenManager;

// The JSON request pipeline to one service: composes URLs under its base URL, adds the
// application headers and the bearer token, refreshes the token before a request that
// needs it and once after a 401, and maps every outcome to (ok, status, body).
class ApiClient : public QObject
{
    Q_OBJECT

public:
    // ok is a 2xx status; status 0 is a transport failure.
    using Callback = std::function<void(bool ok, int status, const QJsonObject &body)>;
    using BinaryCallback = std::function<void(bool ok, int status, const QByteArray &bytes)>;

    explicit ApiClient(TokenManager *tokenManager, QObject *parent = nullptr);

    void setBaseUrl(const QUrl &baseUrl);
    QUrl baseUrl() const { return m_baseUrl; }
    void setAppInfo(const QString &appId, const QString &appVersion, const QString &platform);

    void get(const QString &path, Callback callback, const QUrlQuery &query = {});
    void getPublic(const QString &path, Callback callback, const QUrlQuery &query = {});
    void post(const QString &path, const QJsonObject &body, Callback callback);
    void postPublic(const QString &path, const QJsonObject &body, Callback callback);
    void put(const QString &path, const QJsonObject &body, Callback callback);
    void patch(const QString &path, const QJsonObject &body, Callback callback);
    void deleteResource(const QString &path, Callback callback);
    void getBinary(const QString &path, BinaryCallback callback, const QUrlQuery &query = {});
    // Takes ownership of multiPart.
    void postMultipart(const QString &path, QHttpMultiPart *multiPart, Callback callback);

    QNetworkAccessManager *networkManager() const { return m_network; }

    // The base URL's path followed directly by path; no separator added or removed.
    QUrl composeUrl(const QString &path, const QUrlQuery &query = {}) const;

Q_SIGNALS:
    // A refresh failed: the user has to sign in again.
    void authenticationRequired();
    void networkError(const QString &message);

private:
    void sendRequest(const QByteArray &method, const QString &path, const QJsonObject &body,
                     Callback callback, const QUrlQuery &query, bool authenticated);
    void executeRequest(const QByteArray &method, const QUrl &url, const QByteArray &body,
                        const QString &accessToken, Callback callback, bool retryOn401);
    void executeDownload(const QUrl &url, const QString &accessToken, BinaryCallback callback,
                         bool retryOn401);
    void executeUpload(const QUrl &url, QHttpMultiPart *multiPart, const QString &accessToken,
                       Callback callback);
    // Runs next with a usable token: refreshes first when needed; on a failed refresh
    // emits authenticationRequired and runs failed instead.
    void withFreshToken(const QByteArray &method, const QUrl &url,
                        std::function<void(const QString &accessToken)> next,
                        std::function<void()> failed);
    void addAppHeaders(QNetworkRequest &request, const QString &accessToken) const;

    QNetworkAccessManager *m_network = nullptr;
    TokenManager *m_tokenManager = nullptr;
    QUrl m_baseUrl;
    QString m_appId;
    QString m_appVersion;
    QString m_platform;
};

} // namespace OmbrAccount
