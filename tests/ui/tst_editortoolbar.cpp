#include "editortoolbar.h"
#include "noteeditor.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

namespace {

const QString NoteId = QStringLiteral("3f2a9c1e-5b7d-4e8f-a1c2-9d0e6b4a7f13");

// Two paragraphs: a heading, then a checklist item.
const QString HeadingAndChecklist = QStringLiteral(
    R"([{"insert":"Title"},{"attributes":{"header":2},"insert":"\n"},)"
    R"({"insert":"Buy milk"},{"attributes":{"list":"checked"},"insert":"\n"},)"
    R"({"insert":"Plain"},{"insert":"\n"}])");

const QStringList ToolTipsInOrder = {
    QStringLiteral("Bold (Ctrl+B)"),
    QStringLiteral("Italic (Ctrl+I)"),
    QStringLiteral("Underline (Ctrl+U)"),
    QStringLiteral("Strikethrough (Ctrl+Shift+X)"),
    QStringLiteral("Inline Code (Ctrl+`)"),
    QStringLiteral("|"),
    QStringLiteral("Heading Level"),
    QStringLiteral("|"),
    QStringLiteral("Bullet List (Ctrl+Shift+8)"),
    QStringLiteral("Numbered List (Ctrl+Shift+7)"),
    QStringLiteral("Checkbox List (Ctrl+Shift+9)"),
    QStringLiteral("|"),
    QStringLiteral("Code Block (Ctrl+Shift+`)"),
    QStringLiteral("Blockquote (Ctrl+Shift+B)"),
    QStringLiteral("|"),
    QStringLiteral("Align Left (Ctrl+Shift+L)"),
    QStringLiteral("Align Center (Ctrl+Shift+E)"),
    QStringLiteral("Align Right (Ctrl+Shift+R)"),
    QStringLiteral("|"),
    QStringLiteral("Insert Link (Ctrl+K)"),
    QStringLiteral("Insert Divider"),
    QStringLiteral("Insert Table (Ctrl+T)"),
    QStringLiteral("Insert Attachment (Ctrl+Shift+A)"),
};

void emitState(NoteEditor &editor, bool bold, bool italic, bool underline, bool strike, bool code,
               int heading, const QString &listType, bool codeBlock, bool blockquote, bool inTable,
               Qt::Alignment alignment)
{
    Q_EMIT editor.formatStateChanged(bold, italic, underline, strike, code, heading, listType,
                                     codeBlock, blockquote, inTable, alignment);
}

void emitPlainState(NoteEditor &editor)
{
    emitState(editor, false, false, false, false, false, 0, QString(), false, false, false, Qt::AlignLeft);
}

} // namespace

class TestEditorToolbar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void actionsInOrder();
    void startsDisabledAndHidden();
    void setToolbarActive();
    void characterStatesMirrored_data();
    void characterStatesMirrored();
    void alignmentMirrored_data();
    void alignmentMirrored();
    void headingMirrored_data();
    void headingMirrored();
    void listTypeMirrored_data();
    void listTypeMirrored();
    void mirroringNeverFeedsBack();
    void cursorInHeadingUpdatesComboOnly();
    void tableActionDisabledInTable();
    void actionsRunEditorCommands();
    void headingChoiceReachesEditor();
    void linkActionUsesEditorDialog();
    void unboundToolbarIgnoresActions();
    void rebindingDropsPreviousEditor();
    void deletedEditorIsForgotten();
    void iconsFollowPalette();

private:
    QAction *action(const char *name) const;
    QComboBox *combo() const;

    std::unique_ptr<NoteEditor> m_editor;
    std::unique_ptr<EditorToolbar> m_toolbar;
    QPalette m_originalPalette;
};

void TestEditorToolbar::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    m_originalPalette = QApplication::palette();
}

void TestEditorToolbar::init()
{
    m_editor = std::make_unique<NoteEditor>();
    m_editor->loadNote(NoteId, HeadingAndChecklist, true);
    m_toolbar = std::make_unique<EditorToolbar>();
    m_toolbar->bindEditor(m_editor.get());
    m_toolbar->setToolbarActive(true);
}

void TestEditorToolbar::cleanup()
{
    m_toolbar.reset();
    m_editor.reset();
    QApplication::setPalette(m_originalPalette);
    QCoreApplication::processEvents();
}

QAction *TestEditorToolbar::action(const char *name) const
{
    return m_toolbar->findChild<QAction *>(QLatin1String(name));
}

QComboBox *TestEditorToolbar::combo() const
{
    return m_toolbar->findChild<QComboBox *>(QStringLiteral("headingCombo"));
}

