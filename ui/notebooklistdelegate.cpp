#include "notebooklistdelegate.h"

#include "deltadocument.h"
#include "notebooklistwidget.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr int IconSize = 16;
constexpr int IconLeft = 20;
constexpr int TextLeft = 48;
constexpr int RightMargin = 16;
constexpr int CountGap = 6;
constexpr int AccentBarWidth = 2;
constexpr int AccentBarInset = 6;
constexpr qreal GlyphPenWidth = 1.5;

int roundedScale(int base, int numerator, int denominator)
{
    return int(std::lround(double(base) * numerator / denominator));
}

struct RowColors {
    QColor background;
    QColor hover;
    QColor selected;
    QColor text;
    QColor faint;
    QColor muted;
    QColor accent;
};

RowColors rowColors(const QPalette &palette)
{
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const bool light = base.lightness() > 127;
    RowColors colors;
    colors.background = base;
    colors.hover = light ? base.darker(103) : base.lighter(125);
    colors.selected = light ? base.darker(108) : base.lighter(150);
    colors.text = text;
    colors.faint = light ? text.lighter(225) : text.darker(170);
    colors.muted = light ? text.lighter(175) : text.darker(140);
    colors.accent = palette.color(QPalette::Active, QPalette::Highlight);
    return colors;
}

QFont rowFont(const QString &family, int pixelSize, int weight)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// Glyph outlines on a 24-unit grid.
QPainterPath linesGlyph()
{
    QPainterPath path;
    path.moveTo(4, 6);
    path.lineTo(20, 6);
    path.moveTo(4, 12);
    path.lineTo(20, 12);
    path.moveTo(4, 18);
    path.lineTo(14, 18);
    return path;
}

QPainterPath notebookGlyph()
{
    QPainterPath path;
    path.addRoundedRect(QRectF(5, 3, 15, 18), 2, 2);
    path.moveTo(9, 3);
    path.lineTo(9, 21);
    path.moveTo(12.5, 8);
    path.lineTo(17, 8);
    return path;
}

QPainterPath trashGlyph()
{
    QPainterPath path;
    path.moveTo(4, 6.5);
    path.lineTo(20, 6.5);
    path.moveTo(9.5, 6.5);
    path.lineTo(9.5, 4);
    path.lineTo(14.5, 4);
    path.lineTo(14.5, 6.5);
    path.moveTo(6, 6.5);
    path.lineTo(7, 20);
    path.quadTo(7.1, 21, 8, 21);
    path.lineTo(16, 21);
    path.quadTo(16.9, 21, 17, 20);
    path.lineTo(18, 6.5);
    path.moveTo(10, 10.5);
    path.lineTo(10, 17);
    path.moveTo(14, 10.5);
    path.lineTo(14, 17);
    return path;
}

QTransform gridTransform(const QRectF &square)
{
    const qreal scale = square.width() / 24.0;
    QTransform transform;
    transform.translate(square.left(), square.top());
    transform.scale(scale, scale);
    return transform;
}

