#include "deltadocument.h"
#include "noteeditor.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

class PasteEditor : public NoteEditor
{
public:
    using NoteEditor::insertFromMimeData;
};

// A body of about `bytes` characters of Delta JSON: formatted lines and list items.
QString bodyOfSize(qsizetype bytes)
{
    QJsonArray operations;
    qsizetype size = 0;
    for (int line = 0; size < bytes; ++line) {
        const QString text = QStringLiteral("line %1 of a long note with some words in it").arg(line);
        operations.append(QJsonObject{{QStringLiteral("insert"), text},
                                      {QStringLiteral("attributes"), QJsonObject{{QStringLiteral("bold"), line % 3 == 0}}}});
        QJsonObject end{{QStringLiteral("insert"), QStringLiteral("\n")}};
        if (line % 5 == 0)
            end.insert(QStringLiteral("attributes"), QJsonObject{{QStringLiteral("list"), QStringLiteral("checked")}});
        operations.append(end);
        size += text.size() + 80;
    }
    return QString::fromUtf8(QJsonDocument(operations).toJson(QJsonDocument::Compact));
}

} // namespace

class TestNoteEditorLarge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init();
    void cleanup();

    void largeNoteShowsPlainTextAndKeepsBody();
    void typingIntoLargeNoteChangesNothingStored();
    void smallNoteAfterLargeIsEditable();
    void realSizeNoteOpensInPlainView();
    void noteOpenedBeforeWindowShowsLoadsAfterIt();
    void pasteAboveLimitAsksFirst_data();
    void pasteAboveLimitAsksFirst();

private:
    std::unique_ptr<PasteEditor> m_editor;
    qsizetype m_threshold = 0;
    qsizetype m_pasteThreshold = 0;
};

void TestNoteEditorLarge::init()
{
    m_threshold = NoteEditor::largeNoteThreshold();
    m_pasteThreshold = NoteEditor::pasteAskThreshold();
    m_editor = std::make_unique<PasteEditor>();
    m_editor->resize(640, 480);
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void TestNoteEditorLarge::cleanup()
{
    m_editor.reset();
    NoteEditor::setLargeNoteThreshold(m_threshold);
    NoteEditor::setPasteAskThreshold(m_pasteThreshold);
}

void TestNoteEditorLarge::largeNoteShowsPlainTextAndKeepsBody()
{
    NoteEditor::setLargeNoteThreshold(20000);
    const QString body = bodyOfSize(60000);
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    m_editor->loadNote(QStringLiteral("big"), body);
    QVERIFY(m_editor->isShowingLargeNote());
    QVERIFY(m_editor->largeNoteNotice().contains(QLatin1String("too large")));
    QCOMPARE(m_editor->toDeltaJson(), body);
    QVERIFY(m_editor->isSaved());
    auto *view = m_editor->findChild<QPlainTextEdit *>();
    QVERIFY(view && view->isVisible());
    QVERIFY(view->isReadOnly());
    QVERIFY(view->toPlainText().startsWith(QLatin1String("line 0 of a long note")));
    QVERIFY(m_editor->wordCount() > 1000);
    // The owner's reload after a save is still skipped.
    m_editor->loadNote(QStringLiteral("big"), body);
    QVERIFY(m_editor->isShowingLargeNote());
}

void TestNoteEditorLarge::typingIntoLargeNoteChangesNothingStored()
{
    NoteEditor::setLargeNoteThreshold(20000);
    const QString body = bodyOfSize(60000);
    m_editor->loadNote(QStringLiteral("big"), body);
    m_editor->setReadOnly(false); // an owner that opens every note for editing
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    m_editor->setFocus();
    QTest::keyClicks(m_editor.get(), QStringLiteral("typed"));
    QTest::keyClicks(m_editor->findChild<QPlainTextEdit *>(), QStringLiteral("typed"));
    QMimeData data;
    data.setText(QStringLiteral("pasted"));
    m_editor->insertFromMimeData(&data);
    QVERIFY(!modified.wait(1300));
    QCOMPARE(m_editor->toDeltaJson(), body);
}

void TestNoteEditorLarge::smallNoteAfterLargeIsEditable()
{
    NoteEditor::setLargeNoteThreshold(20000);
    m_editor->loadNote(QStringLiteral("big"), bodyOfSize(60000));
    m_editor->loadNote(QStringLiteral("small"), QStringLiteral("[{\"insert\":\"hi\\n\"}]"));
    QVERIFY(!m_editor->isShowingLargeNote());
    QVERIFY(!m_editor->findChild<QPlainTextEdit *>()->isVisible());
    m_editor->setFocus();
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(2);
    m_editor->setTextCursor(cursor);
    QTest::keyClicks(m_editor.get(), QStringLiteral(" there"));
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral("[{\"insert\":\"hi there\"},{\"insert\":\"\\n\"}]"));
    m_editor->clearNote();
    QVERIFY(!m_editor->isShowingLargeNote());
}

