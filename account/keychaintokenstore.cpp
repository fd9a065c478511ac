#include "keychaintokenstore.h"

#include "accountlog.h"

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace OmbrAccount {

namespace {

// A keyring that is locked waits for the user's password; past this the call fails.
constexpr int jobTimeoutMs = 30000;

// Runs a keychain job to its end; false when it did not finish in time.
bool runJob(QKeychain::Job *job, int timeoutMs = jobTimeoutMs)
{
    job->setAutoDelete(false);
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec();
    // A job still running when we give up must not call into this frame later.
    QObject::disconnect(job, &QKeychain::Job::finished, &loop, nullptr);
    return finished;
}

} // namespace

KeychainTokenStore::KeychainTokenStore(const QString &serviceName)
    : m_serviceName(serviceName)
{
}

bool KeychainTokenStore::isAvailable(const QString &serviceName)
{
    auto *job = new QKeychain::ReadPasswordJob(serviceName);
    job->setKey(QLatin1String(AccessTokenKey));
    const bool finished = runJob(job, 5000);
    const QKeychain::Error error = job->error();
    if (finished)
        delete job;
    else
        job->deleteLater();
    return finished && (error == QKeychain::NoError || error == QKeychain::EntryNotFound);
}

std::optional<QString> KeychainTokenStore::load(const QString &key)
{
    auto *job = new QKeychain::ReadPasswordJob(m_serviceName);
    job->setKey(key);
    if (!runJob(job)) {
        job->deleteLater();
        return std::nullopt;
    }
    std::unique_ptr<QKeychain::ReadPasswordJob> owner(job);
    if (job->error() != QKeychain::NoError) {
        if (job->error() != QKeychain::EntryNotFound)
            qCWarning(lcAccount) << "KeychainTokenStore::load failed:" << job->errorString();
        return std::nullopt;
    }
    return job->textData();
}

bool KeychainTokenStore::save(const QString &key, const QString &value)
{
    auto *job = new QKeychain::WritePasswordJob(m_serviceName);
    job->setKey(key);
    job->setTextData(value);
    if (!runJob(job)) {
        job->deleteLater();
        return false;
    }
    std::unique_ptr<QKeychain::WritePasswordJob> owner(job);
    if (job->error() != QKeychain::NoError) {
        qCWarning(lcAccount) << "KeychainTokenStore::save failed:" << job->errorString();
        return false;
    }
    return true;
}

bool KeychainTokenStore::remove(const QString &key)
{
    auto *job = new QKeychain::DeletePasswordJob(m_serviceName);
    job->setKey(key);
    if (!runJob(job)) {
        job->deleteLater();
        return false;
    }
    std::unique_ptr<QKeychain::DeletePasswordJob> owner(job);
    return job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound;
}

} // namespace OmbrAccount