void TestEditorToolbar::actionsInOrder()
{
    QStringList toolTips;
    for (QAction *each : m_toolbar->actions()) {
        if (each->isSeparator())
            toolTips << QStringLiteral("|");
        else if (QWidget *widget = m_toolbar->widgetForAction(each); widget == combo())
            toolTips << combo()->toolTip();
        else
            toolTips << each->toolTip();
    }
    QCOMPARE(toolTips, ToolTipsInOrder);

    QStringList items;
    for (int i = 0; i < combo()->count(); ++i) {
        items << combo()->itemText(i);
        QCOMPARE(combo()->itemData(i).toInt(), i);
    }
    QCOMPARE(items, (QStringList{QStringLiteral("Normal"), QStringLiteral("Heading 1"),
                                 QStringLiteral("Heading 2"), QStringLiteral("Heading 3"),
                                 QStringLiteral("Heading 4"), QStringLiteral("Heading 5"),
                                 QStringLiteral("Heading 6")}));
    QVERIFY(combo()->minimumWidth() >= 100);

    const char *checkable[] = {"boldAction", "italicAction", "underlineAction", "strikeAction",
                               "inlineCodeAction", "bulletListAction", "numberedListAction",
                               "checkboxListAction", "codeBlockAction", "blockquoteAction",
                               "alignLeftAction", "alignCenterAction", "alignRightAction"};
    for (const char *name : checkable)
        QVERIFY2(action(name)->isCheckable(), name);
    for (const char *name : {"linkAction", "dividerAction", "tableAction", "attachmentAction"}) {
        QVERIFY2(!action(name)->isCheckable(), name);
        QVERIFY2(action(name)->shortcut().isEmpty(), name);
        QVERIFY2(!action(name)->icon().isNull(), name);
    }
    QCOMPARE(m_toolbar->iconSize(), QSize(16, 16));
    QCOMPARE(m_toolbar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QVERIFY(!m_toolbar->isMovable());
}

void TestEditorToolbar::startsDisabledAndHidden()
{
    EditorToolbar fresh;
    QVERIFY(!fresh.isEnabled());
    QVERIFY(fresh.isHidden());
}

void TestEditorToolbar::setToolbarActive()
{
    m_toolbar->setToolbarActive(true);
    QVERIFY(m_toolbar->isEnabled());
    QVERIFY(!m_toolbar->isHidden());
    m_toolbar->setToolbarActive(false);
    QVERIFY(!m_toolbar->isEnabled());
    QVERIFY(m_toolbar->isHidden());
}

void TestEditorToolbar::characterStatesMirrored_data()
{
    QTest::addColumn<int>("flag");
    QTest::newRow("bold") << 0;
    QTest::newRow("italic") << 1;
    QTest::newRow("underline") << 2;
    QTest::newRow("strike") << 3;
    QTest::newRow("code") << 4;
    QTest::newRow("code-block") << 5;
    QTest::newRow("blockquote") << 6;
}

void TestEditorToolbar::characterStatesMirrored()
{
    QFETCH(int, flag);
    const char *names[] = {"boldAction", "italicAction", "underlineAction", "strikeAction",
                           "inlineCodeAction", "codeBlockAction", "blockquoteAction"};

    emitState(*m_editor, flag == 0, flag == 1, flag == 2, flag == 3, flag == 4, 0, QString(),
              flag == 5, flag == 6, false, Qt::AlignLeft);
    for (int i = 0; i < 7; ++i)
        QVERIFY2(action(names[i])->isChecked() == (i == flag), names[i]);

    emitPlainState(*m_editor);
    for (const char *name : names)
        QVERIFY2(!action(name)->isChecked(), name);
}

void TestEditorToolbar::alignmentMirrored_data()
{
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QString>("checked");

    QTest::newRow("left") << int(Qt::AlignLeft) << "alignLeftAction";
    QTest::newRow("hcenter") << int(Qt::AlignHCenter) << "alignCenterAction";
    QTest::newRow("center-both-axes") << int(Qt::AlignCenter) << "alignCenterAction";
    QTest::newRow("right") << int(Qt::AlignRight) << "alignRightAction";
    QTest::newRow("right-vcenter") << int(Qt::AlignRight | Qt::AlignVCenter) << "alignRightAction";
    QTest::newRow("justify-reads-left") << int(Qt::AlignJustify) << "alignLeftAction";
    QTest::newRow("none-reads-left") << 0 << "alignLeftAction";
    QTest::newRow("absolute-left") << int(Qt::AlignLeft | Qt::AlignAbsolute) << "alignLeftAction";
}

void TestEditorToolbar::alignmentMirrored()
{
    QFETCH(int, alignment);
    QFETCH(QString, checked);

    // Start from a different state so every action has to move.
    emitState(*m_editor, false, false, false, false, false, 0, QString(), false, false, false,
              Qt::AlignRight);
    emitState(*m_editor, false, false, false, false, false, 0, QString(), false, false, false,
              Qt::Alignment(alignment));
    for (const char *name : {"alignLeftAction", "alignCenterAction", "alignRightAction"})
        QVERIFY2(action(name)->isChecked() == (checked == QLatin1String(name)), name);
}

void TestEditorToolbar::headingMirrored_data()
{
    QTest::addColumn<int>("heading");
    QTest::addColumn<int>("index");

    QTest::newRow("normal") << 0 << 0;
    QTest::newRow("h1") << 1 << 1;
    QTest::newRow("h6") << 6 << 6;
    QTest::newRow("above-range") << 7 << 0;
    QTest::newRow("negative") << -1 << 0;
}

void TestEditorToolbar::headingMirrored()
{
    QFETCH(int, heading);
    QFETCH(int, index);
    emitState(*m_editor, false, false, false, false, false, 3, QString(), false, false, false, Qt::AlignLeft);
    emitState(*m_editor, false, false, false, false, false, heading, QString(), false, false, false,
              Qt::AlignLeft);
    QCOMPARE(combo()->currentIndex(), index);
}

void TestEditorToolbar::listTypeMirrored_data()
{
    QTest::addColumn<QString>("listType");
    QTest::addColumn<QString>("checked");

    QTest::newRow("bullet") << "bullet" << "bulletListAction";
    QTest::newRow("ordered") << "ordered" << "numberedListAction";
    QTest::newRow("checked") << "checked" << "checkboxListAction";
    QTest::newRow("unchecked") << "unchecked" << "checkboxListAction";
    QTest::newRow("none") << QString() << QString();
    QTest::newRow("unknown-type") << "bulleted" << QString();
    QTest::newRow("wrong-case") << "Bullet" << QString();
}

void TestEditorToolbar::listTypeMirrored()
{
    QFETCH(QString, listType);
    QFETCH(QString, checked);
    emitState(*m_editor, false, false, false, false, false, 0, listType, false, false, false, Qt::AlignLeft);
    for (const char *name : {"bulletListAction", "numberedListAction", "checkboxListAction"})
        QVERIFY2(action(name)->isChecked() == (checked == QLatin1String(name)), name);
}

void TestEditorToolbar::mirroringNeverFeedsBack()
{
    const QString before = m_editor->toDeltaJson();
    QSignalSpy format(m_editor.get(), &NoteEditor::formatStateChanged);

    emitState(*m_editor, true, true, true, true, true, 4, QStringLiteral("bullet"), true, true, true,
              Qt::AlignRight);
    emitPlainState(*m_editor);
    emitState(*m_editor, false, false, false, false, false, 6, QStringLiteral("ordered"), false,
              false, false, Qt::AlignHCenter);

    QCOMPARE(format.count(), 3); // only the three emitted here: no command ran
    QCOMPARE(m_editor->toDeltaJson(), before);
    QVERIFY(m_editor->isSaved());
}

void TestEditorToolbar::cursorInHeadingUpdatesComboOnly()
{
    const QString before = m_editor->toDeltaJson();
    QTextCursor cursor(m_editor->document()->findBlockByNumber(1));
    m_editor->setTextCursor(cursor);
    QCOMPARE(combo()->currentIndex(), 0);
    QVERIFY(action("checkboxListAction")->isChecked());

    cursor = QTextCursor(m_editor->document()->firstBlock());
    cursor.movePosition(QTextCursor::Right);
    m_editor->setTextCursor(cursor);
    QCOMPARE(combo()->currentIndex(), 2);
    QVERIFY(!action("checkboxListAction")->isChecked());
    QCOMPARE(m_editor->toDeltaJson(), before);
}

void TestEditorToolbar::tableActionDisabledInTable()
{
    QTextCursor cursor(m_editor->document()->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock);
    m_editor->setTextCursor(cursor);
    m_editor->insertTable(2, 2, false);

    QAction *table = action("tableAction");
    QVERIFY(!table->isEnabled());
    QCOMPARE(table->toolTip(), QStringLiteral("Nested tables are not supported"));

    m_editor->setTextCursor(QTextCursor(m_editor->document()->firstBlock()));
    QVERIFY(table->isEnabled());
    QCOMPARE(table->toolTip(), QStringLiteral("Insert Table (Ctrl+T)"));
}

void TestEditorToolbar::actionsRunEditorCommands()
{
    QTextCursor cursor(m_editor->document()->findBlockByNumber(2));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(cursor);

    action("boldAction")->trigger();
    QVERIFY(action("boldAction")->isChecked());
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral(R"({"attributes":{"bold":true},"insert":"Plain"})")));
    action("boldAction")->trigger();
    QVERIFY(!action("boldAction")->isChecked());
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral(R"({"insert":"Plain"})")));

    action("bulletListAction")->trigger();
    QVERIFY(action("bulletListAction")->isChecked());
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral("\"list\":\"bullet\"")));

    action("alignRightAction")->trigger();
    QVERIFY(action("alignRightAction")->isChecked());
    QVERIFY(!action("alignLeftAction")->isChecked());
    QCOMPARE(m_editor->textCursor().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignRight);

    const int blocks = m_editor->document()->blockCount();
    action("dividerAction")->trigger();
    QVERIFY(m_editor->document()->blockCount() > blocks);
}

