#include "noteheaderbar.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMetaMethod>
#include <QPalette>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <vector>

namespace {

const char *const AllSignals[] = {
    "focusToggleClicked()",      "notebookChipClicked()",   "copyAsPlainTextRequested()",
    "copyAsMarkdownRequested()", "copyAsHtmlRequested()",   "shareRequested()",
    "historyRequested()",        "includeInTodosToggled(bool)", "moveToNotebookRequested()",
    "exportRequested()",         "printRequested()",        "deleteRequested()",
};

QMetaMethod signalOf(const QObject *object, const char *signature)
{
    const QMetaObject *meta = object->metaObject();
    return meta->method(meta->indexOfSignal(QMetaObject::normalizedSignature(signature)));
}

QStringList menuTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("---") : action->text());
    return texts;
}

QAction *menuAction(const QToolButton *button, const QString &text)
{
    for (QAction *action : button->menu()->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// The colour of the most opaque pixel of an icon: what the glyph is drawn in.
QColor inkOf(const QIcon &icon)
{
    const QImage image = icon.pixmap(QSize(18, 18), 2.0).toImage().convertToFormat(QImage::Format_ARGB32);
    QColor best(Qt::transparent);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > best.alpha())
                best = pixel;
        }
    }
    return best;
}

// Palette change events are posted; deliver them before looking.
void applyPalette(const QColor &window, const QColor &windowText, const QColor &highlight)
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, windowText);
    palette.setColor(QPalette::Highlight, highlight);
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();
}

} // namespace

class TestNoteHeaderBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startsInItsDefaultState();
    void eachControlEmitsExactlyItsSignal_data();
    void eachControlEmitsExactlyItsSignal();
    void menusListTheirActions();
    void includeInTodosTogglesBothWays();
    void setIncludeInTodosIsSilent();
    void editableStates_data();
    void editableStates();
    void readOnlyNoteKeepsInfoSetAfterwards();
    void shareUnavailableHidesButton();
    void sharedRecoloursIconOnlyOnChange();
    void focusModeSwapsGlyph();
    void notebookName_data();
    void notebookName();
    void chipColoursFollowPalette_data();
    void chipColoursFollowPalette();
    void iconsFollowPaletteChange();
    void infoTextIsNotMarkup();

private:
    QToolButton *button(const char *name) const;

    std::unique_ptr<NoteHeaderBar> m_bar;
    QPalette m_originalPalette;
};

void TestNoteHeaderBar::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    m_originalPalette = QApplication::palette();
}

void TestNoteHeaderBar::init()
{
    m_bar = std::make_unique<NoteHeaderBar>();
}

void TestNoteHeaderBar::cleanup()
{
    m_bar.reset();
    QApplication::setPalette(m_originalPalette);
    QCoreApplication::processEvents();
}

QToolButton *TestNoteHeaderBar::button(const char *name) const
{
    return m_bar->findChild<QToolButton *>(QLatin1String(name));
}

void TestNoteHeaderBar::startsInItsDefaultState()
{
    QCOMPARE(m_bar->height(), 40);
    QCOMPARE(m_bar->minimumHeight(), 40);
    QCOMPARE(m_bar->maximumHeight(), 40);
    QCOMPARE(m_bar->findChild<QPushButton *>(QStringLiteral("notebookChip"))->text(),
             QStringLiteral("Unorganized"));
    QVERIFY(m_bar->findChild<QLabel *>(QStringLiteral("infoLabel"))->text().isEmpty());

    const std::vector<std::pair<const char *, QString>> toolTips = {
        {"sidebarToggle", QStringLiteral("Toggle sidebars (Ctrl+\\)")},
        {"copyButton", QStringLiteral("Copy\u2026")},
        {"shareButton", QStringLiteral("Share note")},
        {"historyButton", QStringLiteral("Version history")},
        {"moreButton", QStringLiteral("More actions")},
    };
    for (const auto &[name, toolTip] : toolTips) {
        QToolButton *tool = button(name);
        QVERIFY2(tool, name);
        QCOMPARE(tool->toolTip(), toolTip);
        QVERIFY(tool->isEnabled());
        QVERIFY(!tool->isHidden());
        QCOMPARE(tool->focusPolicy(), Qt::NoFocus);
        QCOMPARE(tool->iconSize(), QSize(18, 18));
        QVERIFY(!tool->icon().isNull());
    }
}

