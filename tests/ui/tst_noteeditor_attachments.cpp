#include "attachmentrepository.h"
#include "database.h"
#include "deltadocument.h"
#include "note.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "paths.h"
#include "testsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QUuid>

#include <memory>

namespace {

const QString NoteId = QStringLiteral("note-1");

class DropEditor : public NoteEditor
{
public:
    using NoteEditor::dragEnterEvent;
    using NoteEditor::dropEvent;
};

// Triggers the action with the given text in the next popup menu to open.
void triggerMenuAction(const QString &text)
{
    QTimer::singleShot(50, qApp, [text] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions()) {
            if (action->text() == text) {
                menu->close();
                action->trigger();
                return;
            }
        }
        menu->close();
    });
}

QStringList attachmentEmbeds(const QString &json)
{
    QStringList values;
    for (const QJsonValue &value : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject insert = value.toObject().value(QLatin1String("insert")).toObject();
        if (insert.contains(QLatin1String("ombrel-notes-attachment")))
            values << insert.value(QLatin1String("ombrel-notes-attachment")).toString();
    }
    return values;
}

} // namespace

class TestNoteEditorAttachments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init();
    void cleanup();

    void insertFromPathStoresFileRowAndObject();
    void insertRefusedWithoutNoteOrFile_data();
    void insertRefusedWithoutNoteOrFile();
    void removeAttachmentDeletesRowAndFile();
    void openWritesTemporaryCopy_data();
    void openWritesTemporaryCopy();
    void openRefusesUnknownAttachment();
    void copyFilePutsUrlOnClipboard();
    void toolTipShowsSize_data();
    void toolTipShowsSize();
    void missingRecordDrawsChip();
    void largeImageIsScaledToMaximumWidth();
    void dropOfLocalFilesAttachesThem();
    void dropOfWebUrlsFallsBack();
    void withoutRepositoryNothingIsAttached();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    QString insertAttachment(const QString &name, const QByteArray &bytes);
    QPoint pointOfFirstObject() const;

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<AttachmentRepository> m_attachments;
    std::unique_ptr<DropEditor> m_editor;
    QList<QUrl> m_opened;
};

void TestNoteEditorAttachments::init()
{
    m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
    m_files = std::make_unique<QTemporaryDir>();
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()));
    QVERIFY(m_database->migrate());
    NoteRepository notes(m_database.get());
    Note note;
    note.id = NoteId;
    note.body = Note::emptyBody();
    note.createdAt = QDateTime::currentDateTimeUtc();
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    QVERIFY(notes.insert(note));
    m_attachments = std::make_unique<AttachmentRepository>(m_database.get());

    m_opened.clear();
    m_editor = std::make_unique<DropEditor>();
    m_editor->resize(800, 600);
    m_editor->setAttachmentRepository(m_attachments.get());
    m_editor->setUrlOpener([this](const QUrl &url) {
        m_opened.append(url);
        return true;
    });
    m_editor->loadNote(NoteId, DeltaDocument::emptyNoteJson());
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void TestNoteEditorAttachments::cleanup()
{
    m_editor.reset();
    m_attachments.reset();
    m_database.reset();
    m_files.reset();
    m_dataDir.reset();
}

QString TestNoteEditorAttachments::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_files->filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

QString TestNoteEditorAttachments::insertAttachment(const QString &name, const QByteArray &bytes)
{
    if (!m_editor->insertAttachmentFromPath(writeFile(name, bytes)))
        return {};
    const QStringList embeds = attachmentEmbeds(m_editor->toDeltaJson());
    return embeds.isEmpty() ? QString() : embeds.last().mid(DeltaDocument::attachmentPrefix().size());
}

QPoint TestNoteEditorAttachments::pointOfFirstObject() const
{
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(1);
    const QRect rect = m_editor->cursorRect(cursor);
    return QPoint(rect.left() - 10, rect.center().y());
}

void TestNoteEditorAttachments::insertFromPathStoresFileRowAndObject()
{
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    const QString id = insertAttachment(QStringLiteral("report.txt"), QByteArrayLiteral("hello attachment"));
    QVERIFY(!id.isEmpty());
    const std::optional<Attachment> record = m_attachments->findById(id);
    QVERIFY(record);
    QCOMPARE(record->noteId, NoteId);
    QCOMPARE(record->filename, QStringLiteral("report.txt"));
    QCOMPARE(record->mimeType, QStringLiteral("text/plain"));
    QCOMPARE(record->sizeBytes, qint64(16));
    QCOMPARE(record->syncStatus, SyncStatus::Pending);
    QCOMPARE(m_attachments->readFile(id), QByteArrayLiteral("hello attachment"));

    QVERIFY(!m_editor->isSaved());
    QVERIFY(modified.wait(2000));
    const QString saved = m_editor->toDeltaJson();
    QCOMPARE(saved, QStringLiteral("[{\"insert\":{\"ombrel-notes-attachment\":\"ombrel-notes://attachment/%1\"}},"
                                   "{\"insert\":\"\\n\"},{\"insert\":\"\\n\"}]").arg(id));
    // Reloading the saved body shows the same object.
    m_editor->loadNote(NoteId, saved, true);
    QCOMPARE(m_editor->toDeltaJson(), saved);
}

