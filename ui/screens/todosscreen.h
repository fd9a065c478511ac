#pragma once

#include <QWidget>

class AppState;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListView;
class QModelIndex;
class TaskListModel;

// Every task found in the live notes, to filter, sort and tick off; double-clicking a
// task opens its note in a window of its own.
//
// The list is a view over TaskListModel with rows of one height: a large library holds
// hundreds of thousands of tasks, and rows of varying height would have the view measure
// every one of them after each change. Long texts are elided, with the full text as the
// row's tool tip.
class TodosScreen : public QWidget
{
    Q_OBJECT

public:
    explicit TodosScreen(AppState *appState, QWidget *parent = nullptr);
    ~TodosScreen() override;

    void refresh();

    QComboBox *sortBox() const { return m_sortBox; }
    QCheckBox *showCompletedBox() const { return m_showCompleted; }
    QLineEdit *filterField() const { return m_filter; }
    QListView *taskList() const { return m_list; }
    TaskListModel *model() const { return m_model; }

private:
    void setCompleted(const QString &noteId, int lineIndex, bool completed);
    void openTaskNote(const QModelIndex &index);

    AppState *m_appState = nullptr;
    QComboBox *m_sortBox = nullptr;
    QCheckBox *m_showCompleted = nullptr;
    QLineEdit *m_filter = nullptr;
    QListView *m_list = nullptr;
    TaskListModel *m_model = nullptr;
};
