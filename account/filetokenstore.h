#pragma once

#include "tokenstore.h"

#include <QJsonObject>

namespace OmbrAccount {

// Tokens in one JSON file that only the owner may read, replaced atomically on every
// write so that a crash never leaves half a token behind. Used where no keyring answers.
class FileTokenStore : public TokenStore
{
public:
    explicit FileTokenStore(const QString &path);

    static QString pathIn(const QString &directory);

    std::optional<QString> load(const QString &key) override;
    bool save(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

    QString path() const { return m_path; }

private:
    QJsonObject read() const;
    bool write(const QJsonObject &object) const;

    QString m_path;
};

} // namespace OmbrAccount
