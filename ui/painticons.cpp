#include "painticons.h"

#include <QFont>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPen>
#include <QPixmap>

#include <functional>
#include <utility>

namespace PaintIcons {
namespace {

using PaintFunction = std::function<void(QPainter &painter, const QColor &color)>;

constexpr qreal TextGrid = 16;
constexpr qreal OutlineGrid = 24;
constexpr qreal TextGridPen = 1.6;
constexpr qreal OutlineGridPen = 1.5;
constexpr qreal DisabledOpacity = 0.4;

// Paints on a square grid scaled to whatever rectangle the icon is drawn into.
class PaintedIconEngine : public QIconEngine
{
public:
    PaintedIconEngine(qreal grid, QColor color, PaintFunction paint)
        : m_grid(grid)
        , m_color(std::move(color))
        , m_paint(std::move(paint))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        Q_UNUSED(state)
        const qreal side = qMin(rect.width(), rect.height());
        if (side <= 0)
            return;
        QColor color = m_color;
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * DisabledOpacity);

        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setRenderHint(QPainter::TextAntialiasing, true);
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / m_grid, side / m_grid);
        m_paint(*painter, color);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new PaintedIconEngine(m_grid, m_color, m_paint); }

    QString key() const override { return QStringLiteral("ombrel-painted"); }

private:
    qreal m_grid;
    QColor m_color;
    PaintFunction m_paint;
};

QPen outlinePen(const QColor &color, qreal width)
{
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void beginOutline(QPainter &painter, const QColor &color, qreal width)
{
    painter.setPen(outlinePen(color, width));
    painter.setBrush(Qt::NoBrush);
}

// 16-unit grid, pen as the alignment lines.
void paintCheckbox(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, TextGridPen);
    painter.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 2.5, 2.5);
    QPainterPath tick;
    tick.moveTo(5.2, 8.1);
    tick.lineTo(7.2, 10.1);
    tick.lineTo(10.9, 6.1);
    painter.drawPath(tick);
}

void paintLink(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, TextGridPen);
    painter.translate(8, 8);
    painter.rotate(-45);
    // Two overlapping links of a chain.
    painter.drawRoundedRect(QRectF(-7.2, -2.4, 8.6, 4.8), 2.4, 2.4);
    painter.drawRoundedRect(QRectF(-1.4, -2.4, 8.6, 4.8), 2.4, 2.4);
}

// Drawn rather than taken from an emoji font: those are missing on some systems and
// colourful on others, and the icon must match its neighbours.
void paintPaperclip(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, TextGridPen);
    painter.translate(8, 8);
    painter.rotate(40);
    QPainterPath clip;
    clip.moveTo(1.1, -2.6);
    clip.lineTo(1.1, 3.1);
    clip.arcTo(QRectF(-2.1, 1.5, 3.2, 3.2), 0, -180);
    clip.lineTo(-2.1, -3.9);
    clip.arcTo(QRectF(-2.1, -6.4, 5.0, 5.0), 180, -180);
    clip.lineTo(2.9, 3.3);
    clip.arcTo(QRectF(-3.9, -0.1, 6.8, 6.8), 0, -180);
    clip.lineTo(-3.9, -1.6);
    painter.drawPath(clip);
}

// The outline glyphs below use the 24-unit grid.
void paintSidebar(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, OutlineGridPen);
    painter.drawRoundedRect(QRectF(3, 4, 18, 16), 2.5, 2.5);
    painter.drawLine(QPointF(9.5, 4), QPointF(9.5, 20));
    painter.drawLine(QPointF(5.5, 8), QPointF(7, 8));
    painter.drawLine(QPointF(5.5, 11), QPointF(7, 11));
}

// Corners pointing inwards: the sidebars are hidden, clicking brings them back.
void paintFocus(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, OutlineGridPen);
    const QPointF corners[4][3] = {
        {{4, 9}, {9, 9}, {9, 4}},
        {{15, 4}, {15, 9}, {20, 9}},
        {{20, 15}, {15, 15}, {15, 20}},
        {{9, 20}, {9, 15}, {4, 15}},
    };
    for (const auto &corner : corners)
        painter.drawPolyline(corner, 3);
}

void paintNotebook(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, OutlineGridPen);
    QPainterPath cover;
    cover.moveTo(7, 3);
    cover.lineTo(19, 3);
    cover.lineTo(19, 21);
    cover.lineTo(7, 21);
    cover.arcTo(QRectF(4.5, 16, 5, 5), 270, -180);
    cover.lineTo(4.5, 5.5);
    cover.arcTo(QRectF(4.5, 3, 5, 5), 180, -90);
    cover.closeSubpath();
    painter.drawPath(cover);
    painter.drawLine(QPointF(7, 16), QPointF(19, 16));
    painter.drawLine(QPointF(10, 7.5), QPointF(15, 7.5));
}

