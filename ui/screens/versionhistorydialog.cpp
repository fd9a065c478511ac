#include "versionhistorydialog.h"

#include "appstate.h"
#include "attachmentrepository.h"
#include "note.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "screenslog.h"
#include "snapshotrepository.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QUuid>
#include <QVBoxLayout>

namespace {

// Key repeat through the list should not parse a large body per row passed.
constexpr int PreviewDelayMs = 60;

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

VersionHistoryDialog::VersionHistoryDialog(AppState *appState, const QString &noteId, QWidget *parent)
    : QDialog(parent)
    , m_appState(appState)
    , m_noteId(noteId)
{
    setWindowTitle(tr("Version History"));
    resize(800, 500);

    auto *outer = new QVBoxLayout(this);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(m_splitter);

    auto *panel = new QWidget(m_splitter);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    m_list = new QListWidget(panel);
    m_list->setObjectName(QStringLiteral("snapshotList"));
    panelLayout->addWidget(m_list);
    auto *buttons = new QHBoxLayout;
    m_saveButton = new QPushButton(tr("Save Snapshot Now"), panel);
    m_saveButton->setObjectName(QStringLiteral("saveSnapshotButton"));
    m_restoreButton = new QPushButton(tr("Restore Selected"), panel);
    m_restoreButton->setObjectName(QStringLiteral("restoreSnapshotButton"));
    m_restoreButton->setEnabled(false);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_restoreButton);
    panelLayout->addLayout(buttons);
    m_splitter->addWidget(panel);

    m_preview = new NoteEditor(m_splitter);
    m_preview->setObjectName(QStringLiteral("snapshotPreview"));
    if (m_appState)
        m_preview->setAttachmentRepository(m_appState->attachments());
    m_preview->setReadOnly(true);
    m_splitter->addWidget(m_preview);
    m_splitter->setSizes({250, 550});

    m_question = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    m_information = [this](const QString &title, const QString &text) {
        QMessageBox::information(this, title, text, QMessageBox::Ok);
    };

    m_previewTimer.setSingleShot(true);
    m_previewTimer.setInterval(PreviewDelayMs);
    connect(&m_previewTimer, &QTimer::timeout, this, &VersionHistoryDialog::loadPreview);
    connect(m_list, &QListWidget::currentRowChanged, this, &VersionHistoryDialog::onCurrentRowChanged);
    connect(m_saveButton, &QPushButton::clicked, this, &VersionHistoryDialog::saveSnapshotNow);
    connect(m_restoreButton, &QPushButton::clicked, this, &VersionHistoryDialog::restoreSelected);

    refill();
}

void VersionHistoryDialog::setQuestion(Question question)
{
    m_question = std::move(question);
}

void VersionHistoryDialog::setInformation(Information information)
{
    m_information = std::move(information);
}

void VersionHistoryDialog::refill()
{
    m_previewTimer.stop();
    m_list->clear();
    const QList<Snapshot> snapshots = m_appState && m_appState->snapshots()
        ? m_appState->snapshots()->snapshotHeadersForNote(m_noteId)
        : QList<Snapshot>();
    if (snapshots.isEmpty()) {
        m_list->addItem(tr("No snapshots yet. Press Ctrl+S to save one."));
        return;
    }
    // English month names whatever the system locale, like the rest of the dates shown.
    const QLocale c = QLocale::c();
    for (const Snapshot &snapshot : snapshots) {
        const QString when = c.toString(snapshot.createdAt.toLocalTime(), QStringLiteral("MMM d, yyyy h:mm AP"));
        auto *item = new QListWidgetItem(tr("v%1 — %2").arg(snapshot.version).arg(when), m_list);
        item->setData(Qt::UserRole, snapshot.id);
    }
}

void VersionHistoryDialog::onCurrentRowChanged(int row)
{
    m_restoreButton->setEnabled(row >= 0);
    if (row < 0) {
        m_previewTimer.stop();
        m_preview->clearNote();
        m_preview->setReadOnly(true);
        return;
    }
    m_previewTimer.start();
}

void VersionHistoryDialog::flushPreview()
{
    if (m_previewTimer.isActive()) {
        m_previewTimer.stop();
        loadPreview();
    }
}

void VersionHistoryDialog::loadPreview()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item || !m_appState || !m_appState->snapshots())
        return;
    const QString snapshotId = item->data(Qt::UserRole).toString();
    if (snapshotId.isEmpty())
        return;
    const std::optional<Snapshot> snapshot = m_appState->snapshots()->findById(snapshotId);
    if (!snapshot)
        return;
    m_preview->loadNote(QStringLiteral("preview"), snapshot->body, true);
    m_preview->setReadOnly(true);
}

void VersionHistoryDialog::saveSnapshotNow()
{
    if (!m_appState || !m_appState->notes() || !m_appState->snapshots())
        return;
    const std::optional<Note> note = m_appState->notes()->findById(m_noteId);
    if (!note)
        return;
    Snapshot snapshot;
    snapshot.id = newId();
    snapshot.noteId = note->id;
    snapshot.version = note->version;
    snapshot.body = note->body;
    snapshot.createdAt = QDateTime::currentDateTimeUtc();
    if (!m_appState->snapshots()->insert(snapshot))
        qCWarning(lcScreens) << "Could not save a snapshot of note" << m_noteId;
    refill();
}

void VersionHistoryDialog::restoreSelected()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item || !m_appState || !m_appState->notes() || !m_appState->snapshots())
        return;
    const QString snapshotId = item->data(Qt::UserRole).toString();
    if (snapshotId.isEmpty())
        return;
    const std::optional<Snapshot> chosen = m_appState->snapshots()->findById(snapshotId);
    if (!chosen || !m_question)
        return;
    if (!m_question(tr("Restore Snapshot"),
                    tr("Replace current content with this snapshot? A snapshot of the current content "
                       "will be saved first.")))
        return;

    std::optional<Note> note = m_appState->notes()->findById(m_noteId);
    if (!note) {
        refill();
        return;
    }
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        Snapshot current;
        current.id = newId();
        current.noteId = note->id;
        current.version = note->version;
        current.body = note->body;
        current.createdAt = now;
        // Without the safety copy the restore would destroy what the note holds now.
        if (!m_appState->snapshots()->insert(current)) {
            qCWarning(lcScreens) << "Restore cancelled: the current content of note" << m_noteId
                                 << "could not be snapshotted";
            refill();
            return;
        }
        note->body = chosen->body;
        note->updatedAt = now;
        note->modifiedAt = now;
        note->version += 1;
        note->syncStatus = SyncStatus::Pending;
        if (!m_appState->notes()->update(*note)) {
            refill();
            return;
        }
        m_appState->notifyNoteUpdated(m_noteId, this);
    }
    refill();
    if (m_information)
        m_information(tr("Restored"), tr("Snapshot restored successfully."));
}
