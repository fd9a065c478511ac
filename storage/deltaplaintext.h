#pragma once

#include <QByteArray>

#include <optional>

class QSqlDatabase;

// A fast path for the text index's plain-text rule over a stored body (UTF-8): the
// concatenated string "insert"s of the object elements of a JSON array. It answers only
// for bodies it reads with certainty; for anything unusual (not an array, escaped keys,
// repeated keys, control characters, lone surrogates, deep nesting, invalid JSON) it
// gives nullopt and the SQL rule decides.
std::optional<QByteArray> deltaPlainTextUtf8(const char *data, qsizetype size);

// Registers it on a connection as ombrel_plain_text(body), NULL where it has no answer.
bool registerDeltaPlainTextFunction(const QSqlDatabase &db);
