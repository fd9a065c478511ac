#include "attachmentrepository.h"
#include "deltadocument.h"
#include "noteeditor.h"
#include "storagefixture.h"
#include "testsupport.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

const QString NoteId = QStringLiteral("9d1f5a52-1c4e-4c3b-9a51-0f3c2b7d8e61");

using Grid = QList<QStringList>;

// Answers the next popup menu: records its entries ("-" for a separator), then triggers
// the action named `choice` (none when empty) after the menu has closed, as a user's
// click would.
class MenuDriver : public QObject
{
public:
    explicit MenuDriver(const QString &choice)
        : m_choice(choice)
    {
        m_poll.setInterval(10);
        connect(&m_poll, &QTimer::timeout, this, &MenuDriver::poll);
        m_poll.start();
    }

    QStringList entries() const { return m_entries; }
    bool sawMenu() const { return m_sawMenu; }

private:
    void poll()
    {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        m_poll.stop();
        m_sawMenu = true;
        QAction *chosen = nullptr;
        for (QAction *action : menu->actions()) {
            m_entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
            if (!action->isSeparator() && action->text() == m_choice)
                chosen = action;
        }
        menu->close();
        if (chosen)
            chosen->trigger();
    }

    QString m_choice;
    QTimer m_poll;
    QStringList m_entries;
    bool m_sawMenu = false;
};

// Right-clicks the viewport at pos and answers the menu with `choice`; returns the
// menu's entries, empty when no menu opened.
QStringList rightClick(NoteEditor *editor, const QPoint &pos, const QString &choice)
{
    MenuDriver driver(choice);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, editor->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(editor->viewport(), &event);
    return driver.entries();
}

QPoint pointAt(NoteEditor *editor, int position)
{
    QTextCursor cursor(editor->document());
    cursor.setPosition(position);
    return editor->cursorRect(cursor).center();
}

// A position inside the first occurrence of text in the note.
int positionOf(NoteEditor *editor, const QString &text)
{
    const int at = editor->document()->toPlainText().indexOf(text);
    return at < 0 ? -1 : at + text.size() / 2;
}

QJsonArray savedOperations(NoteEditor *editor)
{
    return QJsonDocument::fromJson(editor->deltaDocument()->toDeltaJson().toUtf8()).array();
}

// The cells of every table in the saved body, each cell as its plain text.
QList<Grid> savedTables(NoteEditor *editor)
{
    QList<Grid> tables;
    for (const QJsonValue &value : savedOperations(editor)) {
        const QJsonValue embed = value.toObject().value(QLatin1String("insert")).toObject().value(QLatin1String("table"));
        if (embed.isUndefined())
            continue;
        Grid grid;
        const QJsonObject table = QJsonDocument::fromJson(embed.toString().toUtf8()).object();
        for (const QJsonValue &row : table.value(QLatin1String("cells")).toArray()) {
            QStringList cells;
            for (const QJsonValue &cell : row.toArray()) {
                QString text;
                if (cell.isString())
                    text = cell.toString();
                for (const QJsonValue &op : cell.toArray())
                    text += op.toObject().value(QLatin1String("insert")).toString();
                cells << text;
            }
            grid << cells;
        }
        tables << grid;
    }
    return tables;
}

// The saved text outside tables, joined.
QString savedText(NoteEditor *editor)
{
    QString text;
    for (const QJsonValue &value : savedOperations(editor)) {
        const QJsonValue insert = value.toObject().value(QLatin1String("insert"));
        if (insert.isString())
            text += insert.toString();
    }
    return text;
}