void paintCopy(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, OutlineGridPen);
    painter.drawRoundedRect(QRectF(9, 9, 12, 12), 2, 2);
    QPainterPath back;
    back.moveTo(5, 15);
    back.arcTo(QRectF(3, 11, 4, 4), 270, -90);
    back.lineTo(3, 5);
    back.arcTo(QRectF(3, 3, 4, 4), 180, -90);
    back.lineTo(13, 3);
    back.arcTo(QRectF(11, 3, 4, 4), 90, -90);
    back.lineTo(15, 5);
    painter.drawPath(back);
}

void paintShare(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, OutlineGridPen);
    painter.drawEllipse(QPointF(17.5, 5.5), 2.6, 2.6);
    painter.drawEllipse(QPointF(6.5, 12), 2.6, 2.6);
    painter.drawEllipse(QPointF(17.5, 18.5), 2.6, 2.6);
    painter.drawLine(QPointF(8.8, 13.4), QPointF(15.2, 17.1));
    painter.drawLine(QPointF(15.2, 6.9), QPointF(8.8, 10.6));
}

void paintHistory(QPainter &painter, const QColor &color)
{
    beginOutline(painter, color, OutlineGridPen);
    QPainterPath dial;
    // An open clock face whose gap ends in an arrow head: turning back in time.
    dial.arcMoveTo(QRectF(3.5, 3.5, 17, 17), 160);
    dial.arcTo(QRectF(3.5, 3.5, 17, 17), 160, -300);
    painter.drawPath(dial);
    painter.drawPolyline(QPolygonF{QPointF(3.3, 5.6), QPointF(4.1, 9.7), QPointF(8.1, 8.6)});
    painter.drawPolyline(QPolygonF{QPointF(12, 7.5), QPointF(12, 12), QPointF(15, 14)});
}

void paintMore(QPainter &painter, const QColor &color)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (qreal x : {5.5, 12.0, 18.5})
        painter.drawEllipse(QPointF(x, 12), 1.6, 1.6);
}

QIcon makeIcon(qreal grid, const QColor &color, PaintFunction paint)
{
    return QIcon(new PaintedIconEngine(grid, color, std::move(paint)));
}

} // namespace

QColor windowTextColor()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

QIcon textIcon(const QString &text, const TextStyle &style, const QColor &color)
{
    return makeIcon(TextGrid, color, [text, style](QPainter &painter, const QColor &penColor) {
        QFont font(QStringLiteral("IBM Plex Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(style.pixelSize);
        font.setWeight(style.bold ? QFont::Bold : QFont::Medium);
        font.setItalic(style.italic);
        font.setUnderline(style.underline);
        font.setStrikeOut(style.strikeOut);
        // The painter is scaled: hinting at the unscaled size would misplace glyphs.
        font.setHintingPreference(QFont::PreferNoHinting);
        painter.setFont(font);
        painter.setPen(penColor);
        painter.drawText(QRectF(0, style.verticalShift, TextGrid, TextGrid), Qt::AlignCenter, text);
    });
}

QIcon alignmentIcon(Qt::Alignment alignment, const QColor &color)
{
    return makeIcon(TextGrid, color, [alignment](QPainter &painter, const QColor &penColor) {
        beginOutline(painter, penColor, TextGridPen);
        constexpr qreal left = 2;
        constexpr qreal right = 14;
        constexpr qreal longLine = right - left;
        constexpr qreal shortLine = 7.5;
        const qreal ys[4] = {3.5, 6.5, 9.5, 12.5};
        for (int i = 0; i < 4; ++i) {
            const qreal length = i % 2 == 0 ? longLine : shortLine;
            qreal start = left;
            if (alignment & Qt::AlignHCenter)
                start = left + (longLine - length) / 2;
            else if (alignment & Qt::AlignRight)
                start = right - length;
            painter.drawLine(QPointF(start, ys[i]), QPointF(start + length, ys[i]));
        }
    });
}

QIcon glyphIcon(Glyph glyph, const QColor &color)
{
    switch (glyph) {
    case Glyph::Checkbox: return makeIcon(TextGrid, color, paintCheckbox);
    case Glyph::Link: return makeIcon(TextGrid, color, paintLink);
    case Glyph::Paperclip: return makeIcon(TextGrid, color, paintPaperclip);
    case Glyph::Sidebar: return makeIcon(OutlineGrid, color, paintSidebar);
    case Glyph::Focus: return makeIcon(OutlineGrid, color, paintFocus);
    case Glyph::Notebook: return makeIcon(OutlineGrid, color, paintNotebook);
    case Glyph::Copy: return makeIcon(OutlineGrid, color, paintCopy);
    case Glyph::Share: return makeIcon(OutlineGrid, color, paintShare);
    case Glyph::History: return makeIcon(OutlineGrid, color, paintHistory);
    case Glyph::More: return makeIcon(OutlineGrid, color, paintMore);
    }
    return {};
}

QPixmap renderPixmap(const QIcon &icon, int logicalSize, qreal devicePixelRatio)
{
    return icon.pixmap(QSize(logicalSize, logicalSize), devicePixelRatio);
}

} // namespace PaintIcons
