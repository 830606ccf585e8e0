#include "ui/widgets/DetailPanel.h"
#include "ui/widgets/FittedLabel.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace {

const QColor kEmptyPicture(64, 0, 64);
const QColor kTotalsColour(208, 160, 128);

QLabel* TotalsLine(QWidget* parent, const char* name, int top) {
    auto* label = new FittedLabel("Selected", parent);
    label->setObjectName(name);
    label->setGeometry(DetailPanel::kLeft, top, 217, 22);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, kTotalsColour);
    label->setPalette(pal);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->hide();
    return label;
}

} // namespace

DetailPanel::DetailPanel(QWidget* parent, std::function<void(int)> pause)
    : QObject(parent), pause_(std::move(pause)) {
    // Created first so that the detail panel covers them.
    count_ = TotalsLine(parent, "SelectionCountLabel", kUpTop + 6);
    total_ = TotalsLine(parent, "SelectionTotalLabel", kUpTop + 30);

    auto* frame = new QFrame(parent);
    frame->setObjectName("DetailPanel");
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setGeometry(kLeft, kUpTop, 217, kNameUpTop - kUpTop);
    frame->setAutoFillBackground(true);
    frame->setAccessibleName("Selected saver");
    panel_ = frame;

    picture_ = new QLabel(frame);
    picture_->setObjectName("SaverPicture");
    picture_->setGeometry(6, 10, 32, 32);
    picture_->setAccessibleName("Selected saver's icon");
    dateTime_ = new FittedLabel(frame);
    dateTime_->setObjectName("DateTimeLabel");
    dateTime_->setTextFormat(Qt::PlainText);
    dateTime_->setGeometry(44, 3, 168, 20);
    edit_ = new QPushButton("Edit...", frame);
    edit_->setObjectName("EditBtn");
    edit_->setGeometry(44, 25, 80, 24);
    disasm_ = new QPushButton("DisAsm.", frame);
    disasm_->setObjectName("AsmBtn");
    disasm_->setGeometry(130, 25, 80, 24);
    disasm_->setEnabled(false);

    name_ = new FittedLabel(kNoSaverText, parent);
    name_->setObjectName("NamePanel");
    name_->setTextFormat(Qt::PlainText);
    name_->setGeometry(kLeft, kNameUpTop, 217, 24);
    name_->setAlignment(Qt::AlignCenter);
    name_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    name_->setAutoFillBackground(true);
    ClearPicture();
}

bool DetailPanel::IsUp() const {
    return panel_->y() == kUpTop;
}

bool DetailPanel::IsDown() const {
    return panel_->y() == kUpTop + kTravel;
}

void DetailPanel::MoveBy(int dy) {
    panel_->move(panel_->x(), panel_->y() + dy);
    name_->move(name_->x(), name_->y() + dy);
}

void DetailPanel::SlideDown() {
    if (!IsUp())
        return;
    for (int i = 0; i <= 40; ++i) {
        pause_(2);
        MoveBy(i / 2);
    }
    // Out of sight is out of the Tab chain too.
    panel_->hide();
    name_->hide();
}

void DetailPanel::SlideUp() {
    if (!IsDown())
        return;
    panel_->show();
    name_->show();
    for (int n = 40; n >= 1; --n) {
        pause_(2);
        MoveBy(-(n / 2));
    }
}

void DetailPanel::ClearPicture() {
    QPixmap empty(32, 32);
    empty.fill(kEmptyPicture);
    picture_->setPixmap(empty);
}

void DetailPanel::ShowPicture(const QPixmap& picture) {
    QPixmap shown(32, 32);
    shown.fill(kEmptyPicture);
    QPainter painter(&shown);
    painter.drawPixmap(0, 0, picture);
    painter.end();
    picture_->setPixmap(shown);
}

void DetailPanel::SetName(const QString& text) {
    name_->setText(text);
}

void DetailPanel::SetDateTime(const QString& text) {
    dateTime_->setText(text);
}

void DetailPanel::ShowTotals(const QString& count, const QString& total) {
    count_->setText(count);
    total_->setText(total);
    count_->show();
    total_->show();
}

void DetailPanel::HideTotals() {
    count_->hide();
    total_->hide();
}