void TestEditorToolbar::headingChoiceReachesEditor()
{
    QTextCursor cursor(m_editor->document()->findBlockByNumber(2));
    m_editor->setTextCursor(cursor);
    QCOMPARE(combo()->currentIndex(), 0);

    // Keyboard choice in the combo is a user choice, as a click would be.
    QTest::keyClick(combo(), Qt::Key_Down);
    QCOMPARE(combo()->currentIndex(), 1);
    QCOMPARE(m_editor->document()->findBlockByNumber(2).text(), QStringLiteral("Plain"));
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral("\"header\":1")));
}

void TestEditorToolbar::linkActionUsesEditorDialog()
{
    int prompts = 0;
    m_editor->setLinkPrompt([&prompts](const QString &, const QString &, const QString &) {
        ++prompts;
        return std::optional<NoteEditor::LinkInput>(NoteEditor::LinkInput{
            QStringLiteral("site"), QStringLiteral("https://example.org")});
    });
    action("linkAction")->trigger();
    QCOMPARE(prompts, 1);
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral("https://example.org")));
}

void TestEditorToolbar::unboundToolbarIgnoresActions()
{
    EditorToolbar unbound;
    QVERIFY(!unbound.editor());
    for (QAction *each : unbound.actions()) {
        if (!each->isSeparator() && each->objectName() != QLatin1String("tableAction"))
            each->trigger();
    }
    unbound.findChild<QAction *>(QStringLiteral("tableAction"))->trigger();
    QTest::keyClick(unbound.findChild<QComboBox *>(), Qt::Key_Down);
}