void TestNoteEditorAttachments::insertRefusedWithoutNoteOrFile_data()
{
    QTest::addColumn<bool>("noteLoaded");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("no-note") << false << QStringLiteral("a.txt") << QByteArrayLiteral("x");
    QTest::newRow("empty-file") << true << QStringLiteral("empty.txt") << QByteArray();
    QTest::newRow("missing-file") << true << QString() << QByteArray();
}

void TestNoteEditorAttachments::insertRefusedWithoutNoteOrFile()
{
    QFETCH(bool, noteLoaded);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    if (!noteLoaded)
        m_editor->clearNote();
    const QString path = fileName.isEmpty() ? m_files->filePath(QStringLiteral("nope.bin")) : writeFile(fileName, bytes);
    const QString before = m_editor->toDeltaJson();
    QVERIFY(!m_editor->insertAttachmentFromPath(path));
    QCOMPARE(m_editor->toDeltaJson(), before);
    QVERIFY(m_attachments->attachmentsForNote(NoteId).isEmpty());
}

void TestNoteEditorAttachments::removeAttachmentDeletesRowAndFile()
{
    const QString id = insertAttachment(QStringLiteral("doc.pdf"), QByteArrayLiteral("%PDF-1.4 content"));
    QVERIFY(!id.isEmpty());
    const QString file = m_attachments->filePath(id);
    QVERIFY(QFile::exists(file));

    QContextMenuEvent event(QContextMenuEvent::Mouse, pointOfFirstObject(),
                            m_editor->viewport()->mapToGlobal(pointOfFirstObject()));
    triggerMenuAction(QStringLiteral("Remove Attachment"));
    QApplication::sendEvent(m_editor->viewport(), &event);

    QVERIFY(attachmentEmbeds(m_editor->toDeltaJson()).isEmpty());
    QVERIFY(!m_attachments->findById(id));
    QVERIFY(!QFile::exists(file));
    QVERIFY(!m_editor->isSaved());
}

void TestNoteEditorAttachments::openWritesTemporaryCopy_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("written");
    QTest::newRow("named") << QStringLiteral("photo.png") << QStringLiteral("photo.png");
    QTest::newRow("unnamed") << QString() << QStringLiteral("%1.bin");
    QTest::newRow("hostile-path") << QStringLiteral("../../evil.sh") << QStringLiteral("evil.sh");
    QTest::newRow("dot-dot") << QStringLiteral("..") << QStringLiteral("%1.bin");
}

void TestNoteEditorAttachments::openWritesTemporaryCopy()
{
    QFETCH(QString, fileName);
    QFETCH(QString, written);
    const QString id = insertAttachment(QStringLiteral("a.bin"), QByteArrayLiteral("bytes"));
    QVERIFY(m_editor->openAttachment(id, fileName));
    QCOMPARE(m_opened.size(), 1);
    const QString expected = QDir::tempPath() + QStringLiteral("/ombrel-notes/") + id + QLatin1Char('/')
        + (written.contains(QLatin1String("%1")) ? written.arg(id) : written);
    QCOMPARE(m_opened.first().toLocalFile(), expected);
    QFile file(expected);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArrayLiteral("bytes"));
    QDir(QDir::tempPath() + QStringLiteral("/ombrel-notes/") + id).removeRecursively();
}

void TestNoteEditorAttachments::openRefusesUnknownAttachment()
{
    QVERIFY(!m_editor->openAttachment(QUuid::createUuid().toString(QUuid::WithoutBraces), QStringLiteral("x")));
    QVERIFY(!m_editor->openAttachment(QStringLiteral("../../etc/passwd"), QStringLiteral("x")));
    QVERIFY(m_opened.isEmpty());
}

void TestNoteEditorAttachments::copyFilePutsUrlOnClipboard()
{
    const QString id = insertAttachment(QStringLiteral("notes.txt"), QByteArrayLiteral("copy me"));
    QContextMenuEvent event(QContextMenuEvent::Mouse, pointOfFirstObject(),
                            m_editor->viewport()->mapToGlobal(pointOfFirstObject()));
    triggerMenuAction(QStringLiteral("Copy File"));
    QApplication::sendEvent(m_editor->viewport(), &event);
    const QList<QUrl> urls = QApplication::clipboard()->mimeData()->urls();
    QCOMPARE(urls.size(), 1);
    QVERIFY(urls.first().toLocalFile().endsWith(id + QStringLiteral("/notes.txt")));
    QDir(QDir::tempPath() + QStringLiteral("/ombrel-notes/") + id).removeRecursively();
}

