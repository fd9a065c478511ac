#include "loginthrottle.h"

#include <algorithm>

namespace OmbrServer {

namespace {
// Bounds memory when failures come from very many accounts or addresses.
constexpr qsizetype kPruneAbove = 10000;
}

qint64 LoginThrottle::delayOf(const Entry &entry, int freeFailures, qint64 nowMs)
{
    if (entry.failures < freeFailures || nowMs - entry.lastFailureMs >= kForgetAfterMs)
        return 0;
    const int doublings = std::min(entry.failures - freeFailures, 20);
    const qint64 wait = std::min<qint64>(qint64(1000) << doublings, kMaxDelayMs);
    return std::max<qint64>(0, entry.lastFailureMs + wait - nowMs);
}

qint64 LoginThrottle::delayFor(const QString &account, const QString &address, qint64 nowMs) const
{
    QMutexLocker locker(&m_mutex);
    return std::max(delayOf(m_accounts.value(account), kFreeAccountFailures, nowMs),
                    delayOf(m_addresses.value(address), kFreeAddressFailures, nowMs));
}

void LoginThrottle::recordFailure(const QString &account, const QString &address, qint64 nowMs)
{
    QMutexLocker locker(&m_mutex);
    for (auto [table, key] : {std::pair{&m_accounts, account}, std::pair{&m_addresses, address}}) {
        Entry &entry = (*table)[key];
        if (nowMs - entry.lastFailureMs >= kForgetAfterMs)
            entry.failures = 0;
        ++entry.failures;
        entry.lastFailureMs = nowMs;
    }
    if (m_accounts.size() > kPruneAbove || m_addresses.size() > kPruneAbove)
        pruneLocked(nowMs);
}

void LoginThrottle::recordSuccess(const QString &account)
{
    QMutexLocker locker(&m_mutex);
    m_accounts.remove(account);
}

void LoginThrottle::pruneLocked(qint64 nowMs)
{
    for (QHash<QString, Entry> *table : {&m_accounts, &m_addresses}) {
        table->removeIf([nowMs](const auto &it) {
            return nowMs - it.value().lastFailureMs >= kForgetAfterMs || it.value().failures < 3;
        });
    }
}

} // namespace OmbrServer
