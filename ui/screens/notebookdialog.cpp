#include "notebookdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

NotebookDialog::NotebookDialog(const QString &title, const QString &initialText, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setMinimumWidth(350);

    m_nameEdit = new QLineEdit(initialText, this);
    m_nameEdit->setPlaceholderText(tr("Notebook name"));
    m_nameEdit->selectAll();

    auto *form = new QFormLayout;
    form->addRow(tr("Name:"), m_nameEdit);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);

    connect(m_nameEdit, &QLineEdit::textChanged, this, &NotebookDialog::updateOkButton);
    updateOkButton();
    m_nameEdit->setFocus();
}

QString NotebookDialog::name() const
{
    return m_nameEdit->text().trimmed();
}

void NotebookDialog::updateOkButton()
{
    // A name of blanks would come back empty, which callers read as a cancel, so it
    // never enables OK, not even as the initial text.
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!name().isEmpty());
}

QString NotebookDialog::askNewNotebookName(QWidget *parent)
{
    NotebookDialog dialog(tr("New Notebook"), QString(), parent);
    return dialog.exec() == QDialog::Accepted ? dialog.name() : QString();
}

QString NotebookDialog::askNotebookRename(QWidget *parent, const QString &currentName)
{
    NotebookDialog dialog(tr("Rename Notebook"), currentName, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.name() : QString();
}
