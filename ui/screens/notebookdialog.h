#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLineEdit;

// Asks for a notebook name, for a new notebook or a rename. The caller makes the change.
class NotebookDialog : public QDialog
{
    Q_OBJECT

public:
    NotebookDialog(const QString &title, const QString &initialText, QWidget *parent = nullptr);

    // The entered name, trimmed.
    QString name() const;
    QLineEdit *nameField() const { return m_nameEdit; }
    QDialogButtonBox *buttonBox() const { return m_buttons; }

    // Both run the dialog modally; they return the trimmed name on OK and the empty
    // text when cancelled.
    static QString askNewNotebookName(QWidget *parent);
    static QString askNotebookRename(QWidget *parent, const QString &currentName);

private:
    void updateOkButton();

    QLineEdit *m_nameEdit = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};
