#include "movetonotebookdialog.h"
#include "note.h"
#include "testsupport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

Notebook notebook(const QString &id, const QString &name, bool trashed = false)
{
    Notebook result;
    result.id = id;
    result.name = name;
    if (trashed)
        result.deletedAt = QDateTime::currentDateTimeUtc();
    return result;
}

QList<Notebook> sampleNotebooks()
{
    return {notebook(QStringLiteral("nb-a"), QStringLiteral("Archive")),
            notebook(QStringLiteral("nb-h"), QStringLiteral("Home")),
            notebook(QStringLiteral("nb-w"), QStringLiteral("Work"))};
}

void whenDialogShown(std::function<void(MoveToNotebookDialog *)> action)
{
    QTimer::singleShot(0, qApp, [action = std::move(action)] {
        auto *dialog = qobject_cast<MoveToNotebookDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            whenDialogShown(action);
            return;
        }
        action(dialog);
    });
}

QPushButton *okButton(const MoveToNotebookDialog *dialog)
{
    return dialog->buttonBox()->button(QDialogButtonBox::Ok);
}

int rowOf(const MoveToNotebookDialog &dialog, const QString &id)
{
    for (int row = 0; row < dialog.notebookList()->count(); ++row) {
        if (dialog.notebookList()->item(row)->data(Qt::UserRole).toString() == id)
            return row;
    }
    return -1;
}

} // namespace

class TestMoveToNotebookDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void okStartsDisabledDespiteFocus();
    void rowsMarkCurrentNotebook_data();
    void rowsMarkCurrentNotebook();
    void okFollowsCurrentRow();
    void currentNotebookCannotBeChosen();
    void doubleClickAccepts_data();
    void doubleClickAccepts();
    void askReturns_data();
    void askReturns();
    void emptyListOffersNothing();
    void filterNarrowsTheList_data();
    void filterNarrowsTheList();
};

void TestMoveToNotebookDialog::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestMoveToNotebookDialog::okStartsDisabledDespiteFocus()
{
    MoveToNotebookDialog dialog(sampleNotebooks(), QString());
    QVERIFY(!okButton(&dialog)->isEnabled());

    // Focus makes the first row current without choosing it: OK stays disabled.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QVERIFY(!okButton(&dialog)->isEnabled());
    QCOMPARE(dialog.selectedNotebookId(), QString());
}

void TestMoveToNotebookDialog::rowsMarkCurrentNotebook_data()
{
    QTest::addColumn<QString>("currentId");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<bool>>("enabled");

    QTest::newRow("in-notebook") << QStringLiteral("nb-h")
                                 << QStringList{"Archive", "Home (current)", "Work"}
                                 << QList<bool>{true, false, true};
    QTest::newRow("no-notebook") << QString() << QStringList{"Archive", "Home", "Work"}
                                 << QList<bool>{true, true, true};
    QTest::newRow("notebook-gone") << QStringLiteral("nb-x")
                                   << QStringList{"Archive", "Home", "Work"}
                                   << QList<bool>{true, true, true};
}

void TestMoveToNotebookDialog::rowsMarkCurrentNotebook()
{
    QFETCH(QString, currentId);
    QFETCH(QStringList, texts);
    QFETCH(QList<bool>, enabled);

    MoveToNotebookDialog dialog(sampleNotebooks(), currentId);
    const QListWidget *list = dialog.notebookList();
    QCOMPARE(list->count(), texts.size());
    const QStringList ids = {"nb-a", "nb-h", "nb-w"};
    for (int row = 0; row < list->count(); ++row) {
        QCOMPARE(list->item(row)->text(), texts.at(row));
        QCOMPARE(list->item(row)->data(Qt::UserRole).toString(), ids.at(row));
        QCOMPARE(list->item(row)->flags().testFlag(Qt::ItemIsEnabled), enabled.at(row));
    }
}

void TestMoveToNotebookDialog::okFollowsCurrentRow()
{
    MoveToNotebookDialog dialog(sampleNotebooks(), QStringLiteral("nb-h"));
    QListWidget *list = dialog.notebookList();
    QVERIFY(!okButton(&dialog)->isEnabled());

    list->setCurrentRow(rowOf(dialog, QStringLiteral("nb-w")));
    QVERIFY(okButton(&dialog)->isEnabled());
    QCOMPARE(dialog.selectedNotebookId(), QStringLiteral("nb-w"));

    list->setCurrentRow(-1);
    QVERIFY(!okButton(&dialog)->isEnabled());
    QCOMPARE(dialog.selectedNotebookId(), QString());
}

