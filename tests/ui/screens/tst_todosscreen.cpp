#include "appstate.h"
#include "database.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "notewindow.h"
#include "tasklistmodel.h"
#include "testsupport.h"
#include "todosscreen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTest>
#include <QUuid>

#include <memory>

namespace {

// One line of a body: plain text, a checklist line ("[ ]"/"[x]" prefix) or an empty line.
QJsonArray lineOps(const QString &line)
{
    QJsonArray ops;
    QString text = line;
    QString list;
    if (line.startsWith(QLatin1String("[ ] "))) {
        list = QStringLiteral("unchecked");
        text = line.mid(4);
    } else if (line.startsWith(QLatin1String("[x] "))) {
        list = QStringLiteral("checked");
        text = line.mid(4);
    }
    if (!text.isEmpty())
        ops.append(QJsonObject{{QStringLiteral("insert"), text}});
    QJsonObject end{{QStringLiteral("insert"), QStringLiteral("\n")}};
    if (!list.isEmpty())
        end.insert(QStringLiteral("attributes"), QJsonObject{{QStringLiteral("list"), list}});
    ops.append(end);
    return ops;
}

QString bodyOf(const QStringList &lines)
{
    QJsonArray ops;
    for (const QString &line : lines) {
        for (const QJsonValue &op : lineOps(line))
            ops.append(op);
    }
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

QStringList labelsOf(const QAbstractItemModel *model)
{
    QStringList labels;
    for (int row = 0; row < model->rowCount(); ++row)
        labels.append(model->index(row, 0).data().toString());
    return labels;
}

// Every row's identity and what it shows, for comparing two models.
QStringList rowsOf(const QAbstractItemModel *model)
{
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        rows.append(QStringLiteral("%1:%2:%3:%4")
                        .arg(index.data(Qt::UserRole).toString())
                        .arg(index.data(Qt::UserRole + 1).toInt())
                        .arg(index.data(Qt::CheckStateRole).toInt())
                        .arg(index.data().toString()));
    }
    return rows;
}

} // namespace

