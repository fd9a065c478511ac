#include "notebookdialog.h"
#include "testsupport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs action on the modal dialog once it is shown.
void whenDialogShown(std::function<void(NotebookDialog *)> action)
{
    QTimer::singleShot(0, qApp, [action = std::move(action)] {
        auto *dialog = qobject_cast<NotebookDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            whenDialogShown(action);
            return;
        }
        action(dialog);
    });
}

// QTest::keyClicks only types ASCII.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

QPushButton *okButton(const NotebookDialog *dialog)
{
    return dialog->buttonBox()->button(QDialogButtonBox::Ok);
}

} // namespace

class TestNotebookDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void nameFieldLabelledAndFocused();
    void okFollowsTrimmedText_data();
    void okFollowsTrimmedText();
    void renameStartsWithNameSelected();
    void askReturns_data();
    void askReturns();
};

void TestNotebookDialog::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNotebookDialog::nameFieldLabelledAndFocused()
{
    NotebookDialog dialog(QStringLiteral("New Notebook"), QString());
    const auto *form = dialog.findChild<QFormLayout *>();
    QVERIFY(form);
    const auto *label = qobject_cast<QLabel *>(form->labelForField(dialog.nameField()));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Name:"));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.nameField());
}

void TestNotebookDialog::okFollowsTrimmedText_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<bool>("initiallyEnabled");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enabledAfterTyping");

    QTest::newRow("new-empty") << QString() << false << QString() << false;
    QTest::newRow("new-blanks") << QString() << false << QStringLiteral("   ") << false;
    QTest::newRow("new-unicode-blanks") << QString() << false << QStringLiteral("\u00a0\u3000")
                                        << false;
    QTest::newRow("new-name") << QString() << false << QStringLiteral(" Work ") << true;
    QTest::newRow("rename-kept") << QStringLiteral("Work") << true << QStringLiteral("Work") << true;
    QTest::newRow("rename-cleared") << QStringLiteral("Work") << true << QString() << false;
    QTest::newRow("rename-to-blanks") << QStringLiteral("Work") << true << QStringLiteral("  ")
                                      << false;
    QTest::newRow("blank-initial") << QStringLiteral("  ") << false << QStringLiteral("  x")
                                   << true;
}

void TestNotebookDialog::okFollowsTrimmedText()
{
    QFETCH(QString, initial);
    QFETCH(bool, initiallyEnabled);
    QFETCH(QString, typed);
    QFETCH(bool, enabledAfterTyping);

    NotebookDialog dialog(QStringLiteral("Notebook"), initial);
    QCOMPARE(okButton(&dialog)->isEnabled(), initiallyEnabled);

    // Type it, so that the change arrives the way the user makes it.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.nameField()->selectAll();
    QTest::keyClick(dialog.nameField(), Qt::Key_Backspace);
    typeText(dialog.nameField(), typed);
    QCOMPARE(dialog.nameField()->text(), typed);
    QCOMPARE(okButton(&dialog)->isEnabled(), enabledAfterTyping);
    QCOMPARE(dialog.name(), typed.trimmed());
}

void TestNotebookDialog::renameStartsWithNameSelected()
{
    NotebookDialog dialog(QStringLiteral("Rename Notebook"), QStringLiteral("Projects"));
    QCOMPARE(dialog.nameField()->text(), QStringLiteral("Projects"));
    QCOMPARE(dialog.nameField()->selectedText(), QStringLiteral("Projects"));
    QVERIFY(okButton(&dialog)->isEnabled());

    // Typing replaces the selected name.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    typeText(dialog.nameField(), QStringLiteral("Ideas"));
    QCOMPARE(dialog.nameField()->text(), QStringLiteral("Ideas"));
}

void TestNotebookDialog::askReturns_data()
{
    QTest::addColumn<bool>("rename");
    QTest::addColumn<QString>("currentName");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("expectedTitle");
    QTest::addColumn<QString>("expected");

    QTest::newRow("new-trimmed") << false << QString() << QStringLiteral("  Travel plans  ") << true
                                 << QStringLiteral("New Notebook") << QStringLiteral("Travel plans");
    QTest::newRow("new-cancelled") << false << QString() << QStringLiteral("Travel") << false
                                   << QStringLiteral("New Notebook") << QString();
    QTest::newRow("rename-new-name") << true << QStringLiteral("Work") << QStringLiteral("Office")
                                     << true << QStringLiteral("Rename Notebook")
                                     << QStringLiteral("Office");
    // The caller compares with the old name; the dialog hands it back unchanged.
    QTest::newRow("rename-same-name") << true << QStringLiteral("Work") << QString() << true
                                      << QStringLiteral("Rename Notebook") << QStringLiteral("Work");
    QTest::newRow("rename-cancelled") << true << QStringLiteral("Work") << QStringLiteral("Office")
                                      << false << QStringLiteral("Rename Notebook") << QString();
    QTest::newRow("rename-blanks-enter") << true << QStringLiteral("Work") << QStringLiteral("   ")
                                         << true << QStringLiteral("Rename Notebook") << QString();
}

void TestNotebookDialog::askReturns()
{
    QFETCH(bool, rename);
    QFETCH(QString, currentName);
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(QString, expectedTitle);
    QFETCH(QString, expected);

    QString seenTitle;
    whenDialogShown([&](NotebookDialog *dialog) {
        seenTitle = dialog->windowTitle();
        if (!typed.isEmpty()) {
            dialog->nameField()->selectAll();
            QTest::keyClick(dialog->nameField(), Qt::Key_Backspace);
            typeText(dialog->nameField(), typed);
        }
        if (!accept) {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else if (okButton(dialog)->isEnabled()) {
            okButton(dialog)->click();
        } else {
            // Return with OK disabled must not accept; cancel to end the test.
            QTest::keyClick(dialog->nameField(), Qt::Key_Return);
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    const QString result = rename ? NotebookDialog::askNotebookRename(nullptr, currentName)
                                  : NotebookDialog::askNewNotebookName(nullptr);
    QCOMPARE(seenTitle, expectedTitle);
    QCOMPARE(result, expected);
}

QTEST_MAIN(TestNotebookDialog)
#include "tst_notebookdialog.moc"
