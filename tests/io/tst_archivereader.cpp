#include "archivefixtures.h"
#include "archivereader.h"
#include "archivewriter.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ArchiveFixtures;

Q_DECLARE_METATYPE(ArchiveFixtures::Format)
Q_DECLARE_METATYPE(ArchiveFixtures::Entry)

class TestArchiveReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void refusesEntriesThatLeaveTheRoot_data();
    void refusesEntriesThatLeaveTheRoot();
    void judgesEntryNames_data();
    void judgesEntryNames();
    void enforcesLimits_data();
    void enforcesLimits();
    void brokenArchivesEndWithAnError_data();
    void brokenArchivesEndWithAnError();
    void readsBackWhatTheWriterWrote();
    void readsLongTarNamesInArchiveOrder();
    void uncommittedWriteLeavesNoFileAndKeepsTheOldOne();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // Reads every entry; returns the names read before the first error.
    QStringList readAll(ArchiveReader &reader)
    {
        QStringList names;
        if (!reader.open())
            return names;
        ArchiveReader::Entry entry;
        while (reader.next(&entry)) {
            QByteArray data;
            if (!reader.readData(&data, 1 << 30))
                break;
            names.append(entry.name);
        }
        return names;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestArchiveReader::refusesEntriesThatLeaveTheRoot_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<Entry>("hostile");

    const Entry dotDot{QStringLiteral("../evil.txt"), "x"};
    const Entry nestedDotDot{QStringLiteral("notes/../../evil.txt"), "x"};
    const Entry absolute{QStringLiteral("/tmp/evil.txt"), "x"};
    const Entry drive{QStringLiteral("C:/evil.txt"), "x"};
    const Entry backslash{QStringLiteral("..\\evil.txt"), "x"};
    const Entry symlink{QStringLiteral("link"), {}, Kind::Symlink, QStringLiteral("/etc/passwd")};
    const Entry hardlink{QStringLiteral("hard"), {}, Kind::Hardlink, QStringLiteral("ok.txt")};
    const Entry device{QStringLiteral("dev"), {}, Kind::CharDevice};

    for (const auto &[format, label] : {std::pair{Format::Tar, "tar"}, std::pair{Format::Zip, "zip"}}) {
        const QByteArray prefix = QByteArray(label) + '-';
        QTest::newRow(prefix + "dot-dot") << format << dotDot;
        QTest::newRow(prefix + "nested-dot-dot") << format << nestedDotDot;
        QTest::newRow(prefix + "absolute") << format << absolute;
        QTest::newRow(prefix + "drive-letter") << format << drive;
        QTest::newRow(prefix + "backslash-dot-dot") << format << backslash;
        QTest::newRow(prefix + "symlink") << format << symlink;
    }
    // ZIP has no hard links.
    QTest::newRow("tar-hardlink") << Format::Tar << hardlink;
    QTest::newRow("tar-device") << Format::Tar << device;
}

void TestArchiveReader::refusesEntriesThatLeaveTheRoot()
{
    QFETCH(Format, format);
    QFETCH(Entry, hostile);
    const QString archive = path(QStringLiteral("hostile"));
    QVERIFY(write(archive, format, {{QStringLiteral("ok.txt"), "fine"}, hostile, {QStringLiteral("after.txt"), "x"}}));

    ArchiveReader reader(archive);
    const QStringList names = readAll(reader);
    QVERIFY(reader.hasError());
    QVERIFY(!names.contains(QStringLiteral("after.txt")));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("../evil.txt"))));
}

void TestArchiveReader::judgesEntryNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "notes/a.json" << true;
    QTest::newRow("dot-prefix") << "./notes/a.json" << true;
    QTest::newRow("dots-in-names") << "a..b/...c/..d" << true;
    QTest::newRow("dotdot-alone") << ".." << false;
    QTest::newRow("dotdot-first") << "../a" << false;
    QTest::newRow("dotdot-middle") << "a/../../b" << false;
    QTest::newRow("dotdot-last") << "a/.." << false;
    QTest::newRow("dotdot-trailing-slash") << "a/../" << false;
    QTest::newRow("dotdot-backslash") << "a\\..\\b" << false;
    QTest::newRow("dotdot-mixed") << "a/..\\b" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("absolute-backslash") << "\\x" << false;
    QTest::newRow("drive") << "C:x" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << false;
}

void TestArchiveReader::judgesEntryNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(ArchiveReader::isSafeEntryName(name), safe);
}

void TestArchiveReader::enforcesLimits_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<qint64>("maxEntries");
    QTest::addColumn<qint64>("maxTotal");
    QTest::addColumn<qint64>("maxRatio");

    QList<Entry> many;
    for (int i = 0; i < 11; ++i)
        many.append({QStringLiteral("f%1").arg(i), "x"});
    const QList<Entry> zeros{{QStringLiteral("zeros"), QByteArray(8 * 1024 * 1024, '\0')}};
    const qint64 unlimited = std::numeric_limits<qint64>::max() / 2;
    QTest::newRow("too-many-entries") << many << qint64(10) << unlimited << unlimited;
    QTest::newRow("total-too-large") << zeros << unlimited << qint64(1024 * 1024) << unlimited;
    QTest::newRow("expands-too-much") << zeros << unlimited << unlimited << qint64(50);
}

