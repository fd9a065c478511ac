#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>

class AppState;
class NoteEditor;
class QListWidget;
class QPushButton;
class QSplitter;

// The snapshots of one note: preview any of them, save one now, or restore one into the
// note after snapshotting what it holds at present.
//
// A note can have hundreds of snapshots of a large body, so rows are listed without
// bodies and a body is read only for the row being previewed; moving quickly through
// the list previews only the row it stops on.
class VersionHistoryDialog : public QDialog
{
    Q_OBJECT

public:
    // A Yes/No question (true for Yes) and an information box; tests replace both.
    using Question = std::function<bool(const QString &title, const QString &text)>;
    using Information = std::function<void(const QString &title, const QString &text)>;

    VersionHistoryDialog(AppState *appState, const QString &noteId, QWidget *parent = nullptr);

    QString noteId() const { return m_noteId; }
    QListWidget *snapshotList() const { return m_list; }
    QPushButton *saveButton() const { return m_saveButton; }
    QPushButton *restoreButton() const { return m_restoreButton; }
    NoteEditor *preview() const { return m_preview; }
    QSplitter *splitter() const { return m_splitter; }

    void setQuestion(Question question);
    void setInformation(Information information);

    void refill();
    void saveSnapshotNow();
    void restoreSelected();
    // Loads the selected row's body at once instead of after the pause.
    void flushPreview();

private:
    void onCurrentRowChanged(int row);
    void loadPreview();

    AppState *m_appState = nullptr;
    const QString m_noteId;
    QListWidget *m_list = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_restoreButton = nullptr;
    NoteEditor *m_preview = nullptr;
    QSplitter *m_splitter = nullptr;
    QTimer m_previewTimer;
    Question m_question;
    Information m_information;
};
