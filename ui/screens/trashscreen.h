#pragma once

#include <QSet>
#include <QString>
#include <QWidget>

#include <functional>

class AppState;
class NoteListWidget;
class QPushButton;

// The trashed notes, newest deletion first, to restore or delete for good.
//
// While it is shown it follows the repository: a note trashed or restored anywhere else
// appears or disappears at once. Only changes that touch the trash cause a reload, so
// typing in a note costs it one row lookup.
class TrashScreen : public QWidget
{
    Q_OBJECT

public:
    // Asks a Yes/No question; true for Yes. Tests replace the message box.
    using Question = std::function<bool(const QString &title, const QString &text)>;

    explicit TrashScreen(AppState *appState, QWidget *parent = nullptr);

    void reload();
    void setQuestion(Question question);

    NoteListWidget *noteList() const { return m_list; }
    QPushButton *restoreButton() const { return m_restoreButton; }
    QPushButton *deleteButton() const { return m_deleteButton; }
    QPushButton *emptyButton() const { return m_emptyButton; }

    void restoreSelected();
    void deleteSelected();
    void emptyTrash();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onNotesChanged();
    void fill(bool keepSelection);

    AppState *m_appState = nullptr;
    NoteListWidget *m_list = nullptr;
    QPushButton *m_restoreButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_emptyButton = nullptr;
    Question m_question;
    QSet<QString> m_listedIds;
    quint64 m_seenSerial = 0;
    bool m_writing = false; // our own batch of deletions; one reload follows it
};
