#pragma once

#include <QDialog>
#include <QImage>
#include <QString>

class QGraphicsPixmapItem;
class QGraphicsScene;
class QKeyEvent;
class QLabel;
class QResizeEvent;
class QShowEvent;
class ZoomableView;

// Shows one image attachment full size on a dark backdrop; the wheel and the keys
// + - 0 1 zoom, dragging pans, Escape or Q closes.
class ImageLightbox : public QDialog
{
    Q_OBJECT

public:
    explicit ImageLightbox(const QImage &image, const QString &caption, QWidget *parent = nullptr);
    ~ImageLightbox() override;

    // Current zoom of the view (1.0 is actual pixel size).
    qreal zoomFactor() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void fitImage();

    QGraphicsScene *m_scene = nullptr;
    ZoomableView *m_view = nullptr;
    QGraphicsPixmapItem *m_pixmapItem = nullptr;
    QLabel *m_captionLabel = nullptr;
    bool m_firstShow = true;
};
