#include "unsavednote.h"

#include "deltadocument.h"
#include "noteeditor.h"
#include "uilog.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("UnsavedNote", text);
}

} // namespace

UnsavedNoteChoice askAboutUnsavedNote(QWidget *parent, const QString &reason)
{
    QMessageBox box(QMessageBox::Warning, tr("Note Not Saved"),
                    tr("Your latest changes to this note could not be saved: %1.\n\n"
                       "Discard them, or keep editing and try again later?")
                        .arg(reason),
                    QMessageBox::NoButton, parent);
    QPushButton *copy = box.addButton(tr("Copy Text and Discard"), QMessageBox::DestructiveRole);
    QPushButton *discard = box.addButton(tr("Discard"), QMessageBox::DestructiveRole);
    QPushButton *keep = box.addButton(tr("Keep Editing"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() == copy)
        return UnsavedNoteChoice::CopyAndDiscard;
    if (box.clickedButton() == discard)
        return UnsavedNoteChoice::Discard;
    return UnsavedNoteChoice::KeepEditing;
}

bool resolveUnsavedNote(QWidget *parent, NoteEditor *editor, const UnsavedNotePrompt &prompt,
                        const QString &reason)
{
    const UnsavedNoteChoice choice = prompt ? prompt(parent, reason) : askAboutUnsavedNote(parent, reason);
    switch (choice) {
    case UnsavedNoteChoice::KeepEditing:
        return false;
    case UnsavedNoteChoice::CopyAndDiscard:
        QApplication::clipboard()->setText(editor->deltaDocument()->toPlainText());
        qCWarning(lcUi) << "Unsaved changes discarded after copying them to the clipboard:" << reason;
        return true;
    case UnsavedNoteChoice::Discard:
        qCWarning(lcUi) << "Unsaved changes discarded:" << reason;
        return true;
    }
    return false;
}

QString notSavedText(const QString &reason)
{
    return tr("Not saved: %1").arg(reason);
}
