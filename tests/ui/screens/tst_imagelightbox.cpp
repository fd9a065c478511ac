#include "imagelightbox.h"
#include "testsupport.h"

#include <QApplication>
#include <QGraphicsPixmapItem>
#include <QGraphicsView>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <memory>

namespace {

QImage filledImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0x40, 0x90, 0x30));
    return image;
}

void sendWheel(QGraphicsView *view, QPoint angleDelta)
{
    const QPointF position = QRectF(view->viewport()->rect()).center();
    QWheelEvent event(position, view->viewport()->mapToGlobal(position), QPoint(), angleDelta,
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &event);
}

} // namespace

class TestImageLightbox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void firstShowFitsImage();
    void laterShowsKeepZoom();
    void initialSize_data();
    void initialSize();
    void wheelZoom_data();
    void wheelZoom();
    void horizontalWheelScrolls();
    void keyZoom_data();
    void keyZoom();
    void closeKeys_data();
    void closeKeys();
    void captionIsPlainText();
    void noCaptionNoLabel();
    void nullImageIsHarmless();
};

void TestImageLightbox::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestImageLightbox::firstShowFitsImage()
{
    ImageLightbox box(filledImage(3000, 1500), QStringLiteral("wide.png"));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    auto *view = box.findChild<QGraphicsView *>();
    QVERIFY(view);
    QVERIFY(box.zoomFactor() < 1.0);
    const QRect shown = view->mapFromScene(view->sceneRect()).boundingRect();
    QVERIFY2(view->viewport()->rect().adjusted(-2, -2, 2, 2).contains(shown), "image overflows the view");
    // Fitted on the limiting side: the width fills the view.
    QVERIFY(shown.width() >= view->viewport()->width() - 8);
}

void TestImageLightbox::laterShowsKeepZoom()
{
    ImageLightbox box(filledImage(3000, 1500), QString());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const qreal fitted = box.zoomFactor();

    QTest::keyClick(&box, Qt::Key_Plus);
    box.hide();
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(qFuzzyCompare(box.zoomFactor(), fitted * 1.25));
}

void TestImageLightbox::initialSize_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<bool>("caption");
    QTest::addColumn<QSize>("unbounded");

    QTest::newRow("tiny-raised-to-minimum") << QSize(100, 80) << true << QSize(116, 128);
    QTest::newRow("minimum-without-caption") << QSize(10, 10) << false << QSize(26, 26);
    QTest::newRow("huge-bounded") << QSize(4000, 3000) << true << QSize(4016, 3048);
    QTest::newRow("tall-bounded") << QSize(300, 5000) << false << QSize(316, 5016);
    QTest::newRow("medium-with-caption") << QSize(500, 380) << true << QSize(516, 428);
}

void TestImageLightbox::initialSize()
{
    QFETCH(QSize, imageSize);
    QFETCH(bool, caption);
    QFETCH(QSize, unbounded);

    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const int maxWidth = qMin(1400, available.width() * 3 / 4);
    const int maxHeight = qMin(900, available.height() * 3 / 4);
    const QSize expected(qMax(480, qMin(unbounded.width(), maxWidth)),
                         qMax(360, qMin(unbounded.height(), maxHeight)));

    ImageLightbox box(filledImage(imageSize.width(), imageSize.height()),
                      caption ? QStringLiteral("image.png") : QString());
    QCOMPARE(box.size(), expected);
    QVERIFY(box.width() >= 480 && box.height() >= 360);
    QVERIFY(box.width() <= 1400 && box.height() <= qMax(900, 360));
}

void TestImageLightbox::wheelZoom_data()
{
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<qreal>("zoom");

    QTest::newRow("one-step-in") << QList<int>{120} << 1.15;
    QTest::newRow("two-steps-in") << QList<int>{120, 120} << 1.3225;
    QTest::newRow("one-step-out") << QList<int>{-120} << 1.0 / 1.15;
    QTest::newRow("in-then-out") << QList<int>{120, -120} << 1.0;
    // Fine-grained touchpad deltas still zoom one whole step per event.
    QTest::newRow("small-delta") << QList<int>{15} << 1.15;
}