void TestEditorToolbar::rebindingDropsPreviousEditor()
{
    NoteEditor second;
    second.loadNote(NoteId, QStringLiteral(R"([{"insert":"Other\n"}])"), true);
    const QString firstBefore = m_editor->toDeltaJson();
    m_toolbar->bindEditor(&second);

    emitState(*m_editor, true, false, false, false, false, 0, QString(), false, false, false, Qt::AlignLeft);
    QVERIFY(!action("boldAction")->isChecked());
    emitState(second, true, false, false, false, false, 0, QString(), false, false, false, Qt::AlignLeft);
    QVERIFY(action("boldAction")->isChecked());

    action("blockquoteAction")->trigger();
    QCOMPARE(m_editor->toDeltaJson(), firstBefore);
    QVERIFY(second.toDeltaJson().contains(QStringLiteral("blockquote")));

    QVERIFY(!action("boldAction")->isChecked());
    m_toolbar->bindEditor(nullptr);
    emitState(second, true, false, false, false, false, 0, QString(), false, false, false, Qt::AlignLeft);
    QVERIFY(!action("boldAction")->isChecked());
}

void TestEditorToolbar::deletedEditorIsForgotten()
{
    m_editor.reset();
    QVERIFY(!m_toolbar->editor());
    action("boldAction")->trigger();
    action("alignCenterAction")->trigger();
    QTest::keyClick(combo(), Qt::Key_Down);
}

void TestEditorToolbar::iconsFollowPalette()
{
    auto ink = [this] {
        const QImage image = action("alignLeftAction")->icon().pixmap(QSize(16, 16), 2.0).toImage();
        return image.pixelColor(image.width() / 2, qRound(3.5 * 2)).rgb();
    };
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
    palette.setColor(QPalette::WindowText, QColor(0xF0, 0x40, 0x40));
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();
    QCOMPARE(QColor(ink()), QColor(0xF0, 0x40, 0x40));

    palette.setColor(QPalette::WindowText, QColor(0x30, 0x90, 0x30));
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();
    QCOMPARE(QColor(ink()), QColor(0x30, 0x90, 0x30));
}

QTEST_MAIN(TestEditorToolbar)
#include "tst_editortoolbar.moc"
