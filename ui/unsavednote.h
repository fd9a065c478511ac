#pragma once

#include <QString>

#include <functional>

class NoteEditor;
class QWidget;

// Text that could not be stored when its window closes or moves on to another note:
// the user decides, the application never drops it silently.
enum class UnsavedNoteChoice {
    KeepEditing,
    CopyAndDiscard,
    Discard,
};

using UnsavedNotePrompt = std::function<UnsavedNoteChoice(QWidget *parent, const QString &reason)>;

// The default prompt: a warning box with "Copy Text and Discard", "Discard" and
// "Keep Editing" (the default).
UnsavedNoteChoice askAboutUnsavedNote(QWidget *parent, const QString &reason);

// Runs the prompt; true when the window may go on without the text (copied to the
// clipboard first when asked), false to keep editing.
bool resolveUnsavedNote(QWidget *parent, NoteEditor *editor, const UnsavedNotePrompt &prompt,
                        const QString &reason);

// The status-bar text of a failed save.
QString notSavedText(const QString &reason);