// The non-empty lines of saved text outside tables.
QStringList savedLines(NoteEditor *editor)
{
    return savedText(editor).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString tableBody(const Grid &grid, const QString &before, const QString &after)
{
    QJsonArray rows;
    for (const QStringList &row : grid)
        rows.append(QJsonArray::fromStringList(row));
    const QJsonObject table{{QStringLiteral("cells"), rows}, {QStringLiteral("hasHeader"), false}};
    QJsonArray body;
    if (!before.isEmpty())
        body.append(QJsonObject{{QStringLiteral("insert"), before + QLatin1Char('\n')}});
    body.append(QJsonObject{{QStringLiteral("insert"),
                             QJsonObject{{QStringLiteral("table"),
                                          QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact))}}}});
    // A table is a line of its own.
    body.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}});
    body.append(QJsonObject{{QStringLiteral("insert"), after + QLatin1Char('\n')}});
    return QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact));
}

const QString LinkBody = QStringLiteral(
    "[{\"insert\":\"see \"},{\"attributes\":{\"link\":\"https://old.example.org\"},\"insert\":\"old site\"},"
    "{\"insert\":\" now\"},{\"insert\":\"\\n\"}]");

using LinkAnswer = std::optional<NoteEditor::LinkInput>;

} // namespace

Q_DECLARE_METATYPE(Grid)

class TestNoteEditorMenus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init();
    void cleanup();

    void menusListTheirActionsInOrder_data();
    void menusListTheirActionsInOrder();
    void tableActionsEditTheClickedCell_data();
    void tableActionsEditTheClickedCell();
    void deletingTheLastRowOrColumnDeletesTheTable_data();
    void deletingTheLastRowOrColumnDeletesTheTable();
    void deleteTableKeepsTheLinesAround_data();
    void deleteTableKeepsTheLinesAround();
    void deleteTableIsOneUndoStep();
    void rightClickDropsSelectionBeforeTableAction();
    void editLinkRewritesTheLink_data();
    void editLinkRewritesTheLink();
    void removeLinkKeepsTheText();
    void openLinkFromMenuUsesTheOpener();
    void saveAsWritesTheStoredBytes_data();
    void saveAsWritesTheStoredBytes();
    void saveAsOfMissingFileWritesNothing();
    void controlClickOpensLinks_data();
    void controlClickOpensLinks();
    void pointerShapeFollowsControlOverLinks_data();
    void pointerShapeFollowsControlOverLinks();

private:
    void load(const QString &body);
    QString insertAttachment(const QString &name, const QByteArray &bytes);
    QPoint pointOfCell(int row, int column) const;

    std::unique_ptr<OmbrelTest::MigratedDatabase> m_storage;
    std::unique_ptr<AttachmentRepository> m_attachments;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<NoteEditor> m_editor;
    QList<QUrl> m_opened;
};

void TestNoteEditorMenus::init()
{
    m_storage = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_storage->isReady(), qPrintable(m_storage->failure()));
    QVERIFY(OmbrelTest::insertEmptyNote(&m_storage->database, NoteId, QDateTime::currentDateTimeUtc()));
    m_attachments = std::make_unique<AttachmentRepository>(&m_storage->database);
    m_files = std::make_unique<QTemporaryDir>();
    QVERIFY(m_files->isValid());

    m_opened.clear();
    m_editor = std::make_unique<NoteEditor>();
    m_editor->resize(800, 600);
    m_editor->setAttachmentRepository(m_attachments.get());
    m_editor->setUrlOpener([this](const QUrl &url) {
        m_opened.append(url);
        return true;
    });
    m_editor->setLinkPrompt([](const QString &, const QString &, const QString &) { return LinkAnswer(); });
    m_editor->setSaveFilePrompt([](const QString &, const QString &) { return QString(); });
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void TestNoteEditorMenus::cleanup()
{
    m_editor.reset();
    m_files.reset();
    m_attachments.reset();
    m_storage.reset();
}

void TestNoteEditorMenus::load(const QString &body)
{
    m_editor->loadNote(NoteId, body, true);
}

QString TestNoteEditorMenus::insertAttachment(const QString &name, const QByteArray &bytes)
{
    const QString path = m_files->filePath(name);
    if (!OmbrelTest::writeFile(path, bytes) || !m_editor->insertAttachmentFromPath(path))
        return {};
    const QList<Attachment> stored = m_attachments->attachmentsForNote(NoteId);
    return stored.isEmpty() ? QString() : stored.last().id;
}