void TestImageLightbox::wheelZoom()
{
    QFETCH(QList<int>, deltas);
    QFETCH(qreal, zoom);

    ImageLightbox box(filledImage(800, 600), QString());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_1);
    QCOMPARE(box.zoomFactor(), 1.0);

    auto *view = box.findChild<QGraphicsView *>();
    for (int delta : deltas)
        sendWheel(view, QPoint(0, delta));
    QVERIFY2(qFuzzyCompare(box.zoomFactor(), zoom), qPrintable(QString::number(box.zoomFactor())));
}

void TestImageLightbox::horizontalWheelScrolls()
{
    ImageLightbox box(filledImage(4000, 300), QString());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_1);
    auto *view = box.findChild<QGraphicsView *>();
    QScrollBar *bar = view->horizontalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum() / 2);
    const int before = bar->value();

    sendWheel(view, QPoint(-120, 0));
    QCOMPARE(box.zoomFactor(), 1.0);
    QVERIFY(bar->value() != before);
}

void TestImageLightbox::keyZoom_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<qreal>("factor");

    QTest::newRow("plus") << int(Qt::Key_Plus) << 1.25;
    QTest::newRow("equals") << int(Qt::Key_Equal) << 1.25;
    QTest::newRow("minus") << int(Qt::Key_Minus) << 0.8;
    QTest::newRow("underscore") << int(Qt::Key_Underscore) << 0.8;
}

void TestImageLightbox::keyZoom()
{
    QFETCH(int, key);
    QFETCH(qreal, factor);

    ImageLightbox box(filledImage(800, 600), QString());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_1);
    QCOMPARE(box.zoomFactor(), 1.0);

    // Keys reach the dialog through the focused view too.
    auto *view = box.findChild<QGraphicsView *>();
    QTest::keyClick(view, Qt::Key(key));
    QVERIFY(qFuzzyCompare(box.zoomFactor(), factor));

    QTest::keyClick(&box, Qt::Key_0);
    const qreal fitted = box.zoomFactor();
    QTest::keyClick(&box, Qt::Key_Plus);
    QTest::keyClick(&box, Qt::Key_Plus);
    QTest::keyClick(&box, Qt::Key_0);
    QVERIFY(qFuzzyCompare(box.zoomFactor(), fitted));
    QTest::keyClick(&box, Qt::Key_1);
    QCOMPARE(box.zoomFactor(), 1.0);
}

void TestImageLightbox::closeKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("escape") << int(Qt::Key_Escape);
    QTest::newRow("q") << int(Qt::Key_Q);
}

void TestImageLightbox::closeKeys()
{
    QFETCH(int, key);
    QPointer<ImageLightbox> box = new ImageLightbox(filledImage(200, 200), QStringLiteral("a.png"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.data()));

    QTest::keyClick(box.data(), Qt::Key(key));
    QTRY_VERIFY(box.isNull());
}

void TestImageLightbox::captionIsPlainText()
{
    const QString caption = QStringLiteral("<img src=x onerror=1><b>bold</b>.png");
    ImageLightbox box(filledImage(50, 50), caption);
    auto *label = box.findChild<QLabel *>();
    QVERIFY(label);
    QCOMPARE(label->text(), caption);
    QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestImageLightbox::noCaptionNoLabel()
{
    ImageLightbox box(filledImage(50, 50), QString());
    QVERIFY(!box.findChild<QLabel *>());
}

void TestImageLightbox::nullImageIsHarmless()
{
    ImageLightbox box(QImage(), QStringLiteral("missing.png"));
    QCOMPARE(box.size(), QSize(480, 360));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_0);
    QTest::keyClick(&box, Qt::Key_Plus);
    sendWheel(box.findChild<QGraphicsView *>(), QPoint(0, 120));
}

QTEST_MAIN(TestImageLightbox)
#include "tst_imagelightbox.moc"
