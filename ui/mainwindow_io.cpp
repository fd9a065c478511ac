#include "mainwindow.h"

#include "appstate.h"
#include "backup.h"
#include "importdialog.h"
#include "noteeditor.h"
#include "noteexportflow.h"
#include "statusbar.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QProgressDialog>

namespace {

constexpr int MessageTimeoutMs = 3000;

// A window-modal progress dialog fed by an io progress callback; the window keeps painting.
class OperationProgress
{
public:
    OperationProgress(QWidget *parent, const QString &title)
        : m_dialog(parent)
    {
        m_dialog.setWindowTitle(title);
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setCancelButton(nullptr);
        m_dialog.setMinimumDuration(0);
        m_dialog.setAutoClose(false);
        m_dialog.setRange(0, 0);
        m_dialog.setLabelText(title);
        m_dialog.show();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

    IoProgress callback()
    {
        return [this](int current, int total, const QString &message) {
            if (total > 0) {
                m_dialog.setRange(0, total);
                m_dialog.setValue(current);
                m_dialog.setLabelText(QCoreApplication::translate("MainWindow", "%1\n%2 of %3")
                                          .arg(message)
                                          .arg(current)
                                          .arg(total));
            } else {
                m_dialog.setLabelText(message);
            }
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        };
    }

private:
    QProgressDialog m_dialog;
};

} // namespace

void MainWindow::setIoPrompts(const IoPrompts &prompts)
{
    m_ioPrompts = prompts;
}

void MainWindow::addImportExportEntries(QMenu *fileMenu)
{
    // Ctrl+I is Italic, so Import takes Ctrl+Shift+I.
    QAction *importAction = fileMenu->addAction(tr("Import..."));
    importAction->setObjectName(QStringLiteral("importAction"));
    importAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+I")));
    connect(importAction, &QAction::triggered, this, &MainWindow::openImportDialog);

    QAction *exportAction = fileMenu->addAction(tr("Export..."));
    exportAction->setObjectName(QStringLiteral("exportAction"));
    exportAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    connect(exportAction, &QAction::triggered, this, [this] { exportOpenNote(false); });
}

void MainWindow::addBackupEntries(QMenu *fileMenu)
{
    QAction *backupAction = fileMenu->addAction(tr("Backup Database..."));
    backupAction->setObjectName(QStringLiteral("backupAction"));
    connect(backupAction, &QAction::triggered, this, &MainWindow::backupDatabase);
    QAction *restoreAction = fileMenu->addAction(tr("Restore Database..."));
    restoreAction->setObjectName(QStringLiteral("restoreAction"));
    connect(restoreAction, &QAction::triggered, this, &MainWindow::restoreDatabase);
}

ImportDialog *MainWindow::openImportDialog()
{
    auto *dialog = new ImportDialog(m_appState, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->show();
    return dialog;
}

void MainWindow::exportOpenNote(bool saveFirst)
{
    const QString noteId = m_editor->currentNoteId();
    if (noteId.isEmpty())
        return;
    if (saveFirst)
        saveCurrentNote();
    runNoteExport(this, m_appState, noteId, m_statusBar, m_ioPrompts);
}

void MainWindow::backupDatabase()
{
    const IoPrompts prompts = m_ioPrompts.withDefaults();
    const QString path = prompts.saveFile(this, tr("Save Backup"), QStringLiteral("ombrel-notes-backup.zip"),
                                          tr("ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    saveCurrentNote();
    BackupResult result;
    {
        OperationProgress progress(this, tr("Writing backup..."));
        result = createBackup(path, ioRepositories(), progress.callback());
    }
    if (result.errors > 0) {
        prompts.warn(this, tr("Backup Failed"), result.error);
        return;
    }
    m_statusBar->showToast(tr("Backup saved: %1 notes").arg(result.count), MessageTimeoutMs);
}

void MainWindow::restoreDatabase()
{
    const IoPrompts prompts = m_ioPrompts.withDefaults();
    const QString path = prompts.openFile(this, tr("Select Backup"), tr("ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    if (!prompts.confirm(this, tr("Restore Backup"),
                         tr("Import notes from backup? Existing notes with the same ID will be skipped.")))
        return;
    saveCurrentNote();
    BackupResult result;
    {
        OperationProgress progress(this, tr("Restoring backup..."));
        result = restoreBackup(path, ioRepositories(), 0, progress.callback());
    }
    QString text = tr("Imported: %1\nSkipped: %2\nErrors: %3").arg(result.count).arg(result.skipped).arg(result.errors);
    if (!result.error.isEmpty())
        text += QStringLiteral("\n\n") + result.error;
    prompts.inform(this, tr("Restore Complete"), text);
}

IoRepositories MainWindow::ioRepositories() const
{
    return IoRepositories{m_appState->database(), m_appState->notes(), m_appState->notebooks(),
                          m_appState->attachments()};
}