class TestTodosScreen : public QObject
{
    Q_OBJECT

private:
    QString addNote(const QStringList &lines, const QDateTime &updatedAt)
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = bodyOf(lines);
        note.createdAt = note.updatedAt = note.modifiedAt = updatedAt;
        if (!m_state->notes()->insert(note))
            return {};
        return note.id;
    }

    QDateTime minutesAgo(int minutes) const { return m_now.addSecs(-60 * minutes); }

    std::unique_ptr<TodosScreen> shownScreen()
    {
        auto screen = std::make_unique<TodosScreen>(m_state.get());
        screen->refresh();
        screen->resize(600, 500);
        screen->show();
        return screen;
    }

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    QDateTime m_now;

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_state->setNoteWindowFactory([](AppState *state, const QString &noteId) -> QWidget * {
            auto *window = new NoteWindow(state, noteId);
            QObject::connect(window, &NoteWindow::windowClosed, state, &AppState::noteWindowClosed);
            return window;
        });
        // The welcome notes hold tasks of their own.
        for (const Note &note : m_state->notes()->allNotes())
            QVERIFY(m_state->notes()->deletePermanently(note.id));
        m_now = QDateTime::currentDateTimeUtc();
    }

    void cleanup()
    {
        // Deleting a window deletes its menus, which are top-level widgets too.
        QList<QPointer<QWidget>> windows;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<NoteWindow *>(widget))
                windows.append(widget);
        }
        qDeleteAll(windows);
        m_state.reset();
        m_dataDir.reset();
    }

    void listFiltersAndSorts_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<bool>("showCompleted");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");

        const QString groceries = QStringLiteral("  — Groceries");
        const QString work = QStringLiteral("  — Work");
        QTest::newRow("newest-note-first-open-only")
            << "updated" << false << "" << QStringList{"call Bob" + work, "Apples" + groceries, "bread" + groceries};
        QTest::newRow("newest-note-first-with-completed")
            << "updated" << true << ""
            << QStringList{"Ship release" + work, "call Bob" + work, "Apples" + groceries, "bread" + groceries};
        QTest::newRow("alphabetical-ignores-case")
            << "alpha" << true << ""
            << QStringList{"Apples" + groceries, "bread" + groceries, "call Bob" + work, "Ship release" + work};
        QTest::newRow("filter-any-case-anywhere-in-text")
            << "updated" << true << "  BOB " << QStringList{"call Bob" + work};
        QTest::newRow("filter-ignores-the-title")
            << "updated" << true << "groceries" << QStringList{};
        QTest::newRow("filter-hides-completed-match")
            << "alpha" << false << "ship" << QStringList{};
    }

    void listFiltersAndSorts()
    {
        QFETCH(QString, order);
        QFETCH(bool, showCompleted);
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);

        QVERIFY(!addNote({"Groceries", "[ ] Apples", "[ ] bread"}, minutesAgo(30)).isEmpty());
        QVERIFY(!addNote({"Work", "[x] Ship release", "[ ] call Bob"}, minutesAgo(5)).isEmpty());
        QVERIFY(!addNote({"No tasks here", "just text"}, minutesAgo(1)).isEmpty());

        TodosScreen screen(m_state.get());
        screen.sortBox()->setCurrentIndex(screen.sortBox()->findData(order));
        screen.showCompletedBox()->setChecked(showCompleted);
        screen.filterField()->setText(filter);
        screen.refresh();
        QCOMPARE(labelsOf(screen.model()), expected);
    }

    void rowsCarryTheirSourceAndCheckability_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("source");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("completed");

        QTest::newRow("checklist-open") << "[ ] pay rent" << int(TaskSource::Checklist) << true << false;
        QTest::newRow("checklist-done") << "[x] pay rent" << int(TaskSource::Checklist) << true << true;
        QTest::newRow("markdown-open") << "- [ ] pay rent" << int(TaskSource::MarkdownCheckbox) << false << false;
        QTest::newRow("markdown-done") << "- [X] pay rent" << int(TaskSource::MarkdownCheckbox) << false << true;
        QTest::newRow("todo-prefix") << "todo: pay rent" << int(TaskSource::TodoPrefix) << false << false;
    }

    void rowsCarryTheirSourceAndCheckability()
    {
        QFETCH(QString, line);
        QFETCH(int, source);
        QFETCH(bool, checkable);
        QFETCH(bool, completed);

        const QString id = addNote({"Bills", line}, minutesAgo(1));
        TodosScreen screen(m_state.get());
        screen.showCompletedBox()->setChecked(true);
        screen.refresh();
        QCOMPARE(screen.model()->rowCount(), 1);
        const QModelIndex index = screen.model()->index(0, 0);
        QCOMPARE(index.data(Qt::UserRole).toString(), id);
        QCOMPARE(index.data(Qt::UserRole + 1).toInt(), 1);
        QCOMPARE(index.data(Qt::UserRole + 2).toInt(), source);
        QCOMPARE(bool(index.flags() & Qt::ItemIsUserCheckable), checkable);
        QCOMPARE(index.data(Qt::CheckStateRole).toInt(), int(completed ? Qt::Checked : Qt::Unchecked));
        QCOMPARE(index.data(Qt::FontRole).value<QFont>().strikeOut(), completed);
        QCOMPARE(index.data().toString(), QStringLiteral("pay rent  — Bills"));
    }

    // The title is the first line of the note; a blank one leaves the task text alone.
    void emptyTitleShowsNoSeparator()
    {
        addNote({"", "[ ] water plants"}, minutesAgo(1));
        TodosScreen screen(m_state.get());
        screen.refresh();
        QCOMPARE(labelsOf(screen.model()), QStringList{"water plants"});
    }

    void readOnlyTasksCannotBeTicked_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("markdown-checkbox") << "- [ ] renew passport";
        QTest::newRow("todo-prefix") << "TODO: renew passport";
    }

    void readOnlyTasksCannotBeTicked()
    {
        QFETCH(QString, line);
        const QString id = addNote({"Errands", line}, minutesAgo(1));
        const Note before = *m_state->notes()->findById(id);

        auto screen = shownScreen();
        const QModelIndex index = screen->model()->index(0, 0);
        QVERIFY(!screen->model()->setData(index, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(index.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        const Note after = *m_state->notes()->findById(id);
        QCOMPARE(after.body, before.body);
        QCOMPARE(after.version, before.version);
    }

    void tickingWritesTheNoteAndReloadsItsWindow()
    {
        const QString id = addNote({"Trip", "[ ] book hotel", "[ ] pack"}, minutesAgo(10));
        Note stored = *m_state->notes()->findById(id);
        stored.syncStatus = SyncStatus::Synced;
        QVERIFY(m_state->notes()->update(stored));
        m_state->openNoteWindow(id);
        auto *window = qobject_cast<NoteWindow *>(m_state->noteWindow(id));
        QVERIFY(window);

        const QString checked = QStringLiteral("\"list\":\"checked\"");
        QVERIFY(!window->editor()->toDeltaJson().contains(checked));

        auto screen = shownScreen();
        QCOMPARE(labelsOf(screen->model()), (QStringList{"book hotel  — Trip", "pack  — Trip"}));
        QSignalSpy external(m_state.get(), &AppState::noteUpdatedExternally);
        QVERIFY(screen->model()->setData(screen->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole));

        const Note after = *m_state->notes()->findById(id);
        QCOMPARE(after.body, bodyOf({"Trip", "[x] book hotel", "[ ] pack"}));
        QCOMPARE(after.version, stored.version + 1);
        QCOMPARE(after.syncStatus, SyncStatus::Pending);
        QVERIFY(after.updatedAt > stored.updatedAt);
        QCOMPARE(external.size(), 1);
        QCOMPARE(external.at(0).at(1).value<QObject *>(), screen.get());
        // The note window's editor shows the ticked line.
        QVERIFY(window->editor()->toDeltaJson().contains(checked));
        // With completed tasks hidden, the ticked task leaves the list at once.
        QCOMPARE(labelsOf(screen->model()), QStringList{"pack  — Trip"});
    }

    void hiddenScreenCatchesUpWhenRefreshed()
    {
        TodosScreen screen(m_state.get());
        screen.refresh();
        QCOMPARE(screen.model()->rowCount(), 0);
        addNote({"Later", "[ ] something new"}, minutesAgo(1));
        QCOMPARE(screen.model()->rowCount(), 0);
        screen.refresh();
        QCOMPARE(labelsOf(screen.model()), QStringList{"something new  — Later"});
    }

    // Incremental refreshes must end where a fresh build from the database ends.
    void followingChangesMatchesAFreshBuild_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<bool>("showCompleted");
        QTest::addColumn<QString>("filter");
        QTest::newRow("updated-open") << "updated" << false << "";
        QTest::newRow("updated-all") << "updated" << true << "";
        QTest::newRow("alpha-open") << "alpha" << false << "";
        QTest::newRow("alpha-all-filtered") << "alpha" << true << "a";
    }

    void followingChangesMatchesAFreshBuild()
    {
        QFETCH(QString, order);
        QFETCH(bool, showCompleted);
        QFETCH(QString, filter);

        const QStringList words{"alpha", "Bravo", "charlie", "Delta", "echo", "apple", "Banana"};
        QRandomGenerator random(7);
        const auto someLines = [&] {
            QStringList lines{words.at(random.bounded(int(words.size())))};
            const int count = random.bounded(5);
            for (int i = 0; i < count; ++i) {
                const QString word = words.at(random.bounded(int(words.size())));
                switch (random.bounded(4)) {
                case 0: lines.append("[ ] " + word); break;
                case 1: lines.append("[x] " + word); break;
                case 2: lines.append("TODO: " + word); break;
                default: lines.append(word); break;
                }
            }
            return lines;
        };
        QStringList ids;
        for (int i = 0; i < 12; ++i)
            ids.append(addNote(someLines(), minutesAgo(100 - i % 4)));

        auto screen = shownScreen();
        screen->sortBox()->setCurrentIndex(screen->sortBox()->findData(order));
        screen->showCompletedBox()->setChecked(showCompleted);
        screen->filterField()->setText(filter);
        NoteRepository *notes = m_state->notes();

        for (int step = 0; step < 60; ++step) {
            const QString id = ids.at(random.bounded(int(ids.size())));
            switch (random.bounded(6)) {
            case 0: ids.append(addNote(someLines(), minutesAgo(random.bounded(200)))); break;
            case 1: notes->moveToTrash(id); break;
            case 2: notes->restore(id); break;
            case 3: {
                std::optional<Note> note = notes->findById(id);
                if (note) {
                    note->body = bodyOf(someLines());
                    // Same instant as another note now and then: ties must stay ordered.
                    note->updatedAt = minutesAgo(random.bounded(3) * 50);
                    notes->update(*note);
                }
                break;
            }
            case 4: {
                const int rows = screen->model()->rowCount();
                if (rows > 0) {
                    const QModelIndex index = screen->model()->index(random.bounded(rows), 0);
                    const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
                    screen->model()->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
                }
                break;
            }
            default: notes->deletePermanently(id); break;
            }

            TodosScreen fresh(m_state.get());
            fresh.sortBox()->setCurrentIndex(fresh.sortBox()->findData(order));
            fresh.showCompletedBox()->setChecked(showCompleted);
            fresh.filterField()->setText(filter);
            fresh.refresh();
            QCOMPARE(rowsOf(screen->model()), rowsOf(fresh.model()));
        }
    }

    // The first load extracts on worker threads in batches; every note must come out as
    // extracting it alone gives, whichever batch and thread it went through.
    void parallelLoadMatchesExtractingEachNote()
    {
        QSqlDatabase db = m_state->database()->handle();
        QVERIFY(db.transaction());
        QHash<QString, QString> bodies;
        for (int i = 0; i < 2500; ++i) {
            QStringList lines{QStringLiteral("Note %1").arg(i)};
            for (int line = 0; line < i % 5; ++line)
                lines.append((line % 2 ? "[x] task " : "[ ] task ") + QString::number(i * 10 + line));
            if (i % 7 == 0)
                lines.append(QStringLiteral("TODO: follow up %1").arg(i));
            const QString id = addNote(lines, minutesAgo(i));
            QVERIFY(!id.isEmpty());
            bodies.insert(id, bodyOf(lines));
        }
        QVERIFY(db.commit());

        TaskCache cache(m_state->notes());
        cache.reload();
        qsizetype expectedTasks = 0;
        int notesWithTasks = 0;
        for (auto it = bodies.cbegin(); it != bodies.cend(); ++it) {
            const QList<Task> expected = extractTasks(it.key(), it.value(), {});
            expectedTasks += expected.size();
            notesWithTasks += expected.isEmpty() ? 0 : 1;
            const TaskCache::NoteTasks *entry = cache.find(it.key());
            QCOMPARE(entry != nullptr, !expected.isEmpty());
            if (!entry)
                continue;
            QCOMPARE(entry->tasks.size(), expected.size());
            for (qsizetype t = 0; t < expected.size(); ++t) {
                QCOMPARE(entry->tasks.at(t).text, expected.at(t).text);
                QCOMPARE(entry->tasks.at(t).lineIndex, expected.at(t).lineIndex);
                QCOMPARE(entry->tasks.at(t).isCompleted, expected.at(t).isCompleted);
            }
        }
        QCOMPARE(cache.taskCount(), expectedTasks);
        QCOMPARE(int(cache.entries().size()), notesWithTasks);
    }

    void doubleClickOpensTheNote()
    {
        const QString id = addNote({"Plans", "[ ] decide"}, minutesAgo(1));
        auto screen = shownScreen();
        QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
        QListView *list = screen->taskList();
        const QRect rect = list->visualRect(screen->model()->index(0, 0));
        QVERIFY2(rect.isValid(), "no layout yet");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QVERIFY(m_state->noteWindow(id));
    }
};

QTEST_MAIN(TestTodosScreen)
#include "tst_todosscreen.moc"
