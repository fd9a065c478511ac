#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Builds a realistic note library (a real, migrated database written through the
// repositories) for the storage benchmarks, and caches the file so that later runs
// reuse it. The same options always give the same notes, ids and bodies.
class LibraryGenerator
{
public:
    struct Options
    {
        std::uint64_t seed = 20240501;
        int noteCount = 100000;
        int notebookCount = 200;
        int minBodyBytes = 512;
        int maxBodyBytes = 8192;
    };

    LibraryGenerator();
    explicit LibraryGenerator(const Options &options);

    const Options &options() const { return m_options; }
    QString errorString() const { return m_error; }

    // $OMBREL_BENCH_DIR when set, else "ombrel-bench" in the system temp directory.
    static QString cacheDirectory();
    // The cached library for these options, generated first when missing; empty on failure.
    QString cachedLibrary();
    // A private copy of the cached library under directory, for benchmarks that write.
    QString copyTo(const QString &directory, const QString &fileName = QString());
    // Writes a fresh library to path (which must not exist yet).
    bool generate(const QString &path);

    // What the library holds, computed without opening it.
    QString noteId(int index) const;
    QString notebookId(int index) const;
    int notebookIndexOf(int noteIndex) const; // -1 = in no notebook
    bool isTrashed(int noteIndex) const;
    int bodyBytes(int noteIndex) const;
    std::uint64_t bodySeed(int noteIndex) const;
    // Live notes whose body carries the corpus' rare term.
    int rareTermNoteCount() const;

private:
    QString cacheFileName() const;
    std::uint64_t hash(std::uint64_t a, std::uint64_t b) const;
    QString uuidFrom(std::uint64_t a, std::uint64_t b) const;

    Options m_options;
    QString m_error;
};
