#pragma once

#include <QString>

class AttachmentRepository;
struct Note;

// Export formats, as the export dialog returns them.
enum ExportFormat : int {
    ExportMarkdown = 0,
    ExportHtml = 1,
    ExportPdf = 2,
    ExportPlainText = 3,
};

struct ExportResult
{
    bool ok = false;
    QString path;
    QString error;
};

QString sanitizeFileName(const QString &name);
QString suggestedFileName(const Note &note, int format);
QString exportExtension(int format);

// Writes one note. With attachments known, images show in HTML (as data URIs) and PDF.
// includeAttachments writes a ZIP bundle instead, named like the note file with ".zip" in
// place of the format's extension: the note file, and "attachments/" holding the note's attachments under
// sanitised, de-duplicated names that the note file links to.
ExportResult exportNote(const Note &note, const QString &path, int format, bool includeAttachments,
                        const AttachmentRepository *attachments = nullptr);