void TestMoveToNotebookDialog::currentNotebookCannotBeChosen()
{
    MoveToNotebookDialog dialog(sampleNotebooks(), QStringLiteral("nb-h"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QListWidget *list = dialog.notebookList();
    const int currentRow = rowOf(dialog, QStringLiteral("nb-h"));

    // By mouse.
    const QPoint centre = list->visualItemRect(list->item(currentRow)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QVERIFY(!okButton(&dialog)->isEnabled());

    // By keyboard from the row above, and forced programmatically: never returned.
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(dialog.selectedNotebookId() == QStringLiteral("nb-h"), false);
    list->setCurrentItem(list->item(currentRow), QItemSelectionModel::NoUpdate);
    QCOMPARE(dialog.selectedNotebookId(), QString());
    QVERIFY(!okButton(&dialog)->isEnabled());
}

void TestMoveToNotebookDialog::doubleClickAccepts_data()
{
    QTest::addColumn<QString>("clickedId");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("other-notebook") << QStringLiteral("nb-a") << true;
    QTest::newRow("current-notebook") << QStringLiteral("nb-h") << false;
}

void TestMoveToNotebookDialog::doubleClickAccepts()
{
    QFETCH(QString, clickedId);
    QFETCH(bool, accepted);

    MoveToNotebookDialog dialog(sampleNotebooks(), QStringLiteral("nb-h"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QListWidget *list = dialog.notebookList();
    const QPoint centre = list->visualItemRect(list->item(rowOf(dialog, clickedId))).center();
    // The widget variant of mouseDClick sends the double-click alone; a real one
    // follows a press.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);

    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(dialog.isVisible(), !accepted);
    if (accepted)
        QCOMPARE(dialog.selectedNotebookId(), clickedId);
}

void TestMoveToNotebookDialog::askReturns_data()
{
    QTest::addColumn<QString>("currentId");
    QTest::addColumn<QString>("chosenId");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("expected");

    QTest::newRow("chosen") << QStringLiteral("nb-h") << QStringLiteral("nb-w") << true
                            << QStringLiteral("nb-w");
    QTest::newRow("from-no-notebook") << QString() << QStringLiteral("nb-a") << true
                                      << QStringLiteral("nb-a");
    QTest::newRow("cancelled") << QStringLiteral("nb-h") << QStringLiteral("nb-w") << false
                               << QString();
    QTest::newRow("nothing-chosen") << QStringLiteral("nb-h") << QString() << true << QString();
}

void TestMoveToNotebookDialog::askReturns()
{
    QFETCH(QString, currentId);
    QFETCH(QString, chosenId);
    QFETCH(bool, accept);
    QFETCH(QString, expected);

    whenDialogShown([&](MoveToNotebookDialog *dialog) {
        if (!chosenId.isEmpty())
            dialog->notebookList()->setCurrentRow(rowOf(*dialog, chosenId));
        if (accept && okButton(dialog)->isEnabled())
            okButton(dialog)->click();
        else if (accept)
            dialog->accept(); // even a forced accept returns no id
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QCOMPARE(MoveToNotebookDialog::askMoveTarget(nullptr, sampleNotebooks(), currentId), expected);
}

void TestMoveToNotebookDialog::emptyListOffersNothing()
{
    QList<Notebook> notebooks = {notebook(QStringLiteral("nb-t"), QStringLiteral("Old"), true)};
    MoveToNotebookDialog dialog(notebooks, QString());
    QCOMPARE(dialog.notebookList()->count(), 0);
    QVERIFY(!okButton(&dialog)->isEnabled());
    QCOMPARE(dialog.selectedNotebookId(), QString());
}

// The filter hides rows by name; a single choosable match is chosen, a hidden choice is
// dropped, and the note's own notebook stays out of reach.
void TestMoveToNotebookDialog::filterNarrowsTheList_data()
{
    QTest::addColumn<QString>("chooseFirst");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("visible");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("empty-shows-all") << "" << "" << 3 << "";
    QTest::newRow("blank-shows-all") << "" << "   " << 3 << "";
    QTest::newRow("case-insensitive-single-match-chosen") << "" << "wORK" << 1 << "nb-w";
    QTest::newRow("several-matches-choose-nothing") << "" << "r" << 3 << "";
    QTest::newRow("current-notebook-does-not-count-as-a-choice") << "" << "o" << 2 << "nb-w";
    QTest::newRow("only-the-current-notebook-matches") << "" << "home" << 1 << "";
    QTest::newRow("hidden-choice-is-dropped") << "nb-a" << "work" << 1 << "nb-w";
    QTest::newRow("no-match") << "nb-a" << "zzz" << 0 << "";
}

void TestMoveToNotebookDialog::filterNarrowsTheList()
{
    QFETCH(QString, chooseFirst);
    QFETCH(QString, filter);
    QFETCH(int, visible);
    QFETCH(QString, chosen);
    MoveToNotebookDialog dialog(sampleNotebooks(), QStringLiteral("nb-h"));
    if (!chooseFirst.isEmpty()) {
        dialog.notebookList()->setCurrentRow(rowOf(dialog, chooseFirst));
        QCOMPARE(dialog.selectedNotebookId(), chooseFirst);
    }
    auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("notebookFilter"));
    QVERIFY(field);
    field->setText(filter);
    int shown = 0;
    for (int row = 0; row < dialog.notebookList()->count(); ++row)
        shown += dialog.notebookList()->item(row)->isHidden() ? 0 : 1;
    QCOMPARE(shown, visible);
    QCOMPARE(dialog.selectedNotebookId(), chosen);
    QCOMPARE(okButton(&dialog)->isEnabled(), !chosen.isEmpty());
}

QTEST_MAIN(TestMoveToNotebookDialog)
#include "tst_movetonotebookdialog.moc"
