// Draws the application icon: a deep-blue note card with a folded corner and a
// white umbrella on it. Run from the repository root:
//   cmake -S tools/drawicon -B /tmp/drawicon && cmake --build /tmp/drawicon && /tmp/drawicon/drawicon resources/icons/app-icon.png

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <cstdio>

namespace {

constexpr int Size = 256;

// Card outline with the top-right corner cut off along the fold.
QPainterPath cardPath(const QRectF &r, qreal radius, qreal fold)
{
    QPainterPath path;
    path.moveTo(r.left() + radius, r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom() - radius);
    path.arcTo(r.right() - 2 * radius, r.bottom() - 2 * radius, 2 * radius, 2 * radius, 0, -90);
    path.lineTo(r.left() + radius, r.bottom());
    path.arcTo(r.left(), r.bottom() - 2 * radius, 2 * radius, 2 * radius, -90, -90);
    path.lineTo(r.left(), r.top() + radius);
    path.arcTo(r.left(), r.top(), 2 * radius, 2 * radius, 180, -90);
    path.closeSubpath();
    return path;
}

// Dome with a scalloped rim: the classic umbrella silhouette.
QPainterPath canopyPath(QPointF centre, qreal halfWidth, qreal height, int scallops, qreal scallopDepth)
{
    QPainterPath path;
    const QRectF dome(centre.x() - halfWidth, centre.y() - height, 2 * halfWidth, 2 * height);
    path.moveTo(centre.x() - halfWidth, centre.y());
    path.arcTo(dome, 180, -180);
    const qreal step = 2 * halfWidth / scallops;
    for (int i = 0; i < scallops; ++i) {
        const qreal x0 = centre.x() + halfWidth - i * step;
        const qreal x1 = x0 - step;
        path.quadTo(QPointF((x0 + x1) / 2, centre.y() - 2 * scallopDepth), QPointF(x1, centre.y()));
    }
    path.closeSubpath();
    return path;
}

void drawIcon(QImage &image)
{
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF card(26, 22, 204, 212);
    const qreal radius = 32;
    const qreal fold = 62;
    const QPainterPath outline = cardPath(card, radius, fold);

    // Soft shadow under the card.
    for (int i = 0; i < 8; ++i) {
        const qreal grow = 8 - i;
        QPainterPath shadow = cardPath(card.adjusted(-grow / 2, -grow / 2 + 3, grow / 2, grow / 2 + 3),
                                       radius + grow / 2, fold);
        p.fillPath(shadow, QColor(13, 35, 80, 10));
    }

    QLinearGradient body(card.topLeft(), card.bottomLeft());
    body.setColorAt(0, QColor(0x1E, 0x88, 0xE5));
    body.setColorAt(1, QColor(0x15, 0x65, 0xC0));
    p.fillPath(outline, body);

    // The turned-down corner, lighter, with a shadow cast onto the card.
    const QPointF foldTop(card.right() - fold, card.top());
    const QPointF foldRight(card.right(), card.top() + fold);
    const qreal foldRadius = 14;
    QPainterPath flap;
    flap.moveTo(foldTop);
    flap.lineTo(foldTop.x(), foldRight.y() - foldRadius);
    flap.quadTo(QPointF(foldTop.x(), foldRight.y()), QPointF(foldTop.x() + foldRadius, foldRight.y()));
    flap.lineTo(foldRight);
    flap.closeSubpath();
    p.save();
    p.setClipPath(outline);
    p.fillPath(flap.translated(-4, 6), QColor(8, 30, 80, 90));
    p.restore();
    QLinearGradient flapFill(foldTop, QPointF(foldTop.x(), foldRight.y()));
    flapFill.setColorAt(0, QColor(0xE3, 0xF2, 0xFD));
    flapFill.setColorAt(1, QColor(0xBB, 0xDE, 0xFB));
    p.fillPath(flap, flapFill);

    const QColor white(Qt::white);

    // Umbrella over the page.
    const QPointF rim(card.center().x() - 4, 136);
    p.fillPath(canopyPath(rim, 80, 70, 4, 8), white);

    // Finial on top of the dome.
    p.setPen(QPen(white, 10, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(rim.x(), rim.y() - 70), QPointF(rim.x(), rim.y() - 78));

    QPen handle(white, 13, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(handle);
    p.setBrush(Qt::NoBrush);
    QPainterPath stick;
    stick.moveTo(rim.x(), rim.y() - 4);
    stick.lineTo(rim.x(), 192);
    stick.arcTo(QRectF(rim.x() - 32, 192 - 16, 32, 32), 0, -180);
    p.drawPath(stick);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: drawicon OUTPUT.png\n");
        return 2;
    }
    QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    drawIcon(image);
    if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "drawicon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