void strokeGlyph(QPainter *painter, const QPainterPath &gridPath, const QRectF &square,
                 const QColor &color)
{
    QPen pen(color, GlyphPenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(gridTransform(square).map(gridPath));
}

void drawSharedDots(QPainter *painter, const QRectF &square, const QColor &color)
{
    const QTransform transform = gridTransform(square);
    const qreal radius = square.width() / 24.0;
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    for (const qreal x : {13.0, 16.0, 19.0})
        painter->drawEllipse(transform.map(QPointF(x, 15)), radius, radius);
}

void drawPlus(QPainter *painter, const QRectF &square, const QColor &color)
{
    const qreal half = 0.35 * std::min(square.width(), square.height());
    const QPointF centre = square.center();
    painter->setPen(QPen(color, GlyphPenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->drawLine(QPointF(centre.x() - half, centre.y()), QPointF(centre.x() + half, centre.y()));
    painter->drawLine(QPointF(centre.x(), centre.y() - half), QPointF(centre.x(), centre.y() + half));
}

} // namespace

NotebookListDelegate::NotebookListDelegate(NotebookListWidget *list)
    : QStyledItemDelegate(list)
{
}

int NotebookListDelegate::nameFontSize()
{
    const int size = roundedScale(DeltaDocument::bodyPixelSize(), 14, 16);
    return size < 11 ? 10 : size;
}

int NotebookListDelegate::countFontSize()
{
    const int size = roundedScale(DeltaDocument::bodyPixelSize(), 11, 16);
    return size < 9 ? 8 : size;
}

int NotebookListDelegate::rowHeight()
{
    return std::max(36, int(std::lround(nameFontSize() * 2.2)) + 6);
}

QSize NotebookListDelegate::sizeHint(const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    Q_UNUSED(index)
    return QSize(option.rect.width(), rowHeight());
}

void NotebookListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);

    const QRect rect = option.rect;
    const RowColors colors = rowColors(option.palette);
    const int kind = index.data(NotebookListWidget::KindRole).toInt();
    const bool isAction = kind == NotebookListWidget::NewNotebookRow;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool highlighted = selected && !isAction;
    const bool hovered = option.state.testFlag(QStyle::State_MouseOver);

    painter->fillRect(rect, highlighted ? colors.selected
                            : hovered   ? colors.hover
                                        : colors.background);
    if (highlighted) {
        painter->fillRect(QRect(rect.left(), rect.top() + AccentBarInset, AccentBarWidth,
                                rect.height() - 2 * AccentBarInset),
                          colors.accent);
    }

    const int iconTop = rect.top() + (rect.height() - IconSize) / 2;
    const QRectF icon(rect.left() + IconLeft, iconTop, IconSize, IconSize);
    const QColor iconColor = selected ? colors.accent : colors.muted;
    switch (kind) {
    case NotebookListWidget::AllNotesRow:
        strokeGlyph(painter, linesGlyph(), icon, iconColor);
        break;
    case NotebookListWidget::NotebookRow:
        strokeGlyph(painter, notebookGlyph(), icon, iconColor);
        if (index.data(NotebookListWidget::IsSharedRole).toBool())
            drawSharedDots(painter, icon, iconColor);
        break;
    case NotebookListWidget::TrashRow:
        strokeGlyph(painter, trashGlyph(), icon, iconColor);
        break;
    case NotebookListWidget::NewNotebookRow:
        drawPlus(painter, icon, colors.faint);
        break;
    default:
        break;
    }

    const int count = index.data(NotebookListWidget::CountRole).toInt();
    const bool showCount = !isAction && count > 0;
    const QString countText = showCount ? QString::number(count) : QString();
    const QFont countFont = rowFont(QStringLiteral("IBM Plex Mono"), countFontSize(), 500);
    const int countWidth = showCount ? QFontMetrics(countFont).horizontalAdvance(countText) : 0;

    const int right = rect.right() - RightMargin;
    const int textLeft = rect.left() + TextLeft;
    const int baseline = iconTop + 14;
    const bool emphasised = selected || kind == NotebookListWidget::AllNotesRow;
    const QFont nameFont =
        rowFont(QStringLiteral("IBM Plex Sans"), nameFontSize(), emphasised ? 500 : 400);
    const int nameWidth = right - textLeft - (showCount ? countWidth + CountGap : 0);
    const QString name = QFontMetrics(nameFont).elidedText(
        index.data(NotebookListWidget::TextRole).toString(), Qt::ElideRight, std::max(0, nameWidth));
    painter->setFont(nameFont);
    painter->setPen(isAction ? colors.faint : colors.text);
    painter->drawText(QPoint(textLeft, baseline), name);

    if (showCount) {
        painter->setFont(countFont);
        painter->setPen(colors.faint);
        painter->drawText(QPoint(right - countWidth, baseline), countText);
    }

    painter->restore();
}
