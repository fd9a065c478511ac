#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

namespace OmbrServer {

// Slows down password guessing. A few failures per account (more per address, since many
// users can share one) are free; after that each further attempt has to wait twice as long
// as the one before, up to a quarter of an hour. Times are passed in so tests control them.
class LoginThrottle
{
public:
    static constexpr int kFreeAccountFailures = 5;
    static constexpr int kFreeAddressFailures = 20;
    static constexpr qint64 kMaxDelayMs = 15 * 60 * 1000;
    static constexpr qint64 kForgetAfterMs = 60 * 60 * 1000;

    // Milliseconds the caller still has to wait before this attempt may be checked; 0 = go.
    qint64 delayFor(const QString &account, const QString &address, qint64 nowMs) const;
    void recordFailure(const QString &account, const QString &address, qint64 nowMs);
    // A correct password clears the account's count; the address keeps its history.
    void recordSuccess(const QString &account);

private:
    struct Entry
    {
        int failures = 0;
        qint64 lastFailureMs = 0;
    };
    static qint64 delayOf(const Entry &entry, int freeFailures, qint64 nowMs);
    void pruneLocked(qint64 nowMs);

    mutable QMutex m_mutex;
    QHash<QString, Entry> m_accounts;
    QHash<QString, Entry> m_addresses;
};

} // namespace OmbrServer