void TestArchiveReader::enforcesLimits()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(qint64, maxEntries);
    QFETCH(qint64, maxTotal);
    QFETCH(qint64, maxRatio);
    const QString archive = path(QStringLiteral("limits.zip"));
    QVERIFY(write(archive, Format::Zip, entries));

    ArchiveReader::Limits limits;
    limits.maxEntries = maxEntries;
    limits.maxTotalBytes = maxTotal;
    limits.maxRatio = maxRatio;
    limits.ratioSlackBytes = 1024 * 1024;
    ArchiveReader reader(archive, limits);
    readAll(reader);
    QVERIFY(reader.hasError());
    QVERIFY(reader.bytesRead() <= qMin<qint64>(maxTotal, 9 * 1024 * 1024) + 64 * 1024);
}

void TestArchiveReader::brokenArchivesEndWithAnError_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<int>("keepBytes"); // of a valid archive; -1 = garbage instead
    QTest::newRow("zip-truncated-half") << Format::Zip << -2;
    QTest::newRow("tar-truncated-half") << Format::Tar << -2;
    QTest::newRow("zip-header-only") << Format::Zip << 40;
    QTest::newRow("tar-header-only") << Format::Tar << 300;
    QTest::newRow("garbage") << Format::Zip << -1;
    QTest::newRow("empty-file") << Format::Zip << 0;
}

void TestArchiveReader::brokenArchivesEndWithAnError()
{
    QFETCH(Format, format);
    QFETCH(int, keepBytes);
    const QString valid = path(QStringLiteral("valid"));
    QByteArray payload;
    for (int i = 0; i < 20000; ++i)
        payload += QByteArray::number(i * 7919) + ' ';
    QVERIFY(write(valid, format, {{QStringLiteral("a.md"), payload}, {QStringLiteral("b.md"), payload}}));
    QByteArray bytes = OmbrelTest::readAll(valid);
    if (keepBytes == -1)
        bytes = QByteArray(4096, '\x5a');
    else if (keepBytes == -2)
        bytes.truncate(bytes.size() / 2);
    else
        bytes.truncate(keepBytes);
    const QString broken = path(QStringLiteral("broken"));
    QVERIFY(OmbrelTest::writeFile(broken, bytes));

    ArchiveReader reader(broken);
    const QStringList names = readAll(reader);
    QVERIFY2(reader.hasError() || names.isEmpty(), qPrintable(names.join(',')));
    QVERIFY(names.size() < 2);
}

void TestArchiveReader::readsBackWhatTheWriterWrote()
{
    const QString archive = path(QStringLiteral("round.zip"));
    QByteArray binary;
    for (int i = 0; i < 70000; ++i)
        binary.append(char(i * 31));
    {
        ArchiveWriter writer(archive);
        QVERIFY(writer.open());
        QVERIFY(writer.addDirectory(QStringLiteral("notes")));
        QVERIFY(writer.addFile(QStringLiteral("notes/Ünïcødé 日本.json"), "{}"));
        QVERIFY(writer.addFile(QStringLiteral("attachments/bin"), binary));
        QVERIFY(writer.addFile(QStringLiteral("empty"), QByteArray()));
        QVERIFY(writer.commit());
    }
    ArchiveReader reader(archive);
    QVERIFY(reader.open());
    ArchiveReader::Entry entry;
    QStringList names;
    QByteArray read;
    while (reader.next(&entry)) {
        names.append(entry.name);
        QByteArray data;
        QVERIFY(reader.readData(&data, 1 << 20));
        if (entry.name == QLatin1String("attachments/bin"))
            read = data;
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QCOMPARE(names, (QStringList{QStringLiteral("notes/Ünïcødé 日本.json"), QStringLiteral("attachments/bin"),
                                 QStringLiteral("empty")}));
    QCOMPARE(read, binary);
}

void TestArchiveReader::readsLongTarNamesInArchiveOrder()
{
    const QString longName = QStringLiteral("resources/") + QString(150, QLatin1Char('a')) + QStringLiteral(".png");
    const QString archive = path(QStringLiteral("long.tar"));
    QVERIFY(write(archive, Format::PaxTar,
                  {{QStringLiteral("z.md"), "1"}, {longName, "2"}, {QStringLiteral("a.md"), "3"}}));
    ArchiveReader reader(archive);
    QCOMPARE(readAll(reader), (QStringList{QStringLiteral("z.md"), longName, QStringLiteral("a.md")}));
    QVERIFY(!reader.hasError());
}

void TestArchiveReader::uncommittedWriteLeavesNoFileAndKeepsTheOldOne()
{
    const QString fresh = path(QStringLiteral("fresh.zip"));
    {
        ArchiveWriter writer(fresh);
        QVERIFY(writer.open());
        QVERIFY(writer.addFile(QStringLiteral("a"), QByteArray(100000, 'a')));
    }
    QVERIFY(!QFile::exists(fresh));

    const QString existing = path(QStringLiteral("existing.zip"));
    QVERIFY(OmbrelTest::writeFile(existing, "old backup"));
    {
        ArchiveWriter writer(existing);
        QVERIFY(writer.open());
        QVERIFY(writer.addFile(QStringLiteral("a"), QByteArray(100000, 'a')));
        QVERIFY(!writer.addFileFromDisk(QStringLiteral("missing"), path(QStringLiteral("no-such-file"))));
        QVERIFY(!writer.commit());
    }
    QCOMPARE(OmbrelTest::readAll(existing), QByteArray("old backup"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("existing.zip")});
}

QTEST_GUILESS_MAIN(TestArchiveReader)
#include "tst_archivereader.moc"
