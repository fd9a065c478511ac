#include "filetokenstore.h"

#include "accountlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace OmbrAccount {

namespace {
// Far above any real token pair; a larger file is not ours.
constexpr qint64 maxFileSize = 256 * 1024;
}

FileTokenStore::FileTokenStore(const QString &path)
    : m_path(path)
{
}

QString FileTokenStore::pathIn(const QString &directory)
{
    return QDir(directory).filePath(QStringLiteral("account_tokens.json"));
}

std::optional<QString> FileTokenStore::load(const QString &key)
{
    const QJsonValue value = read().value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

bool FileTokenStore::save(const QString &key, const QString &value)
{
    QJsonObject object = read();
    object.insert(key, value);
    return write(object);
}

bool FileTokenStore::remove(const QString &key)
{
    QJsonObject object = read();
    if (!object.contains(key))
        return true;
    object.remove(key);
    if (object.isEmpty())
        return QFile::remove(m_path);
    return write(object);
}

QJsonObject FileTokenStore::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > maxFileSize) {
        qCWarning(lcAccount) << "FileTokenStore::read failed: file too large";
        return {};
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    return document.isObject() ? document.object() : QJsonObject();
}

bool FileTokenStore::write(const QJsonObject &object) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcAccount) << "FileTokenStore::write failed:" << file.errorString();
        return false;
    }
    // Restrict the temporary file before a token byte is in it; the rename keeps the mode.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        qCWarning(lcAccount) << "FileTokenStore::write failed: cannot restrict permissions";
        file.cancelWriting();
        return false;
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
    if (!file.commit()) {
        qCWarning(lcAccount) << "FileTokenStore::write failed:" << file.errorString();
        return false;
    }
    return true;
}

} // namespace OmbrAccount
