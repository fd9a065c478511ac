#pragma once

#include "ioprompts.h"

class AppState;
class StatusBar;
class QWidget;

// The export flow both kinds of window run for one note: options, file name, export,
// and the outcome in the status bar or a warning box. Returns whether a file was written.
bool runNoteExport(QWidget *parent, AppState *state, const QString &noteId, StatusBar *statusBar,
                   const IoPrompts &prompts);