QPoint TestNoteEditorMenus::pointOfCell(int row, int column) const
{
    QTextCursor cursor(m_editor->document());
    cursor.movePosition(QTextCursor::Start);
    while (!cursor.currentTable() && cursor.movePosition(QTextCursor::NextBlock)) { }
    QTextTable *table = cursor.currentTable();
    if (!table)
        return {};
    const QRect rect = m_editor->cursorRect(table->cellAt(row, column).firstCursorPosition());
    return QPoint(rect.right() + 2, rect.center().y());
}

void TestNoteEditorMenus::menusListTheirActionsInOrder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("entries");
    const QString sep = QStringLiteral("-");
    QTest::newRow("table") << QStringLiteral("table")
                           << QStringList{QStringLiteral("Insert Row Above"), QStringLiteral("Insert Row Below"), sep,
                                          QStringLiteral("Insert Column Before"), QStringLiteral("Insert Column After"), sep,
                                          QStringLiteral("Delete Row"), QStringLiteral("Delete Column"), sep,
                                          QStringLiteral("Delete Table")};
    QTest::newRow("link") << QStringLiteral("link")
                          << QStringList{QStringLiteral("Open Link"), QStringLiteral("Copy Link Address"), sep,
                                         QStringLiteral("Edit Link…"), QStringLiteral("Remove Link")};
    QTest::newRow("attachment") << QStringLiteral("attachment")
                                << QStringList{QStringLiteral("Open"), QStringLiteral("Save As…"),
                                               QStringLiteral("Copy File"), sep, QStringLiteral("Remove Attachment")};
}

void TestNoteEditorMenus::menusListTheirActionsInOrder()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, entries);
    QPoint pos;
    if (kind == QLatin1String("table")) {
        load(tableBody({{QStringLiteral("a"), QStringLiteral("b")}}, QStringLiteral("x"), QStringLiteral("y")));
        pos = pointOfCell(0, 1);
    } else if (kind == QLatin1String("link")) {
        load(LinkBody);
        pos = pointAt(m_editor.get(), positionOf(m_editor.get(), QStringLiteral("old site")));
    } else {
        load(DeltaDocument::emptyNoteJson());
        QVERIFY(!insertAttachment(QStringLiteral("a.txt"), QByteArrayLiteral("abc")).isEmpty());
        pos = pointAt(m_editor.get(), 1) - QPoint(10, 0);
    }
    QCOMPARE(rightClick(m_editor.get(), pos, QString()), entries);
}

void TestNoteEditorMenus::tableActionsEditTheClickedCell_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<Grid>("expected");
    const QString e;
    // Clicked in the middle cell of a 3 x 3 table.
    QTest::newRow("row-above") << QStringLiteral("Insert Row Above")
                               << Grid{{"a", "b", "c"}, {e, e, e}, {"d", "e", "f"}, {"g", "h", "i"}};
    QTest::newRow("row-below") << QStringLiteral("Insert Row Below")
                               << Grid{{"a", "b", "c"}, {"d", "e", "f"}, {e, e, e}, {"g", "h", "i"}};
    QTest::newRow("column-before") << QStringLiteral("Insert Column Before")
                                   << Grid{{"a", e, "b", "c"}, {"d", e, "e", "f"}, {"g", e, "h", "i"}};
    QTest::newRow("column-after") << QStringLiteral("Insert Column After")
                                  << Grid{{"a", "b", e, "c"}, {"d", "e", e, "f"}, {"g", "h", e, "i"}};
    QTest::newRow("delete-row") << QStringLiteral("Delete Row") << Grid{{"a", "b", "c"}, {"g", "h", "i"}};
    QTest::newRow("delete-column") << QStringLiteral("Delete Column") << Grid{{"a", "c"}, {"d", "f"}, {"g", "i"}};
    QTest::newRow("delete-table") << QStringLiteral("Delete Table") << Grid();
}

