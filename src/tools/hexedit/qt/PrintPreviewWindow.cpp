#include "tools/hexedit/qt/PrintPreviewWindow.h"

#include <QDialogButtonBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class PagePicture : public QWidget {
  public:
    explicit PagePicture(const QImage& page, QWidget* parent) : QWidget(parent), page_(page) {
        setAccessibleName(QStringLiteral("Page 1"));
        setMinimumSize(100, 100);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(PrintPreviewWindow::PageRect(page_.size(), size()), page_);
    }

  private:
    QImage page_;
};

} // namespace

PrintPreviewWindow::PrintPreviewWindow(const QImage& page, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Print preview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->addWidget(new PagePicture(page, this), 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(560, 760);
}

QRect PrintPreviewWindow::PageRect(const QSize& page, const QSize& client) {
    if (page.isEmpty() || client.isEmpty())
        return {};
    int width = client.width();
    int height = static_cast<int>(static_cast<qint64>(page.height()) * width / page.width());
    if (height > client.height()) {
        height = client.height();
        width = static_cast<int>(static_cast<qint64>(page.width()) * height / page.height());
    }
    return QRect(0, 0, width, height);
}