void TestNoteHeaderBar::eachControlEmitsExactlyItsSignal_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("menuItem");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("sidebar-toggle") << "sidebarToggle" << QString() << QByteArray("focusToggleClicked()");
    QTest::newRow("notebook-chip") << "notebookChip" << QString() << QByteArray("notebookChipClicked()");
    QTest::newRow("share") << "shareButton" << QString() << QByteArray("shareRequested()");
    QTest::newRow("history") << "historyButton" << QString() << QByteArray("historyRequested()");
    QTest::newRow("copy-plain") << "copyButton" << "Copy as Plain Text"
                                << QByteArray("copyAsPlainTextRequested()");
    QTest::newRow("copy-markdown") << "copyButton" << "Copy as Markdown"
                                   << QByteArray("copyAsMarkdownRequested()");
    QTest::newRow("copy-html") << "copyButton" << "Copy as HTML" << QByteArray("copyAsHtmlRequested()");
    QTest::newRow("move") << "moreButton" << "Move to Notebook\u2026"
                          << QByteArray("moveToNotebookRequested()");
    QTest::newRow("export") << "moreButton" << "Export\u2026" << QByteArray("exportRequested()");
    QTest::newRow("print") << "moreButton" << "Print\u2026" << QByteArray("printRequested()");
    QTest::newRow("trash") << "moreButton" << "Move to Trash" << QByteArray("deleteRequested()");
    QTest::newRow("todos") << "moreButton" << "Include in To-Dos"
                           << QByteArray("includeInTodosToggled(bool)");
}

void TestNoteHeaderBar::eachControlEmitsExactlyItsSignal()
{
    QFETCH(QString, control);
    QFETCH(QString, menuItem);
    QFETCH(QByteArray, signal);

    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const char *signature : AllSignals)
        spies.push_back(std::make_unique<QSignalSpy>(m_bar.get(), signalOf(m_bar.get(), signature)));

    if (menuItem.isEmpty()) {
        auto *clickable = m_bar->findChild<QAbstractButton *>(control);
        QVERIFY(clickable);
        clickable->click();
    } else {
        QAction *action = menuAction(m_bar->findChild<QToolButton *>(control), menuItem);
        QVERIFY(action);
        action->trigger();
    }

    for (size_t i = 0; i < spies.size(); ++i) {
        const bool expected = QMetaObject::normalizedSignature(AllSignals[i]) == signal;
        QVERIFY2(spies[i]->count() == (expected ? 1 : 0), AllSignals[i]);
    }
}

void TestNoteHeaderBar::menusListTheirActions()
{
    QCOMPARE(menuTexts(button("copyButton")->menu()),
             (QStringList{QStringLiteral("Copy as Plain Text"), QStringLiteral("Copy as Markdown"),
                          QStringLiteral("Copy as HTML")}));
    QCOMPARE(menuTexts(button("moreButton")->menu()),
             (QStringList{QStringLiteral("Include in To-Dos"), QStringLiteral("---"),
                          QStringLiteral("Move to Notebook\u2026"), QStringLiteral("Export\u2026"),
                          QStringLiteral("Print\u2026"), QStringLiteral("---"),
                          QStringLiteral("Move to Trash")}));
    QCOMPARE(button("copyButton")->popupMode(), QToolButton::InstantPopup);
    QCOMPARE(button("moreButton")->popupMode(), QToolButton::InstantPopup);
    QVERIFY(menuAction(button("moreButton"), QStringLiteral("Include in To-Dos"))->isCheckable());
}

