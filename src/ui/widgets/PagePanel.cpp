#include "ui/widgets/PagePanel.h"

#include "card/CardSession.h"
#include "link/LinkPort.h"
#include "qtbase/Prompter.h"
#include "ui/main/AutoRefresh.h"
#include "ui/main/MainWindow.h"
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

namespace {

constexpr const char* kPageLinkError = " Link Error , please check Connection speed in Setup, DC "
                                       "power and cable connection. ";
constexpr const char* k16MLinkError = " link error, please check is 16M Card , Connection speed "
                                      "in Setup, DC power and cable connection. ";

} // namespace

PagePanel::PagePanel(MainWindow& window, QWidget* parent) : QObject(parent), window_(window) {
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

    spin_->installEventFilter(this);
    set16M_->installEventFilter(this);
    connect(spin_, &QSpinBox::valueChanged, this, &PagePanel::ApplySpinPage);
    connect(set16M_, &QPushButton::clicked, this, &PagePanel::Set16MPage);
}

bool PagePanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        ShowPagePanel();
    } else if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QObject::eventFilter(watched, event);
        QWidget* next = QApplication::focusWidget();
        if (next == nullptr || !panel_->isAncestorOf(next))
            HidePagePanel();
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

void PagePanel::ShowSet16M() {
    set16M_->setVisible(window_.Session().HighestPage() >= 15);
}

void PagePanel::ShowPagePanel() {
    CardSession& session = window_.Session();
    if (session.LinkBusy())
        return;
    if (session.HighestPage() > 4)
        window_.AutoRefresher().Stop();
    if (!session.Link().DirectMode || !IsOut())
        return;
    for (int n = 32; n >= 0; --n) {
        window_.Pause(10);
        panel_->move(panel_->x() + n / 2, panel_->y());
    }
}

void PagePanel::HidePagePanel() {
    CardSession& session = window_.Session();
    // Views are emptied and refilled during link work; that is no reason to
    // slide anything or to re-read the card from inside a refresh.
    if (session.LinkBusy())
        return;
    window_.AutoRefresher().Rearm();
    if (!session.Link().DirectMode || !IsIn())
        return;
    for (int i = 0; i <= 32; ++i) {
        window_.Pause(10);
        panel_->move(panel_->x() - i / 2, panel_->y());
    }
    if (session.CurrentPage() != static_cast<uint16_t>(session.ShownPage()))
        window_.Refresh(CardPlace::Slot1);
}

void PagePanel::ApplySpinPage() {
    window_.Runner().RunLinkCommand({}, [this] {
        CardSession& session = window_.Session();
        LinkPort& link = session.Link();
        if (!link.SetPage(static_cast<uint16_t>(spin_->value() & 0xFF)))
            return;
        uint16_t page = 0;
        if (!link.GetPage(page)) {
            window_.Prompts().Info(kPageLinkError);
            window_.SetStatus("No Device");
            return;
        }
        {
            const QSignalBlocker block(spin_);
            spin_->setValue(page);
        }
        session.SetCurrentPage(page);
        ShowSet16M();
    });
}

void PagePanel::Set16MPage() {
    window_.Runner().RunLinkCommand({}, [this] {
        LinkPort& link = window_.Session().Link();
        uint16_t page = 0;
        // Without the current page there is nothing sure to hand the card.
        if (!link.GetPage(page) || !link.SetPage16M(static_cast<uint8_t>(page & 0xFF))) {
            window_.Prompts().Info(k16MLinkError);
            return;
        }
        set16M_->hide();
        // The card takes its time over this; the wait window closes by itself.
        window_.Runner().WaitUntilItCloses();
    });
}
