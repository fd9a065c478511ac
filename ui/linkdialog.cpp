#include "linkdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

LinkDialog::LinkDialog(const QString &title, const QString &text, const QString &url,
                       QWidget *parent)
    : QDialog(parent)
    , m_textEdit(new QLineEdit(text, this))
    , m_urlEdit(new QLineEdit(url, this))
{
    setWindowTitle(title);
    m_urlEdit->setMinimumWidth(360);

    auto *form = new QFormLayout;
    form->addRow(tr("Text:"), m_textEdit);
    form->addRow(tr("URL:"), m_urlEdit);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    if (text.isEmpty()) {
        m_textEdit->setFocus();
    } else {
        m_urlEdit->setFocus();
        m_urlEdit->selectAll();
    }
}

QString LinkDialog::text() const
{
    return m_textEdit->text();
}

QString LinkDialog::url() const
{
    return m_urlEdit->text();
}

std::optional<NoteEditor::LinkInput> LinkDialog::result() const
{
    const QString trimmed = url().trimmed();
    if (QDialog::result() != QDialog::Accepted || trimmed.isEmpty())
        return std::nullopt;
    return NoteEditor::LinkInput{text(), trimmed};
}

std::optional<NoteEditor::LinkInput> LinkDialog::getLink(QWidget *parent, const QString &title,
                                                         const QString &text, const QString &url)
{
    LinkDialog dialog(title, text, url, parent);
    dialog.exec();
    return dialog.result();
}
