#include "findbar.h"
#include "testsupport.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

class TestFindBar : public QObject
{
    Q_OBJECT

private:
    QLineEdit *field() const { return m_bar->findChild<QLineEdit *>(QStringLiteral("findField")); }
    QString selected() const { return m_editor->textCursor().selectedText(); }
    int selectionStart() const { return m_editor->textCursor().selectionStart(); }

    void showWindow()
    {
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    // Starts with the caret at the top, as a freshly opened note.
    void setText(const QString &text)
    {
        m_editor->setPlainText(text);
        m_editor->moveCursor(QTextCursor::Start);
    }

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        m_editor = new QTextEdit(m_window.get());
        m_bar = new FindBar(m_editor, m_window.get());
        layout->addWidget(m_editor);
        layout->addWidget(m_bar);
        m_window->resize(600, 400);
    }

    void cleanup() { m_window.reset(); }

    void countsMatches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("countText");

        QTest::newRow("case-insensitive-by-default") << "Foo foo FOO" << "foo" << false << 3 << "1 of 3";
        QTest::newRow("case-sensitive") << "Foo foo FOO" << "foo" << true << 1 << "1 of 1";
        QTest::newRow("no-match") << "alpha beta" << "gamma" << false << 0 << "No matches";
        QTest::newRow("empty-needle-shows-nothing") << "alpha" << "" << false << 0 << "";
        QTest::newRow("matches-do-not-overlap") << "aaaa" << "aa" << false << 2 << "1 of 2";
        QTest::newRow("every-line") << "x\nx\nx\nx" << "x" << false << 4 << "1 of 4";
        QTest::newRow("never-across-lines") << "ab\ncd" << "b\nc" << false << 0 << "No matches";
        QTest::newRow("regex-characters-are-literal") << "a(.*)b a.b" << "(.*)" << false << 1 << "1 of 1";
        QTest::newRow("non-breaking-space-matches-space") << QString::fromUtf8("one\u00A0two") << "one two" << false << 1 << "1 of 1";
        QTest::newRow("unicode-case-folding") << QString::fromUtf8("Ärger ärger") << QString::fromUtf8("ÄRGER") << false << 2 << "1 of 2";
    }

    void countsMatches()
    {
        QFETCH(QString, text);
        QFETCH(QString, needle);
        QFETCH(bool, caseSensitive);
        QFETCH(int, count);
        QFETCH(QString, countText);

        setText(text);
        m_bar->setCaseSensitive(caseSensitive);
        m_bar->activate();
        m_bar->setSearchText(needle);
        QCOMPARE(m_bar->matchCount(), count);
        QCOMPARE(m_bar->countText(), countText);
        QCOMPARE(m_bar->findChild<QLabel *>(QStringLiteral("findCount"))->text(), countText);
    }

    void nextAndPreviousWrapAround()
    {
        setText(QStringLiteral("cat dog cat dog cat"));
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("cat"));
        QCOMPARE(selectionStart(), 0);
        QCOMPARE(m_bar->countText(), QStringLiteral("1 of 3"));

        m_bar->findNext();
        QCOMPARE(selectionStart(), 8);
        m_bar->findNext();
        QCOMPARE(selectionStart(), 16);
        QCOMPARE(m_bar->countText(), QStringLiteral("3 of 3"));
        m_bar->findNext();
        QCOMPARE(selectionStart(), 0);
        QCOMPARE(m_bar->countText(), QStringLiteral("1 of 3"));

        m_bar->findPrevious();
        QCOMPARE(selectionStart(), 16);
        QCOMPARE(m_bar->countText(), QStringLiteral("3 of 3"));
        QCOMPARE(selected(), QStringLiteral("cat"));
    }

    void searchStartsAtTheCaret()
    {
        setText(QStringLiteral("cat dog cat dog cat"));
        QTextCursor cursor = m_editor->textCursor();
        cursor.setPosition(5);
        m_editor->setTextCursor(cursor);
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("cat"));
        QCOMPARE(m_bar->countText(), QStringLiteral("2 of 3"));
        QCOMPARE(selectionStart(), 8);
    }

    void nextFollowsACaretTheUserMoved()
    {
        setText(QStringLiteral("cat dog cat dog cat"));
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("cat"));
        QTextCursor cursor = m_editor->textCursor();
        cursor.setPosition(12);
        m_editor->setTextCursor(cursor);
        m_bar->findNext();
        QCOMPARE(selectionStart(), 16);
        cursor.setPosition(12);
        m_editor->setTextCursor(cursor);
        m_bar->findPrevious();
        QCOMPARE(selectionStart(), 8);
    }

    void keysStepThroughMatches()
    {
        showWindow();
        setText(QStringLiteral("one two one two one"));
        m_bar->activate();
        QTest::keyClicks(field(), QStringLiteral("one"));
        QCOMPARE(selectionStart(), 0);
        QTest::keyClick(field(), Qt::Key_Return);
        QCOMPARE(selectionStart(), 8);
        QTest::keyClick(field(), Qt::Key_F3);
        QCOMPARE(selectionStart(), 16);
        QTest::keyClick(field(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(selectionStart(), 8);
        QTest::keyClick(field(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(selectionStart(), 0);
        QTest::keyClick(field(), Qt::Key_Enter);
        QCOMPARE(selectionStart(), 8);
    }

    void barKeysWinOverWindowShortcuts()
    {
        auto *windowFind = new QAction(m_window.get());
        windowFind->setShortcut(Qt::Key_F3);
        m_window->addAction(windowFind);
        QSignalSpy triggered(windowFind, &QAction::triggered);
        showWindow();
        setText(QStringLiteral("one two one"));
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("one"));
        QTest::keyClick(field(), Qt::Key_F3);
        QCOMPARE(triggered.count(), 0);
        QCOMPARE(selectionStart(), 8);
    }

    void escapeClosesAndReturnsFocusToTheEditor()
    {
        showWindow();
        setText(QStringLiteral("alpha beta alpha"));
        m_bar->activate();
        QVERIFY(m_bar->isVisible());
        QTRY_VERIFY(field()->hasFocus());
        QTest::keyClicks(field(), QStringLiteral("alpha"));
        QVERIFY(!m_editor->extraSelections().isEmpty());

        QSignalSpy closed(m_bar, &FindBar::closed);
        QTest::keyClick(field(), Qt::Key_Escape);
        QVERIFY(!m_bar->isVisible());
        QCOMPARE(closed.count(), 1);
        QTRY_VERIFY(m_editor->hasFocus());
        QVERIFY(m_editor->extraSelections().isEmpty());
    }

    void activateSelectsTheFieldText()
    {
        showWindow();
        setText(QStringLiteral("alpha"));
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("alp"));
        m_editor->setFocus();
        m_bar->activate();
        QTRY_VERIFY(field()->hasFocus());
        QCOMPARE(field()->selectedText(), QStringLiteral("alp"));
    }

    void prefillsFromASingleLineSelection_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("expected");
        // "first line\nsecond line"
        QTest::newRow("word") << 6 << 10 << "line";
        QTest::newRow("backwards-selection") << 10 << 6 << "line";
        QTest::newRow("across-lines-keeps-previous") << 6 << 14 << "previous";
        QTest::newRow("no-selection-keeps-previous") << 3 << 3 << "previous";
    }

    void prefillsFromASingleLineSelection()
    {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, expected);
        setText(QStringLiteral("first line\nsecond line"));
        m_bar->setSearchText(QStringLiteral("previous"));
        QTextCursor cursor = m_editor->textCursor();
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        m_editor->setTextCursor(cursor);
        m_bar->activate();
        QCOMPARE(m_bar->searchText(), expected);
    }

    void followsChangesToTheDocument()
    {
        setText(QStringLiteral("note one"));
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("one"));
        QCOMPARE(m_bar->matchCount(), 1);

        QTextCursor cursor(m_editor->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(QStringLiteral(" and one more, ONE"));
        QTRY_COMPARE(m_bar->matchCount(), 3);

        m_editor->setPlainText(QStringLiteral("nothing here"));
        QTRY_COMPARE(m_bar->countText(), QStringLiteral("No matches"));
    }

    void followsAReplacedDocument()
    {
        setText(QStringLiteral("one"));
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("two"));
        QCOMPARE(m_bar->matchCount(), 0);

        auto *document = new QTextDocument(m_editor);
        document->setPlainText(QStringLiteral("two two"));
        m_editor->setDocument(document);
        QTRY_COMPARE(m_bar->matchCount(), 2);
    }

    void keepsTheEditorsOwnExtraSelections()
    {
        setText(QStringLiteral("alpha beta alpha"));
        QTextEdit::ExtraSelection own;
        own.cursor = QTextCursor(m_editor->document());
        own.cursor.setPosition(6);
        own.cursor.setPosition(10, QTextCursor::KeepAnchor);
        own.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        m_editor->setExtraSelections({own});

        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("alpha"));
        QCOMPARE(m_editor->extraSelections().size(), 3);
        m_bar->findNext();
        QCOMPARE(m_editor->extraSelections().size(), 3);
        QCOMPARE(m_editor->extraSelections().first().cursor.selectedText(), QStringLiteral("beta"));

        m_bar->deactivate();
        const QList<QTextEdit::ExtraSelection> left = m_editor->extraSelections();
        QCOMPARE(left.size(), 1);
        QCOMPARE(left.first().cursor.selectedText(), QStringLiteral("beta"));
    }

    void highlightsAreCappedOnAHugeNote()
    {
        // About 1 MB of text with far more matches than are ever highlighted.
        const QString line = QStringLiteral("a b a b a b a b a b a b a b a b a b a b a b a b a b a b a b a b a b a b\n");
        setText(line.repeated(1024 * 1024 / line.size()));
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("a"));
        QCOMPARE(m_bar->matchCount(), FindBar::MaxMatches);
        QVERIFY(m_bar->isCapped());
        QCOMPARE(m_bar->countText(), QStringLiteral("1 of %1+").arg(FindBar::MaxMatches));
        QCOMPARE(m_editor->extraSelections().size(), FindBar::MaxMatches);
        m_bar->findPrevious();
        QCOMPARE(m_bar->currentMatch(), FindBar::MaxMatches - 1);
    }

    void buttonsStepAndAreDisabledWithoutMatches()
    {
        setText(QStringLiteral("x y x"));
        m_bar->activate();
        auto *next = m_bar->findChild<QToolButton *>(QStringLiteral("findNext"));
        auto *previous = m_bar->findChild<QToolButton *>(QStringLiteral("findPrevious"));
        m_bar->setSearchText(QStringLiteral("z"));
        QVERIFY(!next->isEnabled());
        QVERIFY(!previous->isEnabled());
        m_bar->setSearchText(QStringLiteral("x"));
        QVERIFY(next->isEnabled());
        next->click();
        QCOMPARE(selectionStart(), 4);
        previous->click();
        QCOMPARE(selectionStart(), 0);
    }

    void survivesItsEditorBeingDeleted()
    {
        setText(QStringLiteral("abc"));
        m_bar->activate();
        m_bar->setSearchText(QStringLiteral("b"));
        delete m_editor;
        m_editor = nullptr;
        m_bar->findNext();
        m_bar->setSearchText(QStringLiteral("c"));
        m_bar->deactivate();
        QCOMPARE(m_bar->matchCount(), 0);
    }

private:
    std::unique_ptr<QWidget> m_window;
    QTextEdit *m_editor = nullptr;
    FindBar *m_bar = nullptr;
};

QTEST_MAIN(TestFindBar)
#include "tst_findbar.moc"