void TestNoteHeaderBar::includeInTodosTogglesBothWays()
{
    QSignalSpy toggled(m_bar.get(), &NoteHeaderBar::includeInTodosToggled);
    QAction *action = menuAction(button("moreButton"), QStringLiteral("Include in To-Dos"));
    action->trigger();
    action->trigger();
    QCOMPARE(toggled.count(), 2);
    QCOMPARE(toggled.at(0).at(0).toBool(), true);
    QCOMPARE(toggled.at(1).at(0).toBool(), false);
}

void TestNoteHeaderBar::setIncludeInTodosIsSilent()
{
    QSignalSpy toggled(m_bar.get(), &NoteHeaderBar::includeInTodosToggled);
    QAction *action = menuAction(button("moreButton"), QStringLiteral("Include in To-Dos"));
    m_bar->setIncludeInTodos(true);
    QVERIFY(action->isChecked());
    m_bar->setIncludeInTodos(false);
    QVERIFY(!action->isChecked());
    QCOMPARE(toggled.count(), 0);

    // The menu still reports the user's own toggles afterwards.
    action->trigger();
    QCOMPARE(toggled.count(), 1);
}

void TestNoteHeaderBar::editableStates_data()
{
    QTest::addColumn<bool>("editable");
    QTest::addColumn<bool>("shareAvailable");
    QTest::addColumn<bool>("shareEnabled");

    QTest::newRow("editable-shareable") << true << true << true;
    QTest::newRow("editable-no-sharing") << true << false << false;
    QTest::newRow("read-only-shareable") << false << true << false;
    QTest::newRow("read-only-no-sharing") << false << false << false;
}

void TestNoteHeaderBar::editableStates()
{
    QFETCH(bool, editable);
    QFETCH(bool, shareAvailable);
    QFETCH(bool, shareEnabled);

    // Both orders of the two setters must agree.
    for (int order = 0; order < 2; ++order) {
        m_bar->setInfoText(QStringLiteral("Updated just now"));
        if (order == 0) {
            m_bar->setShareAvailable(shareAvailable);
            m_bar->setNoteEditable(editable);
        } else {
            m_bar->setNoteEditable(!editable);
            m_bar->setShareAvailable(!shareAvailable);
            m_bar->setNoteEditable(editable);
            m_bar->setShareAvailable(shareAvailable);
        }
        QCOMPARE(button("copyButton")->isEnabled(), editable);
        QCOMPARE(button("historyButton")->isEnabled(), editable);
        QCOMPARE(button("moreButton")->isEnabled(), editable);
        QCOMPARE(m_bar->findChild<QPushButton *>(QStringLiteral("notebookChip"))->isEnabled(), editable);
        QCOMPARE(button("shareButton")->isEnabled(), shareEnabled);
        QCOMPARE(button("shareButton")->isHidden(), !shareAvailable);
        QVERIFY(button("sidebarToggle")->isEnabled());
        if (order == 0)
            QCOMPARE(m_bar->findChild<QLabel *>(QStringLiteral("infoLabel"))->text().isEmpty(), !editable);
    }
}

void TestNoteHeaderBar::readOnlyNoteKeepsInfoSetAfterwards()
{
    m_bar->setInfoText(QStringLiteral("Updated 5m ago"));
    m_bar->setNoteEditable(false);
    QVERIFY(m_bar->findChild<QLabel *>(QStringLiteral("infoLabel"))->text().isEmpty());
    m_bar->setInfoText(QStringLiteral("Shared by Ann"));
    QCOMPARE(m_bar->findChild<QLabel *>(QStringLiteral("infoLabel"))->text(), QStringLiteral("Shared by Ann"));
}

void TestNoteHeaderBar::shareUnavailableHidesButton()
{
    m_bar->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_bar.get()));
    m_bar->setShareAvailable(false);
    QVERIFY(!button("shareButton")->isVisible());
    m_bar->setShareAvailable(true);
    QVERIFY(button("shareButton")->isVisible());
    QVERIFY(button("shareButton")->isEnabled());
}