void TestNoteEditorAttachments::toolTipShowsSize_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("shown");
    QTest::newRow("kilobytes") << 1536 << QStringLiteral("1.5 KB");
    QTest::newRow("megabytes") << 3145728 << QStringLiteral("3.0 MB");
    QTest::newRow("tiny") << 10 << QStringLiteral("0.0 KB");
}

void TestNoteEditorAttachments::toolTipShowsSize()
{
    QFETCH(int, size);
    QFETCH(QString, shown);
    const QString id = insertAttachment(QStringLiteral("blob.dat"), QByteArray(size, 'z'));
    QVERIFY(!id.isEmpty());
    const QPoint viewportPos = pointOfFirstObject();
    const QPoint editorPos = m_editor->viewport()->mapTo(m_editor.get(), viewportPos);
    QHelpEvent event(QEvent::ToolTip, editorPos, m_editor->mapToGlobal(editorPos));
    QApplication::sendEvent(m_editor.get(), &event);
    QCOMPARE(QToolTip::text(), QStringLiteral("blob.dat (%1)\n(Double-click to open, right-click for more)").arg(shown));
    QToolTip::hideText();
}

void TestNoteEditorAttachments::missingRecordDrawsChip()
{
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_editor->loadNote(NoteId, QStringLiteral("[{\"insert\":{\"ombrel-notes-attachment\":\"%1\"}},{\"insert\":\"\\n\"}]").arg(id));
    m_editor->document()->documentLayout()->documentSize(); // lay out
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(1);
    const QRect after = m_editor->cursorRect(cursor);
    cursor.setPosition(0);
    const QRect before = m_editor->cursorRect(cursor);
    // A chip labelled "Attachment" is at least 200 pixels wide.
    QVERIFY2(after.left() - before.left() >= 200, qPrintable(QString::number(after.left() - before.left())));
    QVERIFY(after.height() >= 36);
    // No record: no tool tip and no attachment menu.
    const QPoint editorPos = m_editor->viewport()->mapTo(m_editor.get(), pointOfFirstObject());
    QHelpEvent event(QEvent::ToolTip, editorPos, m_editor->mapToGlobal(editorPos));
    QApplication::sendEvent(m_editor.get(), &event);
    QVERIFY(QToolTip::text().isEmpty());
    // Saved back unchanged with its prefix.
    QVERIFY(m_editor->toDeltaJson().contains(DeltaDocument::attachmentPrefix() + id));
}

void TestNoteEditorAttachments::largeImageIsScaledToMaximumWidth()
{
    QImage image(1200, 800, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = m_files->filePath(QStringLiteral("wide.png"));
    QVERIFY(image.save(path));
    QVERIFY(m_editor->insertAttachmentFromPath(path));
    const QTextBlock block = m_editor->document()->firstBlock();
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(0);
    const QRect start = m_editor->cursorRect(cursor);
    cursor.setPosition(1);
    const QRect end = m_editor->cursorRect(cursor);
    QCOMPARE(end.left() - start.left(), 560);
    const QRectF bounds = m_editor->document()->documentLayout()->blockBoundingRect(block);
    QVERIFY2(qAbs(bounds.height() - 377) <= 8.5, qPrintable(QString::number(bounds.height())));
}

void TestNoteEditorAttachments::dropOfLocalFilesAttachesThem()
{
    const QString a = writeFile(QStringLiteral("a.txt"), QByteArrayLiteral("aaa"));
    const QString b = writeFile(QStringLiteral("b.txt"), QByteArrayLiteral("bbb"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(a), QUrl(QStringLiteral("https://example.org/x")), QUrl::fromLocalFile(b)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    m_editor->dragEnterEvent(&enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    m_editor->dropEvent(&drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(attachmentEmbeds(m_editor->toDeltaJson()).size(), 2);
    QCOMPARE(m_attachments->attachmentsForNote(NoteId).size(), 2);
}

void TestNoteEditorAttachments::dropOfWebUrlsFallsBack()
{
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("https://example.org/page"))});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    m_editor->dropEvent(&drop);
    QVERIFY(attachmentEmbeds(m_editor->toDeltaJson()).isEmpty());
    QVERIFY(m_attachments->attachmentsForNote(NoteId).isEmpty());
}

void TestNoteEditorAttachments::withoutRepositoryNothingIsAttached()
{
    NoteEditor bare;
    bare.setAttachmentRepository(nullptr);
    bare.loadNote(NoteId, DeltaDocument::emptyNoteJson());
    QVERIFY(!bare.insertAttachmentFromPath(writeFile(QStringLiteral("x.txt"), QByteArrayLiteral("x"))));
    QVERIFY(!bare.openAttachment(QUuid::createUuid().toString(QUuid::WithoutBraces), QString()));
    QCOMPARE(bare.toDeltaJson(), DeltaDocument::emptyNoteJson());
}

QTEST_MAIN(TestNoteEditorAttachments)
#include "tst_noteeditor_attachments.moc"
