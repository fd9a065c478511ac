#pragma once

#include <QDialog>
#include <QList>
#include <QString>

struct Notebook;
class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

// Picks the notebook a note moves to. The note's own notebook is shown but cannot be
// chosen; leaving a notebook is done by dropping the note on "All Notes".
class MoveToNotebookDialog : public QDialog
{
    Q_OBJECT

public:
    MoveToNotebookDialog(const QList<Notebook> &notebooks, const QString &currentNotebookId,
                         QWidget *parent = nullptr);

    // The id of the current, selected row; empty when there is none or it is the note's
    // own notebook.
    QString selectedNotebookId() const;
    QListWidget *notebookList() const { return m_list; }
    QDialogButtonBox *buttonBox() const { return m_buttons; }

    // Runs the dialog modally; the chosen notebook id on OK, the empty text otherwise.
    static QString askMoveTarget(QWidget *parent, const QList<Notebook> &notebooks,
                                 const QString &currentNotebookId);

private:
    void updateOkButton();
    void applyFilter(const QString &text);
    void onItemDoubleClicked(QListWidgetItem *item);

    QLineEdit *m_filter = nullptr;
    QListWidget *m_list = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QString m_currentNotebookId;
};
