#pragma once

#include <QString>

class QPrinter;
class QTextDocument;
class QWidget;
class StatusBar;

// Printing of a note's rich-text document, shared by the main window and the note
// windows. The editor's document is never printed itself: a prepared copy is.

// A print-ready copy of source, owned by the caller: document margin 36 and every
// pixel-sized font converted to points (pixels × 72 / 96), so that the page shows the
// text at the size seen on screen. Attachments are drawn as on screen when the source's
// layout has a handler for them.
QTextDocument *preparePrintDocument(const QTextDocument *source);

// Prints a prepared copy of document on printer.
void printPreparedDocument(const QTextDocument *document, QPrinter *printer);

// The "Print Note" dialog; on accept prints and shows "Printed %1" (title) for 3000 ms
// on statusBar when one is given.
void printNoteDocument(QTextDocument *document, const QString &title, QWidget *parent,
                       StatusBar *statusBar);

// The modal print preview titled "Print Preview — %1" (title), 900 by 700.
void previewNoteDocument(QTextDocument *document, const QString &title, QWidget *parent);
