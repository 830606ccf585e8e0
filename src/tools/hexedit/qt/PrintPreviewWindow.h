#pragma once

#include <QDialog>
#include <QImage>

// "Print preview": one page picture, scaled to the window's width, or to
// its height when it would be taller than the window.
class PrintPreviewWindow : public QDialog {
    Q_OBJECT
  public:
    explicit PrintPreviewWindow(const QImage& page, QWidget* parent = nullptr);
    // Where the page goes inside a client area of the given size.
    static QRect PageRect(const QSize& page, const QSize& client);
};
