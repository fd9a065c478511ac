#include "attachmentrenderer.h"

#include "attachmentrepository.h"
#include "deltadocument.h"
#include "documentlog.h"

#include <QColor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QTextFormat>

#include <algorithm>

namespace {

constexpr qreal ChipRadius = 6;
constexpr qreal ChipTextInset = 12;
constexpr qreal ChipLabelPadding = 48;
constexpr int ImageBottomGap = 4;

struct ChipColors {
    QColor background;
    QColor border;
    QColor text;
};

ChipColors chipColors()
{
    if (DeltaDocument::isDarkPalette())
        return {QColor(0x2A, 0x2D, 0x31), QColor(0x3A, 0x3A, 0x3A), QColor(0xC4, 0xC6, 0xCF)};
    return {QColor(0xEC, 0xEE, 0xF1), QColor(0xE0, 0xE0, 0xE0), QColor(0x44, 0x47, 0x4E)};
}

QString attachmentIdOf(const QTextFormat &format)
{
    QString value = format.stringProperty(DeltaDocument::EmbedValueProperty);
    if (value.startsWith(DeltaDocument::attachmentPrefix()))
        value.remove(0, DeltaDocument::attachmentPrefix().size());
    return value;
}

} // namespace

AttachmentRenderer::AttachmentRenderer(AttachmentRepository *repository, QObject *parent)
    : QObject(parent)
    , m_repository(repository)
{
}

AttachmentRenderer::~AttachmentRenderer() = default;

QSizeF AttachmentRenderer::intrinsicSize(QTextDocument *doc, int posInDocument,
                                         const QTextFormat &format)
{
    Q_UNUSED(doc)
    Q_UNUSED(posInDocument)
    const AttachmentView &view = lookup(format);
    if (view.isImage && !view.image.isNull())
        return QSizeF(view.image.width(), view.image.height() + ImageBottomGap);

    const QFontMetricsF metrics(QGuiApplication::font());
    const qreal width = std::max<qreal>(ChipMinimumWidth,
                                        metrics.horizontalAdvance(chipLabel(view)) + ChipLabelPadding);
    return QSizeF(width, ChipHeight);
}

void AttachmentRenderer::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *doc,
                                    int posInDocument, const QTextFormat &format)
{
    Q_UNUSED(doc)
    Q_UNUSED(posInDocument)
    if (!painter)
        return;
    const AttachmentView &view = lookup(format);
    painter->save();
    if (view.isImage && !view.image.isNull())
        painter->drawImage(rect.topLeft(), view.image);
    else
        drawChip(painter, rect, view);
    painter->restore();
}

void AttachmentRenderer::clearCache()
{
    m_cache.clear();
}

const AttachmentRenderer::AttachmentView &AttachmentRenderer::lookup(const QTextFormat &format)
{
    const QString id = attachmentIdOf(format);
    const auto cached = m_cache.constFind(id);
    if (cached != m_cache.constEnd())
        return cached.value();

    AttachmentView view;
    if (m_repository && !id.isEmpty()) {
        if (const std::optional<Attachment> record = m_repository->findById(id)) {
            view.fileName = record->filename;
            view.mimeType = record->mimeType;
            view.isImage = view.mimeType.startsWith(QLatin1String("image/"));
            if (view.isImage) {
                const QByteArray bytes = m_repository->readFile(id);
                QImage image;
                if (!bytes.isEmpty() && image.loadFromData(bytes)) {
                    if (image.width() > MaxImageWidth)
                        image = image.scaledToWidth(MaxImageWidth, Qt::SmoothTransformation);
                    view.image = image;
                } else {
                    qCDebug(lcDocument) << "attachment image not decodable:" << id;
                }
            }
        }
    }
    // Missing attachments are cached too: layout asks for sizes on every pass.
    return m_cache.insert(id, view).value();
}

QString AttachmentRenderer::chipLabel(const AttachmentView &view)
{
    return view.fileName.isEmpty() ? tr("Attachment") : view.fileName;
}

void AttachmentRenderer::drawChip(QPainter *painter, const QRectF &rect,
                                  const AttachmentView &view) const
{
    const ChipColors colors = chipColors();
    const QRectF chip = rect.adjusted(0, 0, 0, -2);

    painter->setRenderHint(QPainter::Antialiasing, true);
    QPen border(colors.border);
    border.setWidthF(1);
    border.setStyle(Qt::SolidLine);
    painter->setPen(border);
    painter->setBrush(colors.background);
    // Half a pixel in, so the 1-pixel outline lands on whole pixels.
    painter->drawRoundedRect(chip.adjusted(0.5, 0.5, -0.5, -0.5), ChipRadius, ChipRadius);

    const QFont font = QGuiApplication::font();
    painter->setFont(font);
    painter->setPen(colors.text);
    const QRectF textRect = chip.adjusted(ChipTextInset, 0, -ChipTextInset, 0);
    const QString label = QStringLiteral("\U0001F4CE  ") + chipLabel(view);
    // The chip is sized for the name alone; end with an ellipsis rather than a cut glyph.
    const QString shown = QFontMetricsF(font).elidedText(label, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}