void TestNoteEditorMenus::tableActionsEditTheClickedCell()
{
    QFETCH(QString, action);
    QFETCH(Grid, expected);
    load(tableBody({{"a", "b", "c"}, {"d", "e", "f"}, {"g", "h", "i"}}, QStringLiteral("before"),
                   QStringLiteral("after")));
    QCOMPARE(savedTables(m_editor.get()).size(), 1);
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);

    rightClick(m_editor.get(), pointOfCell(1, 1), action);

    const QList<Grid> tables = savedTables(m_editor.get());
    if (expected.isEmpty())
        QVERIFY2(tables.isEmpty(), qPrintable(m_editor->toDeltaJson()));
    else
        QCOMPARE(tables, QList<Grid>{expected});
    // The lines around the table survive every table edit.
    QCOMPARE(savedLines(m_editor.get()), (QStringList{QStringLiteral("before"), QStringLiteral("after")}));
    // The edit is reported, so the owner saves it.
    QVERIFY(!m_editor->isSaved());
    QVERIFY(modified.wait(2000));
}

void TestNoteEditorMenus::deletingTheLastRowOrColumnDeletesTheTable_data()
{
    QTest::addColumn<Grid>("table");
    QTest::addColumn<QString>("action");
    QTest::newRow("last-row") << Grid{{"a", "b"}} << QStringLiteral("Delete Row");
    QTest::newRow("last-column") << Grid{{"a"}, {"b"}} << QStringLiteral("Delete Column");
    QTest::newRow("single-cell-row") << Grid{{"a"}} << QStringLiteral("Delete Row");
}

void TestNoteEditorMenus::deletingTheLastRowOrColumnDeletesTheTable()
{
    QFETCH(Grid, table);
    QFETCH(QString, action);
    load(tableBody(table, QStringLiteral("before"), QStringLiteral("after")));
    rightClick(m_editor.get(), pointOfCell(0, 0), action);
    QVERIFY2(savedTables(m_editor.get()).isEmpty(), qPrintable(m_editor->toDeltaJson()));
    QCOMPARE(savedLines(m_editor.get()), (QStringList{QStringLiteral("before"), QStringLiteral("after")}));
}

void TestNoteEditorMenus::deleteTableKeepsTheLinesAround_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("between-lines") << QStringLiteral("before") << QStringLiteral("after")
                                   << QStringList{QStringLiteral("before"), QStringLiteral("after")};
    QTest::newRow("first-in-note") << QString() << QStringLiteral("after") << QStringList{QStringLiteral("after")};
    QTest::newRow("last-in-note") << QStringLiteral("before") << QString() << QStringList{QStringLiteral("before")};
}

void TestNoteEditorMenus::deleteTableKeepsTheLinesAround()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QStringList, lines);
    load(tableBody({{"a", "b"}, {"c", "d"}}, before, after));
    QCOMPARE(savedTables(m_editor.get()).size(), 1);
    rightClick(m_editor.get(), pointOfCell(0, 1), QStringLiteral("Delete Table"));
    QVERIFY2(savedTables(m_editor.get()).isEmpty(), qPrintable(m_editor->toDeltaJson()));
    QCOMPARE(savedLines(m_editor.get()), lines);
    // Whatever stays is still a note the editor can show: it ends with a line break.
    QVERIFY(m_editor->toDeltaJson().endsWith(QLatin1String("\"\\n\"}]")));
}

void TestNoteEditorMenus::deleteTableIsOneUndoStep()
{
    load(tableBody({{"a", "b"}, {"c", "d"}}, QStringLiteral("before"), QStringLiteral("after")));
    const QString original = m_editor->toDeltaJson();
    rightClick(m_editor.get(), pointOfCell(1, 0), QStringLiteral("Delete Table"));
    QVERIFY(savedTables(m_editor.get()).isEmpty());
    m_editor->document()->undo();
    QCOMPARE(m_editor->toDeltaJson(), original);
}

