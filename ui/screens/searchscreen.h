#pragma once

#include <QTimer>
#include <QWidget>

class AppState;
class NoteListWidget;
class QLineEdit;
class QPoint;

// Full-text search over every live note, in a window of its own beside the main window.
class SearchScreen : public QWidget
{
    Q_OBJECT

public:
    explicit SearchScreen(AppState *appState, QWidget *parent = nullptr);

    void runSearch();
    void focusSearch();

    QLineEdit *queryField() const { return m_queryField; }
    NoteListWidget *resultList() const { return m_list; }
    QTimer *debounceTimer() { return &m_debounce; }

public Q_SLOTS:
    void onContextMenu(const QPoint &globalPos);

private:
    AppState *m_appState = nullptr;
    QLineEdit *m_queryField = nullptr;
    NoteListWidget *m_list = nullptr;
    QTimer m_debounce;
};
