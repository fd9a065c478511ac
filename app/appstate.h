#pragma once

#include "serviceendpoints.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

class AttachmentRepository;
class Database;
class NotebookRepository;
class NoteRepository;
class PreferencesRepository;
class SnapshotRepository;
class ThemeManager;
class QSqlError;
class QWidget;

namespace OmbrAccount {
class Client;
}

// The one central object every window receives: the database, the repositories and
// the services, the current note and notebook, and the relayed change signals.
class AppState : public QObject
{
    Q_OBJECT

public:
    explicit AppState(QObject *parent = nullptr);
    ~AppState() override;

    bool initialize();
    // Why initialize() failed (the driver's reason or a bad client id), and the database
    // file it was opening; for the start-up error box.
    QString initializationError() const { return m_initializationError; }
    QString databaseFile() const { return m_databaseFile; }

    // The reverse-domain identifier sent to the services and naming stored credentials.
    static QString applicationId();

    Database *database() const { return m_database; }
    NoteRepository *notes() const { return m_notes; }
    NotebookRepository *notebooks() const { return m_notebooks; }
    PreferencesRepository *preferences() const { return m_preferences; }
    SnapshotRepository *snapshots() const { return m_snapshots; }
    AttachmentRepository *attachments() const { return m_attachments; }
    ThemeManager *themeManager() const { return m_themeManager; }
    OmbrAccount::Client *account() const { return m_account; }
    const ServiceEndpoints &endpoints() const { return m_endpoints; }

    QString currentNoteId() const { return m_currentNoteId; }
    QString currentNotebookId() const { return m_currentNotebookId; }
    bool canShare() const { return m_canShare; }

    // A library whose file refuses writes (found at start, or by a failed save later):
    // the windows stop accepting edits that could not be stored.
    bool isReadOnly() const { return m_readOnly; }
    QString readOnlyReason() const { return m_readOnlyReason; }
    void setReadOnly(const QString &reason);
    // A note write failed: when the cause is a read-only file, the library turns read-only.
    void reportWriteFailure(const QSqlError &error);

    void setCurrentNoteId(const QString &id);
    void setCurrentNotebookId(const QString &id);

    // For changes made outside the main window's editor; source is the object that
    // made the change, so that it can ignore its own.
    void notifyNoteUpdated(const QString &noteId, QObject *source);

    // The note windows are widgets this library cannot name: the user interface registers
    // how to make one (a top-level window that deletes itself on close and reports its
    // close through noteWindowClosed).
    using NoteWindowFactory = std::function<QWidget *(AppState *state, const QString &noteId)>;
    void setNoteWindowFactory(NoteWindowFactory factory);

    // A new empty note in the current notebook, in a window of its own; nullptr when the
    // note could not be written or no window could be made.
    QWidget *openNewNoteWindow();
    // Raises the note's window when it is open, otherwise opens one. The id is not
    // checked against the database.
    void openNoteWindow(const QString &noteId);
    QStringList openNoteWindowIds() const;
    QWidget *noteWindow(const QString &noteId) const;
    void noteWindowClosed(const QString &noteId);

Q_SIGNALS:
    void databaseReady();
    void currentNotebookChanged(const QString &notebookId);
    void currentNoteChanged(const QString &noteId);
    void notesChanged();
    void notebooksChanged();
    void canShareChanged(bool canShare);
    void noteUpdatedExternally(const QString &noteId, QObject *source);
    void noteDeletedExternally(const QString &noteId);
    void readOnlyChanged(bool readOnly);

private:
    Database *m_database = nullptr;
    NoteRepository *m_notes = nullptr;
    NotebookRepository *m_notebooks = nullptr;
    PreferencesRepository *m_preferences = nullptr;
    SnapshotRepository *m_snapshots = nullptr;
    AttachmentRepository *m_attachments = nullptr;
    OmbrAccount::Client *m_account = nullptr;
    ThemeManager *m_themeManager = nullptr;
    ServiceEndpoints m_endpoints;
    QString m_initializationError;
    QString m_databaseFile;
    QString m_currentNotebookId;
    QString m_currentNoteId;
    bool m_canShare = false;
    bool m_readOnly = false;
    QString m_readOnlyReason;
    NoteWindowFactory m_noteWindowFactory;
    // In opening order, so that a restart restores them in the same order.
    QList<std::pair<QString, QPointer<QWidget>>> m_noteWindows;
};
