#include "appstate.h"

#include "applog.h"
#include "attachmentrepository.h"
#include "database.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "samplenotes.h"
#include "snapshotrepository.h"
#include "thememanager.h"

namespace {
const QString lastNoteKey = QStringLiteral("lastNoteId");
const QString lastNotebookKey = QStringLiteral("lastNotebookId");
}

AppState::AppState(QObject *parent)
    : QObject(parent)
{
}

AppState::~AppState() = default;

bool AppState::initialize()
{
    m_database = new Database(this);
    const QString path = databasePath();
    qCInfo(lcApp) << "Opening database at:" << path;
    if (!m_database->open(path) || !m_database->migrate())
        return false;

    m_notes = new NoteRepository(m_database, this);
    m_notebooks = new NotebookRepository(m_database, this);
    m_preferences = new PreferencesRepository(m_database, this);
    m_snapshots = new SnapshotRepository(m_database, this);
    m_attachments = new AttachmentRepository(m_database, this);

    connect(m_notes, &NoteRepository::notesChanged, this, &AppState::notesChanged);
    connect(m_notebooks, &NotebookRepository::notebooksChanged, this, &AppState::notebooksChanged);
    connect(m_notes, &NoteRepository::noteDeleted, this, &AppState::noteDeletedExternally);
    connect(m_notes, &NoteRepository::notePurged, m_attachments, &AttachmentRepository::deleteForNote);

    m_themeManager = new ThemeManager(m_preferences, this);
    m_themeManager->setTheme(m_preferences->get(QStringLiteral("theme_mode"), QStringLiteral("system")));

    m_endpoints = ServiceEndpoints::fromEnvironment();
    qCInfo(lcApp) << "Auth:" << m_endpoints.authBaseUrl << "Account:" << m_endpoints.accountApiUrl
                  << "Sync:" << m_endpoints.syncApiUrl;

    if (const auto notebookId = m_preferences->find(lastNotebookKey))
        m_currentNotebookId = *notebookId;
    if (const auto noteId = m_preferences->find(lastNoteKey))
        m_currentNoteId = *noteId;

    createWelcomeNotes(*m_notes, *m_preferences);

    Q_EMIT databaseReady();
    return true;
}

void AppState::setCurrentNoteId(const QString &id)
{
    if (id == m_currentNoteId)
        return;
    m_currentNoteId = id;
    if (m_preferences)
        m_preferences->set(lastNoteKey, id);
    Q_EMIT currentNoteChanged(id);
}

void AppState::setCurrentNotebookId(const QString &id)
{
    if (id == m_currentNotebookId)
        return;
    m_currentNotebookId = id;
    if (m_preferences)
        m_preferences->set(lastNotebookKey, id);
    Q_EMIT currentNotebookChanged(id);
}

void AppState::notifyNoteUpdated(const QString &noteId, QObject *source)
{
    Q_EMIT noteUpdatedExternally(noteId, source);
}
