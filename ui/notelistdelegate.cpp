#include "notelistdelegate.h"

#include "deltadocument.h"
#include "notelistwidget.h"
#include "relativetime.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr int TextLeft = 28;
constexpr int TextRight = 24;
constexpr int TopPadding = 16;
constexpr int AccentBarWidth = 2;
constexpr int MarkSize = 14;
constexpr int MarkStep = 22;
constexpr int NotebookGap = 10;
constexpr qreal GlyphPenWidth = 1.5;
// Nothing wider fits a row; eliding a megabyte-long first line on every paint would not.
constexpr qsizetype MaxPaintedLength = 1000;

const QString NoTitlePrefix = QStringLiteral("⸺  ");
const QString NoTitleMarker = QStringLiteral("⸺ ");
const QString NotebookPrefix = QStringLiteral("·  ");

int roundedScale(int base, int numerator, int denominator)
{
    return int(std::lround(double(base) * numerator / denominator));
}

int clamped(int size, int below, int minimum)
{
    return size < below ? minimum : size;
}

int baseSize()
{
    const int base = DeltaDocument::bodyPixelSize();
    return base < 1 ? 16 : base;
}

QFont cardFont(const QString &family, int pixelSize, int weight, bool italic = false)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// Fonts and their metrics for one body size; built once per size rather than per row.
struct CardFonts {
    int base = 0;
    QFont title;
    QFont untitled;
    QFont preview;
    QFont notebook;
    QFont date;
};

const CardFonts &cardFonts()
{
    static CardFonts fonts;
    const int base = baseSize();
    if (fonts.base == base)
        return fonts;
    const QString sans = QStringLiteral("IBM Plex Sans");
    fonts.base = base;
    fonts.title = cardFont(sans, NoteListDelegate::titleFontSize(), 600);
    fonts.untitled = cardFont(sans, NoteListDelegate::titleFontSize(), 500, true);
    fonts.preview = cardFont(sans, NoteListDelegate::previewFontSize(), 400);
    fonts.notebook = cardFont(sans, NoteListDelegate::notebookFontSize(), 400);
    fonts.date = cardFont(QStringLiteral("IBM Plex Mono"), NoteListDelegate::dateFontSize(), 500);
    fonts.date.setCapitalization(QFont::AllUppercase);
    fonts.date.setLetterSpacing(QFont::PercentageSpacing, 108);
    return fonts;
}

struct CardColors {
    QColor background;
    QColor hover;
    QColor selected;
    QColor separator;
    QColor title;
    QColor secondary;
    QColor faint;
    QColor muted;
    QColor accent;
    QColor conflict;
};

CardColors cardColors(const QPalette &palette)
{
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const bool light = base.lightness() > 127;
    CardColors colors;
    colors.background = base;
    colors.hover = light ? base.darker(103) : base.lighter(125);
    colors.selected = light ? base.darker(108) : base.lighter(150);
    colors.separator = light ? base.darker(112) : base.lighter(155);
    colors.title = text;
    colors.secondary = light ? text.lighter(140) : text.darker(118);
    colors.faint = light ? text.lighter(225) : text.darker(170);
    colors.muted = light ? text.lighter(175) : text.darker(140);
    colors.accent = palette.color(QPalette::Active, QPalette::Highlight);
    colors.conflict = QColor(224, 122, 107);
    return colors;
}

// Mark outlines on a 24-unit grid.
QPainterPath personGlyph()
{
    QPainterPath path;
    path.addEllipse(QPointF(12, 8), 4, 4);
    path.moveTo(4.5, 20.5);
    path.cubicTo(4.5, 16.3, 7.9, 14, 12, 14);
    path.cubicTo(16.1, 14, 19.5, 16.3, 19.5, 20.5);
    return path;
}

QPainterPath cloudGlyph()
{
    QPainterPath path;
    path.moveTo(7, 19);
    path.lineTo(17.5, 19);
    path.arcTo(QRectF(13, 10, 9, 9), 270, 165);
    path.arcTo(QRectF(6.5, 5, 11, 11), 15, 150);
    path.arcTo(QRectF(2.5, 11, 8, 8), 125, 145);
    path.closeSubpath();
    return path;
}

QPainterPath warningGlyph()
{
    QPainterPath path;
    path.moveTo(10.3, 4.9);
    path.quadTo(12, 2.2, 13.7, 4.9);
    path.lineTo(21.4, 18.2);
    path.quadTo(22.8, 20.8, 19.9, 20.8);
    path.lineTo(4.1, 20.8);
    path.quadTo(1.2, 20.8, 2.6, 18.2);
    path.closeSubpath();
    path.moveTo(12, 9.5);
    path.lineTo(12, 13.8);
    path.moveTo(12, 17.2);
    path.lineTo(12, 17.25);
    return path;
}

