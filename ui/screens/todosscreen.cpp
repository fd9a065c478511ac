#include "todosscreen.h"

#include "appstate.h"
#include "noterepository.h"
#include "screenslog.h"
#include "tasklistmodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStyle>
#include <QVBoxLayout>

TodosScreen::TodosScreen(AppState *appState, QWidget *parent)
    : QWidget(parent)
    , m_appState(appState)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Sort:"), this));
    m_sortBox = new QComboBox(this);
    m_sortBox->setObjectName(QStringLiteral("todosSortBox"));
    m_sortBox->addItem(tr("Note Updated"), QStringLiteral("updated"));
    m_sortBox->addItem(tr("Alphabetical"), QStringLiteral("alpha"));
    m_sortBox->setCurrentIndex(0);
    row->addWidget(m_sortBox);
    m_showCompleted = new QCheckBox(tr("Show Completed"), this);
    m_showCompleted->setObjectName(QStringLiteral("todosShowCompleted"));
    row->addWidget(m_showCompleted);
    row->addStretch(1);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("todosFilter"));
    m_filter->setPlaceholderText(tr("Filter tasks..."));
    m_filter->setClearButtonEnabled(true);
    m_filter->setMaximumWidth(200);
    row->addWidget(m_filter);
    layout->addLayout(row);

    m_model = new TaskListModel(appState ? appState->notes() : nullptr, this);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("todosList"));
    m_list->setUniformItemSizes(true);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setModel(m_model);
    // One line of text or the check indicator, whichever is taller, with a little air.
    const int indicator = m_list->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, m_list);
    m_model->setRowHeight(qMax(m_list->fontMetrics().height(), indicator) + 6);
    layout->addWidget(m_list);

    connect(m_sortBox, &QComboBox::currentIndexChanged, this, &TodosScreen::refresh);
    connect(m_showCompleted, &QCheckBox::toggled, this, &TodosScreen::refresh);
    connect(m_filter, &QLineEdit::textChanged, this, &TodosScreen::refresh);
    connect(m_model, &TaskListModel::completionRequested, this, &TodosScreen::setCompleted);
    connect(m_list, &QListView::doubleClicked, this, &TodosScreen::openTaskNote);
    if (m_appState) {
        connect(m_appState, &AppState::notesChanged, this, [this] {
            if (isVisible())
                refresh();
        });
    }
}

TodosScreen::~TodosScreen() = default;

void TodosScreen::refresh()
{
    const auto order = m_sortBox->currentData().toString() == QLatin1String("alpha") ? TaskListModel::Alphabetical
                                                                                      : TaskListModel::NoteUpdated;
    m_model->refresh(order, m_showCompleted->isChecked(), m_filter->text().trimmed().toLower());
}

void TodosScreen::setCompleted(const QString &noteId, int lineIndex, bool completed)
{
    if (!m_appState || !m_appState->notes())
        return;
    std::optional<Note> note = m_appState->notes()->findById(noteId);
    if (!note)
        return;
    const QString body = setTaskCompleted(note->body, lineIndex, completed);
    if (body.isEmpty() || body == note->body) {
        qCDebug(lcScreens) << "Task left unchanged: line" << lineIndex << "of note" << noteId;
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    note->body = body;
    note->updatedAt = now;
    note->modifiedAt = now;
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    if (m_appState->notes()->update(*note))
        m_appState->notifyNoteUpdated(noteId, this);
}

void TodosScreen::openTaskNote(const QModelIndex &index)
{
    const QString noteId = index.data(Qt::UserRole).toString();
    if (!noteId.isEmpty() && m_appState)
        m_appState->openNoteWindow(noteId);
}