void TestNoteEditorMenus::rightClickDropsSelectionBeforeTableAction()
{
    load(tableBody({{"a", "b"}, {"c", "d"}, {"e", "f"}}, QStringLiteral("before"), QStringLiteral("after")));
    // A selection in the text above the table must not decide which row goes.
    QTextCursor selection(m_editor->document());
    selection.setPosition(0);
    selection.setPosition(3, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(selection);
    rightClick(m_editor.get(), pointOfCell(2, 1), QStringLiteral("Delete Row"));
    QCOMPARE(savedTables(m_editor.get()), (QList<Grid>{{{"a", "b"}, {"c", "d"}}}));
    QVERIFY(!m_editor->textCursor().hasSelection());
    QVERIFY(savedText(m_editor.get()).startsWith(QLatin1String("before\n")));
}

void TestNoteEditorMenus::editLinkRewritesTheLink_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("reported");
    const QString unchanged = LinkBody;
    QTest::newRow("url-only") << true << QStringLiteral("old site") << QStringLiteral("https://new.example.org")
                              << QStringLiteral("[{\"insert\":\"see \"},{\"attributes\":{\"link\":\"https://new.example.org\"},"
                                                "\"insert\":\"old site\"},{\"insert\":\" now\"},{\"insert\":\"\\n\"}]")
                              << true;
    QTest::newRow("text-and-url") << true << QStringLiteral("new site") << QStringLiteral("https://new.example.org")
                                  << QStringLiteral("[{\"insert\":\"see \"},{\"attributes\":{\"link\":\"https://new.example.org\"},"
                                                    "\"insert\":\"new site\"},{\"insert\":\" now\"},{\"insert\":\"\\n\"}]")
                                  << true;
    QTest::newRow("text-only") << true << QStringLiteral("the site") << QStringLiteral("https://old.example.org")
                               << QStringLiteral("[{\"insert\":\"see \"},{\"attributes\":{\"link\":\"https://old.example.org\"},"
                                                 "\"insert\":\"the site\"},{\"insert\":\" now\"},{\"insert\":\"\\n\"}]")
                               << true;
    QTest::newRow("empty-text-shows-url") << true << QString() << QStringLiteral("https://new.example.org")
                                          << QStringLiteral("[{\"insert\":\"see \"},{\"attributes\":{\"link\":\"https://new.example.org\"},"
                                                            "\"insert\":\"https://new.example.org\"},{\"insert\":\" now\"},{\"insert\":\"\\n\"}]")
                                          << true;
    QTest::newRow("nothing-changed") << true << QStringLiteral("old site") << QStringLiteral("https://old.example.org")
                                     << unchanged << false;
    QTest::newRow("cancelled") << false << QString() << QString() << unchanged << false;
}

void TestNoteEditorMenus::editLinkRewritesTheLink()
{
    QFETCH(bool, answered);
    QFETCH(QString, text);
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QFETCH(bool, reported);
    load(LinkBody);
    QStringList asked;
    m_editor->setLinkPrompt([&](const QString &title, const QString &shownText, const QString &shownUrl) {
        asked << title << shownText << shownUrl;
        return answered ? LinkAnswer(NoteEditor::LinkInput{text, url}) : LinkAnswer();
    });
    rightClick(m_editor.get(), pointAt(m_editor.get(), positionOf(m_editor.get(), QStringLiteral("old site"))),
               QStringLiteral("Edit Link…"));
    QCOMPARE(asked, (QStringList{QStringLiteral("Edit Link"), QStringLiteral("old site"),
                                 QStringLiteral("https://old.example.org")}));
    QCOMPARE(m_editor->toDeltaJson(), expected);
    QCOMPARE(!m_editor->isSaved(), reported);
}

