#include "deltadocument.h"
#include "noteeditor.h"
#include "testsupport.h"
#include "thememanager.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <cmath>
#include <memory>

namespace {

double luminance(const QColor &colour)
{
    const auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Every kind of text a note can show.
const QString AllKinds = QStringLiteral(
    "[{\"insert\":\"body \"},{\"attributes\":{\"link\":\"https://x.org\"},\"insert\":\"link\"},"
    "{\"insert\":\" \"},{\"attributes\":{\"code\":true},\"insert\":\"inline\"},{\"insert\":\"\\n\"},"
    "{\"insert\":\"small\"},{\"attributes\":{\"header\":6},\"insert\":\"\\n\"},"
    "{\"insert\":\"big\"},{\"attributes\":{\"header\":1},\"insert\":\"\\n\"},"
    "{\"insert\":\"quoted\"},{\"attributes\":{\"blockquote\":true},\"insert\":\"\\n\"},"
    "{\"insert\":\"code one\"},{\"attributes\":{\"code-block\":true},\"insert\":\"\\n\"},"
    "{\"insert\":\"code two\"},{\"attributes\":{\"code-block\":true},\"insert\":\"\\n\"},"
    "{\"insert\":\"code three\"},{\"attributes\":{\"code-block\":true},\"insert\":\"\\n\"},"
    "{\"insert\":\"task\"},{\"attributes\":{\"list\":\"unchecked\"},\"insert\":\"\\n\"},"
    "{\"insert\":{\"table\":\"{\\\"cells\\\":[[\\\"head\\\"],[[{\\\"insert\\\":\\\"cell\\\",\\\"attributes\\\":{\\\"link\\\":\\\"https://y.org\\\"}}]]]}\"}},"
    "{\"insert\":\"\\n\"},{\"insert\":\"end\\n\"}]");

} // namespace

class TestNoteEditorTheme : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void cleanup() { QApplication::setPalette(QPalette()); }

    void textReachesContrast_data();
    void textReachesContrast();
    void paletteTextReachesContrast();
    void codeBlockIsOneBox_data();
    void codeBlockIsOneBox();
};

void TestNoteEditorTheme::textReachesContrast_data()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("dark") << true;
    QTest::newRow("light") << false;
}

void TestNoteEditorTheme::textReachesContrast()
{
    QFETCH(bool, dark);
    const QPalette palette = dark ? ThemeManager::darkPalette() : ThemeManager::lightPalette();
    QApplication::setPalette(palette);
    QCOMPARE(DeltaDocument::isDarkPalette(), dark);
    DeltaDocument document;
    document.setDeltaJson(AllKinds);
    int checked = 0;
    for (QTextBlock block = document.document()->begin(); block.isValid(); block = block.next()) {
        QColor background = palette.color(QPalette::Base);
        if (QTextTable *table = QTextCursor(block).currentTable()) {
            const QBrush cellBrush = table->cellAt(block.position()).format().background();
            if (cellBrush.style() != Qt::NoBrush)
                background = cellBrush.color();
        }
        if (block.blockFormat().background().style() != Qt::NoBrush)
            background = block.blockFormat().background().color();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            QColor back = background;
            if (format.background().style() != Qt::NoBrush)
                back = format.background().color();
            const QColor text = format.foreground().style() != Qt::NoBrush ? format.foreground().color()
                                                                          : palette.color(QPalette::Text);
            const double ratio = contrast(text, back);
            // Light colours stay as they were; only the dark palette is held to the bar.
            if (dark) {
                QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("\"%1\": %2 on %3 is %4:1")
                                                      .arg(it.fragment().text(), text.name(), back.name())
                                                      .arg(ratio, 0, 'f', 2)));
            }
            ++checked;
        }
    }
    QVERIFY(checked >= 10);
}

void TestNoteEditorTheme::paletteTextReachesContrast()
{
    const QPalette palette = ThemeManager::darkPalette();
    const QList<std::pair<QPalette::ColorRole, QPalette::ColorRole>> pairs = {
        {QPalette::WindowText, QPalette::Window},   {QPalette::Text, QPalette::Base},
        {QPalette::Text, QPalette::AlternateBase},  {QPalette::ButtonText, QPalette::Button},
        {QPalette::HighlightedText, QPalette::Highlight}, {QPalette::ToolTipText, QPalette::ToolTipBase},
        {QPalette::PlaceholderText, QPalette::Base}, {QPalette::Link, QPalette::Base},
        {QPalette::Link, QPalette::Window},         {QPalette::LinkVisited, QPalette::Base},
    };
    for (const auto &[text, back] : pairs) {
        const double ratio = contrast(palette.color(QPalette::Active, text), palette.color(QPalette::Active, back));
        QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("role %1 on %2: %3:1").arg(text).arg(back).arg(ratio, 0, 'f', 2)));
    }
}

void TestNoteEditorTheme::codeBlockIsOneBox_data()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("dark") << true;
    QTest::newRow("light") << false;
}

void TestNoteEditorTheme::codeBlockIsOneBox()
{
    QFETCH(bool, dark);
    const QPalette palette = dark ? ThemeManager::darkPalette() : ThemeManager::lightPalette();
    QApplication::setPalette(palette);
    NoteEditor editor;
    editor.resize(600, 700);
    editor.loadNote(QStringLiteral("n"), AllKinds);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    const QImage image = editor.viewport()->grab().toImage();
    if (qEnvironmentVariableIsSet("OMBREL_SCREENSHOT_DIR"))
        image.save(qEnvironmentVariable("OMBREL_SCREENSHOT_DIR") + (dark ? "/code-dark.png" : "/code-light.png"));

    QTextBlock first = editor.document()->begin();
    while (first.isValid() && first.text() != QLatin1String("code one"))
        first = first.next();
    QVERIFY(first.isValid());
    const QTextBlock last = first.next().next();
    const QColor shade = first.blockFormat().background().color();
    const QRect top = editor.cursorRect(QTextCursor(first));
    const QRect bottom = editor.cursorRect(QTextCursor(last));
    // Down a column beside the text, from the first code line to the last, the shade
    // never breaks: no band of page colour between the lines.
    const int x = top.left() + 2 * top.width() + 120;
    const qreal ratio = editor.viewport()->devicePixelRatioF();
    for (int y = top.top(); y <= bottom.bottom(); ++y) {
        const QColor pixel = image.pixelColor(int(x * ratio), int(y * ratio));
        QVERIFY2(pixel == shade, qPrintable(QStringLiteral("y %1: %2, expected %3").arg(y).arg(pixel.name(), shade.name())));
    }
    // The box reaches past the text above and below by the same amount.
    int above = 0;
    while (image.pixelColor(int(x * ratio), int((top.top() - above - 1) * ratio)) == shade)
        ++above;
    int below = 0;
    while (image.pixelColor(int(x * ratio), int((bottom.bottom() + below + 1) * ratio)) == shade)
        ++below;
    QVERIFY2(above > 0 && qAbs(above - below) <= 2, qPrintable(QStringLiteral("above %1 below %2").arg(above).arg(below)));
}

QTEST_MAIN(TestNoteEditorTheme)
#include "tst_noteeditor_theme.moc"
