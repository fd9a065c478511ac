#include "tokenmanager.h"

#include "ombclaims.h"

#include <QDateTime>
#include <QMutexLocker>

namespace OmbrAccount {

TokenManager::TokenManager(std::unique_ptr<TokenStore> store, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
{
}

TokenManager::~TokenManager() = default;

void TokenManager::setRefreshCallback(RefreshCallback callback)
{
    m_refreshCallback = std::move(callback);
}

void TokenManager::loadTokens()
{
    if (!m_store)
        return;
    m_accessToken = m_store->load(QLatin1String(AccessTokenKey)).value_or(QString());
    m_refreshToken = m_store->load(QLatin1String(RefreshTokenKey)).value_or(QString());
}

void TokenManager::setTokens(const QString &accessToken, const QString &refreshToken)
{
    ++m_generation;
    m_accessToken = accessToken;
    m_refreshToken = refreshToken;
    if (!m_store)
        return;
    m_store->save(QLatin1String(AccessTokenKey), accessToken);
    m_store->save(QLatin1String(RefreshTokenKey), refreshToken);
}

void TokenManager::clear()
{
    ++m_generation;
    m_accessToken.clear();
    m_refreshToken.clear();
    if (m_store)
        m_store->clear();
}

bool TokenManager::isValid(const QString &token)
{
    const qint64 expiry = tokenExpiry(token);
    return expiry != 0 && QDateTime::currentSecsSinceEpoch() < expiry - expiryMarginSeconds;
}

QString TokenManager::accessToken() const
{
    return !m_accessToken.isEmpty() && isValid(m_accessToken) ? m_accessToken : QString();
}

bool TokenManager::needsRefresh() const
{
    if (m_accessToken.isEmpty())
        return !m_refreshToken.isEmpty();
    if (isValid(m_accessToken) || m_refreshToken.isEmpty())
        return false;
    return true;
}

void TokenManager::refresh(Done done)
{
    QMutexLocker locker(&m_mutex);
    if (done)
        m_waiting.append(std::move(done));
    if (m_refreshInFlight)
        return;
    if (!m_refreshToken.isEmpty() && m_refreshCallback) {
        m_refreshInFlight = true;
        const QString refreshToken = m_refreshToken;
        locker.unlock();
        const std::weak_ptr<int> alive = m_alive;
        const quint64 generation = m_generation;
        // Each continuation runs once: an exchange that answers twice must not
        // finish a later refresh that has not happened yet.
        auto answered = std::make_shared<bool>(false);
        m_refreshCallback(
            refreshToken,
            [this, alive, answered, generation](const QString &access, const QString &refresh) {
                if (alive.expired() || std::exchange(*answered, true))
                    return;
                // Signed out or in again while the exchange ran: its tokens must not
                // replace what is there now.
                if (generation != m_generation) {
                    finishRefresh(!accessToken().isEmpty());
                    return;
                }
                setTokens(access, refresh);
                finishRefresh(true);
            },
            [this, alive, answered] {
                if (alive.expired() || std::exchange(*answered, true))
                    return;
                finishRefresh(false);
            });
        return;
    }
    const QList<Done> waiting = std::exchange(m_waiting, {});
    locker.unlock();
    for (const Done &callback : waiting)
        callback(false);
}

void TokenManager::finishRefresh(bool succeeded)
{
    QMutexLocker locker(&m_mutex);
    m_refreshInFlight = false;
    const QList<Done> waiting = std::exchange(m_waiting, {});
    locker.unlock();
    for (const Done &callback : waiting)
        callback(succeeded);
}

} // namespace OmbrAccount