void TestNoteEditorLarge::realSizeNoteOpensInPlainView()
{
    // Ten megabytes with the shipped threshold; painting it must not wait on a layout.
    const QString body = bodyOfSize(10 * 1024 * 1024);
    m_editor->loadNote(QStringLiteral("huge"), body);
    QVERIFY(m_editor->isShowingLargeNote());
    m_editor->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(m_editor->toDeltaJson().size(), body.size());
    if (qEnvironmentVariableIsSet("OMBREL_SCREENSHOT_DIR"))
        m_editor->grab().save(qEnvironmentVariable("OMBREL_SCREENSHOT_DIR") + QStringLiteral("/large-note.png"));
}

void TestNoteEditorLarge::noteOpenedBeforeWindowShowsLoadsAfterIt()
{
    NoteEditor editor;
    editor.resize(640, 480);
    const QString body = bodyOfSize(600 * 1024);
    QSignalSpy modified(&editor, &NoteEditor::noteModified);
    editor.loadNote(QStringLiteral("remembered"), body);
    // Nothing is built for a window nobody sees yet, and nothing is lost meanwhile.
    QCOMPARE(editor.document()->blockCount(), 1);
    QCOMPARE(editor.toDeltaJson(), body);
    QCOMPARE(editor.currentNoteId(), QStringLiteral("remembered"));
    editor.setReadOnly(false);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QTRY_VERIFY(editor.document()->blockCount() > 1000);
    QVERIFY(!editor.isReadOnly());
    DeltaDocument expected;
    expected.setDeltaJson(body);
    QCOMPARE(editor.toDeltaJson(), expected.toDeltaJson());
    QVERIFY(editor.isSaved());
    QVERIFY(!modified.wait(1200));
}

void TestNoteEditorLarge::pasteAboveLimitAsksFirst_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("pasted");
    QTest::newRow("below-limit") << 500 << false << false << true;
    QTest::newRow("above-limit-accepted") << 5000 << true << true << true;
    QTest::newRow("above-limit-declined") << 5000 << false << true << false;
    QTest::newRow("above-note-size-refused") << 50000 << true << true << false;
}

void TestNoteEditorLarge::pasteAboveLimitAsksFirst()
{
    QFETCH(int, size);
    QFETCH(bool, answer);
    QFETCH(bool, asked);
    QFETCH(bool, pasted);
    NoteEditor::setPasteAskThreshold(1000);
    NoteEditor::setLargeNoteThreshold(20000);
    m_editor->loadNote(QStringLiteral("n"), DeltaDocument::emptyNoteJson());
    bool wasAsked = false;
    m_editor->setConfirmPrompt([&](const QString &, const QString &) {
        wasAsked = true;
        return answer;
    });
    QString html = QStringLiteral("<p>");
    while (html.size() < size)
        html += QStringLiteral("word <b>bold</b> ");
    html += QStringLiteral("</p>");
    QMimeData data;
    data.setHtml(html);
    m_editor->insertFromMimeData(&data);
    QCOMPARE(wasAsked, asked);
    QCOMPARE(m_editor->toPlainText().contains(QLatin1String("word")), pasted);
}

QTEST_MAIN(TestNoteEditorLarge)
#include "tst_noteeditor_large.moc"