void TestNoteEditorMenus::removeLinkKeepsTheText()
{
    load(LinkBody);
    const int middle = positionOf(m_editor.get(), QStringLiteral("old site"));
    rightClick(m_editor.get(), pointAt(m_editor.get(), middle), QStringLiteral("Remove Link"));
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral("[{\"insert\":\"see old site now\"},{\"insert\":\"\\n\"}]"));
    QVERIFY(!m_editor->isSaved());
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(middle);
    QCOMPARE(cursor.charFormat().underlineStyle(), QTextCharFormat::NoUnderline);
    QVERIFY(!cursor.charFormat().isAnchor());
    // With the link gone the same spot offers the ordinary menu.
    QVERIFY(!rightClick(m_editor.get(), pointAt(m_editor.get(), middle), QString()).contains(QStringLiteral("Remove Link")));
}

void TestNoteEditorMenus::openLinkFromMenuUsesTheOpener()
{
    load(LinkBody);
    rightClick(m_editor.get(), pointAt(m_editor.get(), positionOf(m_editor.get(), QStringLiteral("old site"))),
               QStringLiteral("Open Link"));
    QCOMPARE(m_opened, QList<QUrl>{QUrl(QStringLiteral("https://old.example.org"))});
    QCOMPARE(m_editor->toDeltaJson(), LinkBody);
}

void TestNoteEditorMenus::saveAsWritesTheStoredBytes_data()
{
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray bytes("\x00\x01report\r\n\xff", 11);
    QTest::newRow("new-file") << QByteArray() << true << bytes;
    QTest::newRow("longer-file-truncated") << QByteArray(4096, 'x') << true << bytes;
    QTest::newRow("cancelled") << QByteArray() << false << QByteArray();
}

void TestNoteEditorMenus::saveAsWritesTheStoredBytes()
{
    QFETCH(QByteArray, existing);
    QFETCH(bool, chosen);
    QFETCH(QByteArray, expected);
    load(DeltaDocument::emptyNoteJson());
    const QString id = insertAttachment(QStringLiteral("report.bin"), QByteArray("\x00\x01report\r\n\xff", 11));
    QVERIFY(!id.isEmpty());
    const QString body = m_editor->toDeltaJson();

    QTemporaryDir target;
    const QString path = target.filePath(QStringLiteral("copy.bin"));
    if (!existing.isEmpty())
        QVERIFY(OmbrelTest::writeFile(path, existing));
    QStringList asked;
    m_editor->setSaveFilePrompt([&](const QString &title, const QString &proposal) {
        asked << title << proposal;
        return chosen ? path : QString();
    });
    rightClick(m_editor.get(), pointAt(m_editor.get(), 1) - QPoint(10, 0), QStringLiteral("Save As…"));

    QCOMPARE(asked, (QStringList{QStringLiteral("Save Attachment"), QDir::homePath() + QStringLiteral("/report.bin")}));
    if (chosen)
        QCOMPARE(OmbrelTest::readAll(path), expected);
    else
        QVERIFY(!QFile::exists(path));
    // Saving a copy leaves the note and the stored file alone.
    QCOMPARE(m_editor->toDeltaJson(), body);
    QCOMPARE(m_attachments->readFile(id), QByteArray("\x00\x01report\r\n\xff", 11));
}

void TestNoteEditorMenus::saveAsOfMissingFileWritesNothing()
{
    load(DeltaDocument::emptyNoteJson());
    const QString id = insertAttachment(QStringLiteral("gone.txt"), QByteArrayLiteral("soon gone"));
    QVERIFY(!id.isEmpty());
    QVERIFY(QFile::remove(m_attachments->filePath(id)));
    QTemporaryDir target;
    const QString path = target.filePath(QStringLiteral("gone.txt"));
    m_editor->setSaveFilePrompt([&](const QString &, const QString &) { return path; });
    rightClick(m_editor.get(), pointAt(m_editor.get(), 1) - QPoint(10, 0), QStringLiteral("Save As…"));
    QVERIFY(!QFile::exists(path));
}

