#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <QTextObjectInterface>

class AttachmentRepository;
class QPainter;
class QRectF;
class QTextDocument;
class QTextFormat;

// Lays out and paints attachment object characters of the editor's document: an image
// attachment as the picture itself (scaled down to a readable width), anything else, or
// a picture that cannot be loaded, as a rounded file chip. Records and bytes are looked
// up once per attachment id and kept until clearCache().
class AttachmentRenderer : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static constexpr int MaxImageWidth = 560;
    static constexpr int ChipHeight = 36;
    static constexpr int ChipMinimumWidth = 200;

    explicit AttachmentRenderer(AttachmentRepository *repository, QObject *parent = nullptr);
    ~AttachmentRenderer() override;

    QSizeF intrinsicSize(QTextDocument *doc, int posInDocument, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *doc, int posInDocument,
                    const QTextFormat &format) override;

    void clearCache();

private:
    struct AttachmentView {
        QImage image;       // already scaled; null when not an image or undecodable
        QString fileName;   // empty when the record is missing
        QString mimeType;
        bool isImage = false;
    };

    const AttachmentView &lookup(const QTextFormat &format);
    static QString chipLabel(const AttachmentView &view);
    void drawChip(QPainter *painter, const QRectF &rect, const AttachmentView &view) const;

    AttachmentRepository *m_repository = nullptr;
    QHash<QString, AttachmentView> m_cache;
};
