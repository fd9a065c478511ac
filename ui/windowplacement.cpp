#include "windowplacement.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace WindowPlacement {

namespace {

constexpr int CascadeStep = 40;
// Side frames are a few pixels at most; the title bar is what matters.
constexpr int SideFrame = 8;

} // namespace

QSize fittedSize(const QSize &wanted, const QRect &available, int frameHeight)
{
    const int maxWidth = std::max(1, available.width() - SideFrame);
    const int maxHeight = std::max(1, available.height() - frameHeight - SideFrame);
    return QSize(std::min(wanted.width(), maxWidth), std::min(wanted.height(), maxHeight));
}

QRect fittedGeometry(const QRect &geometry, const QRect &available, int frameHeight)
{
    if (!available.isValid())
        return geometry;
    QRect fitted(geometry.topLeft(), fittedSize(geometry.size(), available, frameHeight));
    const int left = available.left() + SideFrame / 2;
    const int top = available.top() + frameHeight;
    const int right = available.right() - SideFrame / 2;
    const int bottom = available.bottom() - SideFrame / 2;
    if (fitted.right() > right)
        fitted.moveRight(right);
    if (fitted.bottom() > bottom)
        fitted.moveBottom(bottom);
    if (fitted.left() < left)
        fitted.moveLeft(left);
    if (fitted.top() < top)
        fitted.moveTop(top);
    return fitted;
}

QPoint cascadePosition(const QRect &anchor, int index, const QSize &size, const QRect &available,
                       int frameHeight)
{
    const QRect area = available.isValid() ? available : anchor;
    const int fitsX = std::max(1, (area.right() - size.width() - anchor.left()) / CascadeStep);
    const int fitsY = std::max(1, (area.bottom() - size.height() - anchor.top()) / CascadeStep);
    const int run = std::max(1, std::min(fitsX, fitsY));
    const int step = 1 + (index % run);
    QPoint position(anchor.left() + step * CascadeStep, anchor.top() + step * CascadeStep);
    return fittedGeometry(QRect(position, size), area, frameHeight).topLeft();
}

int frameAllowance(const QWidget *window)
{
    if (window && window->isVisible() && window->frameGeometry() != window->geometry())
        return window->geometry().top() - window->frameGeometry().top();
    const QStyle *style = window ? window->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window) + SideFrame / 2;
}

void fitToScreen(QWidget *window)
{
    if (!window)
        return;
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect fitted = fittedGeometry(window->geometry(), screen->availableGeometry(), frameAllowance(window));
    if (fitted != window->geometry())
        window->setGeometry(fitted);
}

} // namespace WindowPlacement
