#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Toolbar and header-bar icons, painted at run time. Each icon is vector-drawn at the
// exact device-pixel size asked for, so it stays crisp at 16 px and on any screen scale.
namespace PaintIcons {

struct TextStyle {
    int pixelSize = 13;  // in the 16-unit icon square
    qreal verticalShift = 0; // optical centring of glyphs that sit high, such as quotes
    bool bold = true;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

// Outline glyphs; the first three are drawn on the 16-unit grid of the text icons, the
// others on a 24-unit grid.
enum class Glyph {
    Checkbox,
    Link,
    Paperclip,
    Sidebar,
    Focus,
    Notebook,
    Copy,
    Share,
    History,
    More,
};

// The application palette's window text: the colour of every toolbar and header icon.
QColor windowTextColor();

QIcon textIcon(const QString &text, const TextStyle &style, const QColor &color);
QIcon alignmentIcon(Qt::Alignment alignment, const QColor &color);
QIcon glyphIcon(Glyph glyph, const QColor &color);

// A transparent pixmap of logicalSize square at the given device pixel ratio.
QPixmap renderPixmap(const QIcon &icon, int logicalSize, qreal devicePixelRatio = 2.0);

} // namespace PaintIcons
