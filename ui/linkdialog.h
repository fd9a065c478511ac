#pragma once

#include "noteeditor.h"

#include <QDialog>
#include <optional>

class QLineEdit;

// Asks for a link's text and URL.
class LinkDialog : public QDialog
{
    Q_OBJECT

public:
    LinkDialog(const QString &title, const QString &text, const QString &url,
               QWidget *parent = nullptr);

    QString text() const;
    QString url() const;

    // The entered text and trimmed URL after OK; nothing on Cancel or a blank URL.
    std::optional<NoteEditor::LinkInput> result() const;

    static std::optional<NoteEditor::LinkInput> getLink(QWidget *parent, const QString &title,
                                                        const QString &text, const QString &url);

private:
    QLineEdit *m_textEdit = nullptr;
    QLineEdit *m_urlEdit = nullptr;
};
