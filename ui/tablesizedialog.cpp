#include "tablesizedialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QVBoxLayout>

TableSizeDialog::TableSizeDialog(QWidget *parent)
    : QDialog(parent)
    , m_header(new QCheckBox(tr("Include header row"), this))
    , m_rows(new QSpinBox(this))
    , m_columns(new QSpinBox(this))
{
    setWindowTitle(tr("Insert Table"));
    m_header->setChecked(true);
    m_rows->setRange(1, 100);
    m_rows->setValue(3);
    m_columns->setRange(1, 20);
    m_columns->setValue(3);

    auto *form = new QFormLayout;
    form->addRow(tr("Rows:"), m_rows);
    form->addRow(tr("Columns:"), m_columns);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

int TableSizeDialog::rows() const
{
    return m_rows->value();
}

int TableSizeDialog::columns() const
{
    return m_columns->value();
}

bool TableSizeDialog::hasHeader() const
{
    return m_header->isChecked();
}
