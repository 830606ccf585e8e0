#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a window of the given size goes so that it stands centred over the
// main window: each half of the difference truncated toward zero, as integer
// division does.
inline QPoint CentredOver(const QRect& main, const QSize& window) {
    return {main.left() + (main.width() - window.width()) / 2,
            main.top() + (main.height() - window.height()) / 2};
}
