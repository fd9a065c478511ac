#include "noteexportflow.h"

#include "appstate.h"
#include "attachmentrepository.h"
#include "noteexporter.h"
#include "noterepository.h"
#include "statusbar.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

constexpr int MessageTimeoutMs = 3000;

QString tr(const char *text)
{
    return QCoreApplication::translate("NoteExportFlow", text);
}

QString filterFor(int format, bool bundle)
{
    if (bundle)
        return tr("ZIP Archive (*.zip)");
    switch (format) {
    case ExportHtml:
        return tr("HTML (*.html)");
    case ExportPdf:
        return tr("PDF (*.pdf)");
    default:
        return tr("Markdown (*.md)");
    }
}

} // namespace

bool runNoteExport(QWidget *parent, AppState *state, const QString &noteId, StatusBar *statusBar,
                   const IoPrompts &given)
{
    if (!state || noteId.isEmpty())
        return false;
    const std::optional<Note> note = state->notes()->findById(noteId);
    if (!note)
        return false;
    const IoPrompts prompts = given.withDefaults();
    const std::optional<IoPrompts::ExportChoice> choice = prompts.exportOptions(parent);
    if (!choice)
        return false;
    QString suggested = suggestedFileName(*note, choice->format);
    if (choice->includeAttachments)
        suggested = QFileInfo(suggested).completeBaseName() + QStringLiteral(".zip");
    const QString path = prompts.saveFile(parent, tr("Export Note"), suggested,
                                          filterFor(choice->format, choice->includeAttachments));
    if (path.isEmpty())
        return false;
    const ExportResult result = exportNote(*note, path, choice->format, choice->includeAttachments,
                                           state->attachments());
    if (!result.ok) {
        prompts.warn(parent, tr("Export Failed"), result.error);
        return false;
    }
    if (statusBar)
        statusBar->showToast(tr("Exported to %1").arg(result.path), MessageTimeoutMs);
    return true;
}
