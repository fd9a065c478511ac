#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class NoteRepository;
class PreferencesRepository;

// Content for a new user: the welcome notes written on the first start and the
// sample notes a developer can load from the Help menu.

// One entry of the sample-note table: how many days before today the note is
// dated, and its text in the small Markdown subset sampleMarkdownToDelta reads.
struct SampleNoteEntry
{
    int daysAgo = 0;
    QString markdown;
};

// Writes the three welcome notes once: only while "has_seen_welcome" is false,
// which is set afterwards even when an insert failed so a broken database does not
// collect a partial set on every start. Returns whether every insert succeeded
// (true when there was nothing to do).
bool createWelcomeNotes(NoteRepository &notes, PreferencesRepository &preferences);

// Inserts the seven sample notes spread over the last four weeks; returns how many
// were stored. Existing notes are left alone, so loading twice stores them twice.
int insertSampleNotes(NoteRepository &notes);

// Headings, lists, quotes, bold and italic of a Markdown subset as compact Delta JSON.
QString sampleMarkdownToDelta(const QString &markdown);

// The welcome bodies (Delta JSON) in insertion order: Trip Packing List,
// Getting Started, Welcome to Ombrel Notes.
QStringList welcomeNoteBodies();

// The sample-note table in insertion order.
QList<SampleNoteEntry> sampleNoteEntries();
