#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// Writes archives for the tests with libarchive, including entries a hostile archive
// would carry, and the documented Joplin and NoteStation layouts.
namespace ArchiveFixtures {

enum class Kind { File, Directory, Symlink, Hardlink, CharDevice };

struct Entry
{
    Entry() = default;
    Entry(const QString &name, const QByteArray &data = {}, Kind kind = Kind::File, const QString &linkTarget = {})
        : name(name), data(data), kind(kind), linkTarget(linkTarget)
    {
    }

    QString name;
    QByteArray data;
    Kind kind = Kind::File;
    QString linkTarget;
};

enum class Format { Tar, PaxTar, Zip };

bool write(const QString &path, Format format, const QList<Entry> &entries);

// One Joplin item as the export writes it: body, a blank line, then "key: value" lines.
QByteArray joplinItem(const QString &titleAndBody, const QList<std::pair<QString, QString>> &metadata);
QString joplinId(int n);

QByteArray json(const QJsonObject &object);

// A generated Joplin export: notebookCount folders, noteCount notes of about bytesPerNote
// Markdown each, every resourceEvery-th note with a small PNG resource referenced twice.
bool writeJoplinExport(const QString &path, int noteCount, int notebookCount, int bytesPerNote, int resourceEvery);
QByteArray tinyPng();
// The Markdown of generated note n: title line, headings, paragraphs, lists and inline styles.
QString joplinMarkdownBody(int n, int bytes);

// Every entry name, directories included, in archive order; empty when unreadable.
QStringList entryNames(const QString &path);
QByteArray entryData(const QString &path, const QString &name);

} // namespace ArchiveFixtures
