#include "imagelightbox.h"

#include <QColor>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr qreal KeyZoomIn = 1.25;
constexpr qreal KeyZoomOut = 0.8;
constexpr qreal WheelZoomStep = 1.15;

constexpr int MaximumWidth = 1400;
constexpr int MaximumHeight = 900;
constexpr int MinimumWidth = 480;
constexpr int MinimumHeight = 360;

QSize initialSize(const QSize &imageSize, bool hasCaption)
{
    int width = imageSize.width() + 16;
    int height = imageSize.height() + (hasCaption ? 48 : 16);
    int maxWidth = MaximumWidth;
    int maxHeight = MaximumHeight;
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        maxWidth = std::min(maxWidth, available.width() * 3 / 4);
        maxHeight = std::min(maxHeight, available.height() * 3 / 4);
    }
    width = std::max(std::min(width, maxWidth), MinimumWidth);
    height = std::max(std::min(height, maxHeight), MinimumHeight);
    return {width, height};
}

} // namespace

// Wheel zooms around the point under the mouse; a purely horizontal wheel still scrolls.
class ZoomableView : public QGraphicsView
{
public:
    using QGraphicsView::QGraphicsView;

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        const int delta = event->angleDelta().y();
        if (delta == 0) {
            QGraphicsView::wheelEvent(event);
            return;
        }
        const qreal factor = delta > 0 ? WheelZoomStep : 1.0 / WheelZoomStep;
        scale(factor, factor);
        event->accept();
    }
};

ImageLightbox::ImageLightbox(const QImage &image, const QString &caption, QWidget *parent)
    : QDialog(parent)
    , m_scene(new QGraphicsScene(this))
{
    setWindowTitle(tr("Image"));
    setModal(true);
    setStyleSheet(QStringLiteral("QDialog { background-color: #0a0a0a; }"));

    m_view = new ZoomableView(m_scene, this);
    m_view->setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setResizeAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setBackgroundBrush(QColor(10, 10, 10));

    m_pixmapItem = m_scene->addPixmap(QPixmap::fromImage(image));
    m_pixmapItem->setTransformationMode(Qt::SmoothTransformation);
    m_scene->setSceneRect(m_pixmapItem->boundingRect());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);

    if (!caption.isEmpty()) {
        m_captionLabel = new QLabel(caption, this);
        // A file name is data, never markup.
        m_captionLabel->setTextFormat(Qt::PlainText);
        m_captionLabel->setAlignment(Qt::AlignCenter);
        m_captionLabel->setStyleSheet(QStringLiteral(
            "QLabel { color: #cccccc; background-color: #0a0a0a; padding: 8px; font-size: 12px; }"));
        layout->addWidget(m_captionLabel);
    }

    resize(initialSize(image.size(), !caption.isEmpty()));
}

ImageLightbox::~ImageLightbox() = default;

qreal ImageLightbox::zoomFactor() const
{
    return m_view->transform().m11();
}

void ImageLightbox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_view->scale(KeyZoomIn, KeyZoomIn);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        m_view->scale(KeyZoomOut, KeyZoomOut);
        break;
    case Qt::Key_0:
        fitImage();
        break;
    case Qt::Key_1:
        m_view->resetTransform();
        break;
    case Qt::Key_Q:
    case Qt::Key_Escape:
        close();
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ImageLightbox::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
}

void ImageLightbox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_firstShow) {
        m_firstShow = false;
        fitImage();
    }
}

void ImageLightbox::fitImage()
{
    // Measure the view without the scroll bars the unscaled image needed: a fitted image needs none.
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->resetTransform();
    m_view->fitInView(m_pixmapItem, Qt::KeepAspectRatio);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}
