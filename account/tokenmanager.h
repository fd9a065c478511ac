#pragma once

#include "tokenstore.h"

#include <QList>
#include <QMutex>
#include <QObject>

#include <functional>
#include <memory>

namespace OmbrAccount {

// The session's access and refresh tokens: kept in memory, persisted through the store,
// judged by the access token's own expiry. However many requests need a refresh at the
// same time, one exchange runs and every one of them learns its outcome.
class TokenManager : public QObject
{
    Q_OBJECT

public:
    using OnSuccess = std::function<void(const QString &accessToken, const QString &refreshToken)>;
    using OnFailure = std::function<void()>;
    // The exchange itself; installed by the sign-in client.
    using RefreshCallback = std::function<void(const QString &refreshToken, OnSuccess, OnFailure)>;
    using Done = std::function<void(bool succeeded)>;

    explicit TokenManager(std::unique_ptr<TokenStore> store, QObject *parent = nullptr);
    ~TokenManager() override;

    void setRefreshCallback(RefreshCallback callback);

    void loadTokens();
    void setTokens(const QString &accessToken, const QString &refreshToken);
    void clear();

    // Empty unless the token is valid for at least the safety margin: an expired token
    // is never handed out.
    QString accessToken() const;
    QString refreshToken() const { return m_refreshToken; }
    bool needsRefresh() const;

    void refresh(Done done);

    TokenStore *store() const { return m_store.get(); }

    // Seconds before "exp" at which a token already counts as expired.
    static constexpr qint64 expiryMarginSeconds = 30;
    static bool isValid(const QString &token);

private:
    void finishRefresh(bool succeeded);

    std::unique_ptr<TokenStore> m_store;
    QString m_accessToken;
    QString m_refreshToken;
    RefreshCallback m_refreshCallback;
    QMutex m_mutex;
    bool m_refreshInFlight = false;
    QList<Done> m_waiting;
    // Bumped whenever the tokens are replaced, so that an exchange begun before it cannot restore the session.
    quint64 m_generation = 0;
    // Lets a late exchange answer tell whether this manager still exists.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace OmbrAccount
