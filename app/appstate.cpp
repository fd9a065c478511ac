#include "appstate.h"

#include "apiclient.h"
#include "applog.h"
#include "attachmentrepository.h"
#include "authstate.h"
#include "client.h"
#include "database.h"
#include "notebookrepository.h"
#include "notecounts.h"
#include "noterepository.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "samplenotes.h"
#include "snapshotrepository.h"
#include "thememanager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>
#include <QWidget>

namespace {
const QString lastNoteKey = QStringLiteral("lastNoteId");
const QString lastNotebookKey = QStringLiteral("lastNotebookId");
}

AppState::AppState(QObject *parent)
    : QObject(parent)
{
}

AppState::~AppState()
{
    // The windows outlive nothing they point at: cut them off first, then close them
    // while the repositories still exist so that they can save.
    const auto windows = std::exchange(m_noteWindows, {});
    for (const auto &[noteId, window] : windows) {
        if (!window)
            continue;
        window->disconnect(this);
        disconnect(this, nullptr, window, nullptr);
        window->close();
    }
}

bool AppState::initialize()
{
    const QString directory = dataDirectory();
    if (!QFileInfo(directory).isDir()) {
        m_initializationError = tr("The data directory %1 cannot be created.").arg(directory);
        qCCritical(lcApp).noquote() << m_initializationError;
        return false;
    }
    QString reason;
    const QString path = databasePath(&reason);
    if (path.isEmpty()) {
        m_initializationError = reason;
        qCCritical(lcApp).noquote() << reason;
        return false;
    }
    m_databaseFile = path;
    m_database = new Database(this);
    qCInfo(lcApp) << "Opening database at:" << path;
    if (!m_database->open(path) || !m_database->migrate()) {
        m_initializationError = m_database->errorText();
        return false;
    }

    // Counting every live note per notebook at each start would cost more than opening
    // the library; a read-only file is counted instead.
    if (!m_database->isReadOnly())
        NoteCounts::ensure(m_database->handle());

    if (m_database->isReadOnly()) {
        m_readOnly = true;
        m_readOnlyReason = tr("The database file %1 cannot be written.").arg(path);
        qCWarning(lcApp).noquote() << "Opened read-only:" << m_readOnlyReason;
    }

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

    OmbrAccount::ClientConfig config;
    config.authBaseUrl = m_endpoints.authBaseUrl;
    config.realmSlug = m_endpoints.realmSlug;
    config.accountApiUrl = m_endpoints.accountApiUrl;
    config.clientId = m_endpoints.clientId;
    config.appId = applicationId();
    config.appName = QStringLiteral("Ombrel Notes");
    config.appVersion = QCoreApplication::applicationVersion();
    config.accountPortalUrl = m_endpoints.accountPortalUrl;
    m_account = new OmbrAccount::Client(config, this);
    m_account->syncApi()->setBaseUrl(QUrl(m_endpoints.syncApiUrl));
    connect(m_account, &OmbrAccount::Client::authStateChanged, this, [this](OmbrAccount::AuthState state) {
        if (state == OmbrAccount::AuthState::Authenticated)
            return;
        if (m_canShare) {
            m_canShare = false;
            Q_EMIT canShareChanged(false);
        }
    });
    m_account->initialize();

    if (const auto notebookId = m_preferences->find(lastNotebookKey))
        m_currentNotebookId = *notebookId;
    if (const auto noteId = m_preferences->find(lastNoteKey))
        m_currentNoteId = *noteId;

    if (!m_readOnly)
        createWelcomeNotes(*m_notes, *m_preferences);

    Q_EMIT databaseReady();
    return true;
}

QString AppState::applicationId()
{
    return QStringLiteral("app.ombrel.notes");
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

void AppState::setReadOnly(const QString &reason)
{
    if (m_readOnly)
        return;
    m_readOnly = true;
    m_readOnlyReason = reason;
    qCWarning(lcApp).noquote() << "Library became read-only:" << reason;
    Q_EMIT readOnlyChanged(true);
}

void AppState::reportWriteFailure(const QSqlError &error)
{
    if (m_readOnly || !m_database)
        return;
    if (Database::isReadOnlyError(error) || !m_database->isWritable()) {
        setReadOnly(tr("The database file %1 cannot be written: %2.")
                        .arg(m_databaseFile, Database::describeWriteError(error)));
    }
}

void AppState::notifyNoteUpdated(const QString &noteId, QObject *source)
{
    Q_EMIT noteUpdatedExternally(noteId, source);
}

void AppState::setNoteWindowFactory(NoteWindowFactory factory)
{
    m_noteWindowFactory = std::move(factory);
}

QWidget *AppState::openNewNoteWindow()
{
    // Without a way to show it, the note would only be left behind empty.
    if (!m_notes || !m_noteWindowFactory)
        return nullptr;
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.notebookId = m_currentNotebookId;
    note.body = Note::emptyBody();
    note.createdAt = QDateTime::currentDateTimeUtc();
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    note.version = 1;
    note.opVersion = 0;
    note.syncStatus = SyncStatus::Pending;
    if (!m_notes->insert(note))
        return nullptr;
    openNoteWindow(note.id);
    return noteWindow(note.id);
}

void AppState::openNoteWindow(const QString &noteId)
{
    if (noteId.isEmpty())
        return;
    if (QWidget *window = noteWindow(noteId)) {
        window->raise();
        window->activateWindow();
        return;
    }
    if (!m_noteWindowFactory) {
        qCWarning(lcApp) << "No note window factory; cannot open note" << noteId;
        return;
    }
    QWidget *window = m_noteWindowFactory(this, noteId);
    if (!window)
        return;
    noteWindowClosed(noteId); // drops an entry whose window was deleted unannounced
    m_noteWindows.append({noteId, window});
    qCInfo(lcApp).noquote() << "Opened note window:" << noteId;
    window->show();
    window->raise();
    window->activateWindow();
}

QStringList AppState::openNoteWindowIds() const
{
    QStringList ids;
    for (const auto &[noteId, window] : m_noteWindows) {
        if (window)
            ids.append(noteId);
    }
    return ids;
}

QWidget *AppState::noteWindow(const QString &noteId) const
{
    for (const auto &[id, window] : m_noteWindows) {
        if (id == noteId)
            return window.data();
    }
    return nullptr;
}

void AppState::noteWindowClosed(const QString &noteId)
{
    m_noteWindows.removeIf([&noteId](const auto &entry) { return entry.first == noteId; });
}
