#pragma once

#include <QDialog>

class QCheckBox;
class QSpinBox;

// Asks for the size of a new table and whether its first row is a header.
class TableSizeDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TableSizeDialog(QWidget *parent = nullptr);

    int rows() const;
    int columns() const;
    bool hasHeader() const;

private:
    QCheckBox *m_header = nullptr;
    QSpinBox *m_rows = nullptr;
    QSpinBox *m_columns = nullptr;
};