void TestNoteEditorMenus::controlClickOpensLinks_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("target");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("opened");
    const QString bare = QStringLiteral("[{\"insert\":\"go \"},{\"attributes\":{\"link\":\"example.org/page\"},"
                                        "\"insert\":\"there\"},{\"insert\":\" ok\"},{\"insert\":\"\\n\"}]");
    QTest::newRow("control-on-link") << LinkBody << QStringLiteral("old site") << Qt::KeyboardModifiers(Qt::ControlModifier)
                                     << QStringLiteral("https://old.example.org");
    QTest::newRow("plain-on-link") << LinkBody << QStringLiteral("old site") << Qt::KeyboardModifiers() << QString();
    QTest::newRow("shift-on-link") << LinkBody << QStringLiteral("old site") << Qt::KeyboardModifiers(Qt::ShiftModifier)
                                   << QString();
    QTest::newRow("control-off-link") << LinkBody << QStringLiteral("now") << Qt::KeyboardModifiers(Qt::ControlModifier)
                                      << QString();
    QTest::newRow("control-on-link-without-scheme") << bare << QStringLiteral("there")
                                                    << Qt::KeyboardModifiers(Qt::ControlModifier)
                                                    << QStringLiteral("https://example.org/page");
}

void TestNoteEditorMenus::controlClickOpensLinks()
{
    QFETCH(QString, body);
    QFETCH(QString, target);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, opened);
    load(body);
    const int position = positionOf(m_editor.get(), target);
    QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, modifiers, pointAt(m_editor.get(), position));
    if (opened.isEmpty())
        QVERIFY(m_opened.isEmpty());
    else
        QCOMPARE(m_opened, QList<QUrl>{QUrl(opened)});
    // A click, with or without Control, never edits the note.
    QCOMPARE(m_editor->toDeltaJson(), body);
    QVERIFY(m_editor->isSaved());
}

void TestNoteEditorMenus::pointerShapeFollowsControlOverLinks_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<Qt::CursorShape>("shape");
    QTest::newRow("link-with-control") << QStringLiteral("old site") << Qt::KeyboardModifiers(Qt::ControlModifier)
                                       << Qt::PointingHandCursor;
    QTest::newRow("link-without-control") << QStringLiteral("old site") << Qt::KeyboardModifiers() << Qt::IBeamCursor;
    QTest::newRow("text-with-control") << QStringLiteral("see") << Qt::KeyboardModifiers(Qt::ControlModifier)
                                       << Qt::IBeamCursor;
    QTest::newRow("attachment-without-control") << QStringLiteral("attachment") << Qt::KeyboardModifiers()
                                                << Qt::PointingHandCursor;
}

void TestNoteEditorMenus::pointerShapeFollowsControlOverLinks()
{
    QFETCH(QString, target);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(Qt::CursorShape, shape);
    QVERIFY(m_editor->viewport()->hasMouseTracking());
    load(LinkBody);
    int position = positionOf(m_editor.get(), target);
    if (target == QLatin1String("attachment")) {
        QTextCursor end(m_editor->document());
        end.movePosition(QTextCursor::End);
        m_editor->setTextCursor(end);
        QVERIFY(!insertAttachment(QStringLiteral("pic.txt"), QByteArrayLiteral("p")).isEmpty());
        position = m_editor->document()->toPlainText().indexOf(QChar::ObjectReplacementCharacter) + 1;
    }
    QPoint pos = pointAt(m_editor.get(), position);
    if (target == QLatin1String("attachment"))
        pos -= QPoint(10, 0);
    // Start from the opposite shape so that a move that sets nothing shows up.
    m_editor->viewport()->setCursor(shape == Qt::IBeamCursor ? Qt::PointingHandCursor : Qt::IBeamCursor);
    QMouseEvent move(QEvent::MouseMove, pos, m_editor->viewport()->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     modifiers);
    QApplication::sendEvent(m_editor->viewport(), &move);
    QCOMPARE(m_editor->viewport()->cursor().shape(), shape);
}

QTEST_MAIN(TestNoteEditorMenus)
#include "tst_noteeditor_menus.moc"