void TestNoteHeaderBar::sharedRecoloursIconOnlyOnChange()
{
    applyPalette(QColor(0xF5, 0xF5, 0xF5), QColor(0x10, 0x10, 0x10),
                                         QColor(0xE0, 0x20, 0x20));
    QToolButton *share = button("shareButton");
    QCOMPARE(inkOf(share->icon()), QColor(0x10, 0x10, 0x10));

    m_bar->setShared(true);
    QCOMPARE(share->toolTip(), QStringLiteral("Manage sharing"));
    QCOMPARE(inkOf(share->icon()), QColor(0xE0, 0x20, 0x20));
    const qint64 sharedKey = share->icon().cacheKey();
    m_bar->setShared(true);
    QCOMPARE(share->icon().cacheKey(), sharedKey);

    m_bar->setShared(false);
    QCOMPARE(share->toolTip(), QStringLiteral("Share note"));
    QCOMPARE(inkOf(share->icon()), QColor(0x10, 0x10, 0x10));
}

void TestNoteHeaderBar::focusModeSwapsGlyph()
{
    QToolButton *toggle = button("sidebarToggle");
    const QImage sidebar = toggle->icon().pixmap(18, 18).toImage();
    m_bar->setFocusMode(true);
    const QImage focus = toggle->icon().pixmap(18, 18).toImage();
    QVERIFY(focus != sidebar);
    m_bar->setFocusMode(false);
    QCOMPARE(toggle->icon().pixmap(18, 18).toImage(), sidebar);
}

void TestNoteHeaderBar::notebookName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");

    QTest::newRow("named") << "Work" << "Work";
    QTest::newRow("empty") << QString() << "Unorganized";
    QTest::newRow("ampersand") << "R&D" << "R&D";
}

void TestNoteHeaderBar::notebookName()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    m_bar->setNotebookName(QStringLiteral("Previous"));
    m_bar->setNotebookName(name);
    QCOMPARE(m_bar->findChild<QPushButton *>(QStringLiteral("notebookChip"))->text(), shown);
}

void TestNoteHeaderBar::chipColoursFollowPalette_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("text");

    QTest::newRow("light") << QColor(0xFF, 0xFF, 0xFF) << "#eff1f4" << "#2b3138";
    QTest::newRow("dark") << QColor(0x1E, 0x1E, 0x1E) << "#2a2d31" << "#d7dbe0";
    QTest::newRow("just-lighter-than-threshold") << QColor(0x1F, 0x1F, 0x1F) << "#eff1f4" << "#2b3138";
}

void TestNoteHeaderBar::chipColoursFollowPalette()
{
    QFETCH(QColor, window);
    QFETCH(QString, background);
    QFETCH(QString, text);

    applyPalette(window, Qt::gray, Qt::blue);
    const QString sheet = m_bar->findChild<QPushButton *>(QStringLiteral("notebookChip"))->styleSheet();
    QVERIFY2(sheet.contains(QStringLiteral("background-color: ") + background), qPrintable(sheet));
    QVERIFY2(sheet.contains(QStringLiteral("color: ") + text), qPrintable(sheet));
}

void TestNoteHeaderBar::iconsFollowPaletteChange()
{
    applyPalette(QColor(0xFA, 0xFA, 0xFA), QColor(0x20, 0x20, 0x20), Qt::blue);
    QCOMPARE(inkOf(button("historyButton")->icon()), QColor(0x20, 0x20, 0x20));
    applyPalette(QColor(0x1E, 0x1E, 0x1E), QColor(0xE8, 0xE8, 0xE8), Qt::blue);
    QCOMPARE(inkOf(button("historyButton")->icon()), QColor(0xE8, 0xE8, 0xE8));
    QCOMPARE(inkOf(button("moreButton")->icon()), QColor(0xE8, 0xE8, 0xE8));
    QCOMPARE(inkOf(button("sidebarToggle")->icon()), QColor(0xE8, 0xE8, 0xE8));
}

void TestNoteHeaderBar::infoTextIsNotMarkup()
{
    m_bar->setInfoText(QStringLiteral("<b>Updated</b> 5m ago"));
    QCOMPARE(m_bar->findChild<QLabel *>(QStringLiteral("infoLabel"))->textFormat(), Qt::PlainText);
}

QTEST_MAIN(TestNoteHeaderBar)
#include "tst_noteheaderbar.moc"
