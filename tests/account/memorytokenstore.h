#pragma once

#include "tokenstore.h"

#include <QHash>

namespace OmbrelTest {

// Counts what the manager asks of its store; the real stores have tests of their own.
class MemoryTokenStore : public OmbrAccount::TokenStore
{
public:
    std::optional<QString> load(const QString &key) override
    {
        if (!values.contains(key))
            return std::nullopt;
        return values.value(key);
    }
    bool save(const QString &key, const QString &value) override
    {
        ++saves;
        values.insert(key, value);
        return true;
    }
    bool remove(const QString &key) override
    {
        values.remove(key);
        return true;
    }

    QHash<QString, QString> values;
    int saves = 0;
};

} // namespace OmbrelTest
