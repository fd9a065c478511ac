#pragma once

#include <QDialog>

class QCheckBox;
class QRadioButton;

// Asks for the export format and whether to bundle the note's attachments.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ExportDialog(QWidget *parent = nullptr);

    // 0 Markdown, 1 HTML, 2 PDF.
    int format() const;
    bool includeAttachments() const;

    QRadioButton *markdownButton() const { return m_markdown; }
    QRadioButton *htmlButton() const { return m_html; }
    QRadioButton *pdfButton() const { return m_pdf; }
    QCheckBox *attachmentsBox() const { return m_attachments; }

private:
    QRadioButton *m_markdown = nullptr;
    QRadioButton *m_html = nullptr;
    QRadioButton *m_pdf = nullptr;
    QCheckBox *m_attachments = nullptr;
};
