#include "ui/widgets/PagePanel.h"

#include "ui/widgets/FittedLabel.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <limits>

PagePanel::PagePanel(QWidget* parent) : QObject(parent) {
    pageLabel_ = new FittedLabel("Set Page", parent);
    pageLabel_->setObjectName("CurrentPageLabel");
    pageLabel_->setGeometry(8, 312, 217, 20);
    pageLabel_->setAlignment(Qt::AlignCenter);
    pageLabel_->setMouseTracking(true);
    pageLabel_->setAccessibleDescription("Point here to change the page");
    QPalette labelPal = pageLabel_->palette();
    labelPal.setColor(QPalette::WindowText, QColor(208, 160, 128));
    pageLabel_->setPalette(labelPal);
    QFont font = pageLabel_->font();
    font.setBold(true);
    pageLabel_->setFont(font);

    auto* frame = new QFrame(parent);
    frame->setObjectName("PagePanel");
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setGeometry(kOutLeft, 240, 217, 68);
    frame->setAutoFillBackground(true);
    frame->setMouseTracking(true);
    frame->setAccessibleName("Page");
    panel_ = frame;
    auto* caption = new QLabel("PAGE :", frame);
    caption->setObjectName("PageCaption");
    caption->setGeometry(8, 8, 60, 24);
    spin_ = new QSpinBox(frame);
    spin_->setObjectName("PageSpin");
    spin_->setGeometry(72, 8, 130, 24);
    // No bounds: the page is the value's low 8 bits.
    spin_->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    spin_->setToolTip("Up , Down key to change value");
    spin_->setAccessibleName("PAGE :");
    caption->setBuddy(spin_);
    // Only the arrows and the up and down keys change it.
    if (auto* edit = spin_->findChild<QLineEdit*>())
        edit->setReadOnly(true);
    set16M_ = new QPushButton("16M set page", frame);
    set16M_->setObjectName("Set16MBtn");
    set16M_->setGeometry(8, 38, 194, 24);
    set16M_->setToolTip("Set page function for 16 MB Torin(TM)");

    // Pointing at "Current Page : " asks for the panel.
    pageLabel_->installEventFilter(this);
    spin_->installEventFilter(this);
    set16M_->installEventFilter(this);
    connect(spin_, &QSpinBox::valueChanged, this, &PagePanel::PageChosen);
    connect(set16M_, &QPushButton::clicked, this, &PagePanel::Set16MClicked);
}

bool PagePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pageLabel_) {
        if (event->type() != QEvent::MouseMove)
            return QObject::eventFilter(watched, event);
        emit PanelWanted();
        return true;
    }
    if (event->type() == QEvent::FocusIn) {
        emit PanelWanted();
    } else if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QObject::eventFilter(watched, event);
        QWidget* next = QApplication::focusWidget();
        if (next == nullptr || !panel_->isAncestorOf(next))
            emit PanelLeft();
    }
    return QObject::eventFilter(watched, event);
}

bool PagePanel::IsIn() const {
    return panel_->x() == kInLeft;
}

bool PagePanel::IsOut() const {
    return panel_->x() == kOutLeft;
}

void PagePanel::ShowPage(int page) {
    const QSignalBlocker block(spin_);
    spin_->setValue(page);
    pageLabel_->setText(kCurrentPageText + QString::number(page));
}

void PagePanel::ShowSpinValue(int page) {
    const QSignalBlocker block(spin_);
    spin_->setValue(page);
}

void PagePanel::ShowSet16M(bool shown) {
    set16M_->setVisible(shown);
}

void PagePanel::SlideIn(const std::function<void(int)>& pause) {
    for (int n = 32; n >= 0; --n) {
        pause(10);
        panel_->move(panel_->x() + n / 2, panel_->y());
    }
}

void PagePanel::SlideOut(const std::function<void(int)>& pause) {
    for (int i = 0; i <= 32; ++i) {
        pause(10);
        panel_->move(panel_->x() - i / 2, panel_->y());
    }
}