void strokeGlyph(QPainter *painter, const QPainterPath &gridPath, const QRectF &square,
                 const QColor &color)
{
    const qreal scale = square.width() / 24.0;
    QTransform transform;
    transform.translate(square.left(), square.top());
    transform.scale(scale, scale);
    painter->setPen(QPen(color, GlyphPenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(transform.map(gridPath));
}

QString elided(const QFontMetricsF &metrics, const QString &text, qreal width)
{
    return metrics.elidedText(text.left(MaxPaintedLength), Qt::ElideRight, std::max<qreal>(0, width));
}

} // namespace

NoteListDelegate::NoteListDelegate(NoteListWidget *list)
    : QStyledItemDelegate(list)
{
}

int NoteListDelegate::titleFontSize()
{
    return clamped(roundedScale(baseSize(), 15, 16), 11, 10);
}

int NoteListDelegate::previewFontSize()
{
    return clamped(roundedScale(baseSize(), 13, 16), 10, 9);
}

int NoteListDelegate::dateFontSize()
{
    return clamped(roundedScale(baseSize(), 11, 16), 9, 8);
}

int NoteListDelegate::notebookFontSize()
{
    return clamped(roundedScale(baseSize(), 12, 16), 10, 9);
}

int NoteListDelegate::rowHeight()
{
    const int height = int(std::lround(titleFontSize() * 1.3))
        + int(std::lround(previewFontSize() * 1.3)) + int(std::lround(dateFontSize() * 1.2)) + 41;
    return std::max(72, height);
}

QSize NoteListDelegate::sizeHint(const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    Q_UNUSED(index)
    return QSize(option.rect.width(), rowHeight());
}

void NoteListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);

    const QRect rect = option.rect;
    const CardColors colors = cardColors(option.palette);
    const CardFonts &fonts = cardFonts();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool hovered = option.state.testFlag(QStyle::State_MouseOver);

    painter->fillRect(rect, selected ? colors.selected : hovered ? colors.hover : colors.background);
    painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), colors.separator);
    if (selected) {
        painter->fillRect(QRect(rect.left(), rect.top() + TopPadding, AccentBarWidth,
                                rect.height() - 2 * TopPadding),
                          colors.accent);
    }

    const int textLeft = rect.left() + TextLeft;
    const int textRight = rect.right() - TextRight;
    const int textWidth = rect.right() - rect.left() - TextLeft - TextRight;

    QList<std::pair<QPainterPath, QColor>> marks;
    if (index.data(NoteListWidget::IsSharedRole).toBool())
        marks.append({personGlyph(), colors.accent});
    const int syncStatus = index.data(NoteListWidget::SyncStatusRole).toInt();
    const auto *list = qobject_cast<const NoteListWidget *>(parent());
    if (syncStatus == 0 && list && list->pendingMarksShown())
        marks.append({cloudGlyph(), colors.muted});
    else if (syncStatus == 2)
        marks.append({warningGlyph(), colors.conflict});
    const int markCount = int(marks.size());

    // Title, or the preview standing in for a missing title line.
    const bool noTitle = index.data(NoteListWidget::NoTitleRole).toBool();
    QString title = index.data(NoteListWidget::TitleRole).toString();
    if (title.isEmpty())
        title = NoTitlePrefix + NoteListWidget::tr("Untitled");
    else if (noTitle && !title.startsWith(NoTitleMarker))
        title.prepend(NoTitlePrefix);
    const QFont &titleFont = noTitle ? fonts.untitled : fonts.title;
    const QFontMetricsF titleMetrics(titleFont);
    const int titleAscent = int(titleMetrics.ascent());
    const qreal titleWidth = markCount > 0 ? textWidth - (markCount * MarkStep + 4) : textWidth;
    painter->setFont(titleFont);
    painter->setPen(noTitle ? colors.secondary : colors.title);
    painter->drawText(QPointF(textLeft, rect.top() + titleAscent + TopPadding),
                      elided(titleMetrics, title, titleWidth));

    const int markTop = rect.top() + TopPadding + int((titleAscent - MarkSize) * 0.5 + 2);
    int markLeft = textRight - markCount * MarkStep + 8;
    for (const auto &[glyph, color] : std::as_const(marks)) {
        strokeGlyph(painter, glyph, QRectF(markLeft, markTop, MarkSize, MarkSize), color);
        markLeft += MarkStep;
    }

    const QFontMetricsF previewMetrics(fonts.preview);
    const QString preview = index.data(NoteListWidget::PreviewRole).toString();
    if (!preview.isEmpty()) {
        painter->setFont(fonts.preview);
        painter->setPen(colors.muted);
        painter->drawText(QPointF(textLeft, rect.top() + int(titleMetrics.height())
                                                + int(previewMetrics.ascent()) + 21),
                          elided(previewMetrics, preview, textWidth));
    }

    const QFontMetricsF dateMetrics(fonts.date);
    const QString date =
        formatRelativeTime(index.data(NoteListWidget::UpdatedAtRole).toDateTime());
    const int dateBaseline = rect.top() + int(titleMetrics.height())
        + int(previewMetrics.height()) + 25 + int(dateMetrics.ascent());
    painter->setFont(fonts.date);
    painter->setPen(colors.faint);
    painter->drawText(QPointF(textLeft, dateBaseline), date);

    const QString notebook = index.data(NoteListWidget::NotebookNameRole).toString();
    if (!notebook.isEmpty()) {
        const qreal dateWidth = dateMetrics.horizontalAdvance(date);
        const QFontMetricsF notebookMetrics(fonts.notebook);
        const qreal available = textRight - dateWidth - textLeft - 30;
        painter->setFont(fonts.notebook);
        painter->drawText(QPointF(textLeft + dateWidth + NotebookGap, dateBaseline),
                          NotebookPrefix + elided(notebookMetrics, notebook, available));
    }

    painter->restore();
}
