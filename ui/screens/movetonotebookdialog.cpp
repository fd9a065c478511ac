#include "movetonotebookdialog.h"

#include "note.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

MoveToNotebookDialog::MoveToNotebookDialog(const QList<Notebook> &notebooks,
                                           const QString &currentNotebookId, QWidget *parent)
    : QDialog(parent)
    , m_currentNotebookId(currentNotebookId)
{
    setWindowTitle(tr("Move to Notebook"));
    setMinimumSize(300, 250);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Select a notebook:"), this));

    // Hundreds of notebooks are found faster by name than by scrolling.
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("notebookFilter"));
    m_filter->setPlaceholderText(tr("Filter notebooks"));
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(m_filter);

    m_list = new QListWidget(this);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_list, 1);

    for (const Notebook &notebook : notebooks) {
        // A trashed notebook would hide the note it received.
        if (notebook.deletedAt.has_value())
            continue;
        auto *item = new QListWidgetItem(notebook.name, m_list);
        item->setData(Qt::UserRole, notebook.id);
        item->setToolTip(notebook.name);
        if (!currentNotebookId.isEmpty() && notebook.id == currentNotebookId) {
            item->setText(tr("%1 (current)").arg(notebook.name));
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        }
    }

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);

    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    connect(m_list, &QListWidget::currentItemChanged, this, &MoveToNotebookDialog::updateOkButton);
    connect(m_list, &QListWidget::itemSelectionChanged, this,
            &MoveToNotebookDialog::updateOkButton);
    connect(m_list, &QListWidget::itemDoubleClicked, this,
            &MoveToNotebookDialog::onItemDoubleClicked);
    connect(m_filter, &QLineEdit::textChanged, this, &MoveToNotebookDialog::applyFilter);
    m_list->setFocus();
}

void MoveToNotebookDialog::applyFilter(const QString &text)
{
    const QString needle = text.trimmed();
    QListWidgetItem *onlyMatch = nullptr;
    int matches = 0;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem *item = m_list->item(row);
        const bool shown = needle.isEmpty() || item->text().contains(needle, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && (item->flags() & Qt::ItemIsSelectable)) {
            ++matches;
            onlyMatch = item;
        }
    }
    // A hidden row must not stay chosen; a single match is chosen for Enter.
    if (m_list->currentItem() && m_list->currentItem()->isHidden())
        m_list->setCurrentItem(nullptr);
    if (matches == 1 && !needle.isEmpty()) {
        m_list->setCurrentItem(onlyMatch);
        onlyMatch->setSelected(true);
    }
    updateOkButton();
}

QString MoveToNotebookDialog::selectedNotebookId() const
{
    // Focus alone makes the first row current without selecting it; only a row the
    // user can see chosen counts.
    const QListWidgetItem *item = m_list->currentItem();
    if (!item || !item->isSelected())
        return {};
    const QString id = item->data(Qt::UserRole).toString();
    return id == m_currentNotebookId ? QString() : id;
}

void MoveToNotebookDialog::updateOkButton()
{
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!selectedNotebookId().isEmpty());
}

void MoveToNotebookDialog::onItemDoubleClicked(QListWidgetItem *item)
{
    if (item && item->data(Qt::UserRole).toString() != m_currentNotebookId
        && !item->data(Qt::UserRole).toString().isEmpty()) {
        m_list->setCurrentItem(item);
        accept();
    }
}

QString MoveToNotebookDialog::askMoveTarget(QWidget *parent, const QList<Notebook> &notebooks,
                                            const QString &currentNotebookId)
{
    MoveToNotebookDialog dialog(notebooks, currentNotebookId, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedNotebookId() : QString();
}
