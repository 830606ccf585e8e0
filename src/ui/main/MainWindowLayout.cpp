// The main window's controls and its two layouts (two-slot unit, paged
// card).
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/DetailPanel.h"
#include "ui/widgets/FittedLabel.h"
#include "ui/widgets/MenuButton.h"
#include "ui/widgets/PagePanel.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>

namespace {

constexpr int kColumnLeft = 8;
constexpr int kColumnWidth = 217;
constexpr int kSlotsWidth = 425 - 8; // the two slot columns without the splitter bar
constexpr int kSlotColumnWidth = 209;
constexpr int kPagedSlot1Width = 416;
constexpr int kLayoutStep = 5;

QLabel* Label(QWidget* parent, const QString& text, const char* name, const QRect& geometry,
              int pointSize, bool bold, const QColor& colour) {
    // Sized for the designed type; a larger one is drawn smaller, not cut.
    auto* label = new FittedLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    return label;
}

QPushButton* Button(QPushButton* button, const char* name, const QRect& geometry,
                    const QString& hint) {
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setToolTip(hint);
    return button;
}

// A card with its LCD window: the program's own picture.
QPixmap LogoPicture(QSize size) {
    QPixmap picture(size);
    picture.fill(QColor(0, 64, 64));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(size.width() / 2.0 - 42, 6, 84, size.height() - 12);
    p.setPen(QPen(QColor(200, 220, 220), 2));
    p.setBrush(QColor(230, 236, 236));
    p.drawRoundedRect(card, 12, 12);
    const QRectF lcd(card.left() + 12, card.top() + 12, card.width() - 24, 40);
    p.setPen(QPen(QColor(60, 80, 60), 2));
    p.setBrush(QColor(150, 180, 130));
    p.drawRect(lcd);
    p.setPen(QColor(40, 60, 40));
    QFont font = p.font();
    font.setBold(true);
    // Part of the picture: sized in pixels, so that it stays inside the LCD
    // whatever the screen's DPI.
    font.setPixelSize(16);
    p.setFont(font);
    p.drawText(lcd, Qt::AlignCenter, "VMU");
    p.setBrush(QColor(90, 100, 110));
    p.setPen(Qt::NoPen);
    const qreal padTop = lcd.bottom() + 10;
    p.drawEllipse(QPointF(card.left() + 22, padTop + 14), 9, 9);
    p.drawEllipse(QPointF(card.right() - 22, padTop + 8), 6, 6);
    p.drawEllipse(QPointF(card.right() - 34, padTop + 22), 6, 6);
    return picture;
}

} // namespace

void MainWindow::BuildLeftColumn() {
    const QColor light(240, 240, 240);
    makerLabel_ = Label(this, "Velmor", "MakerLabel", QRect(kColumnLeft, 2, kColumnWidth, 40), 24,
                        true, light);
    addressLabel_ =
        Label(this, kAddressText, "AddressLabel", QRect(kColumnLeft, 42, kColumnWidth, 16), 8,
              false, QColor(160, 220, 220));
    Label(this, kTitleLabel, "TitleLabel", QRect(kColumnLeft, 60, kColumnWidth, 22), 12, true,
          light);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("StatusBevel");
    bevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bevel->setLineWidth(2);
    bevel->setGeometry(5, 86, 223, 31);
    statusLabel_ = Label(this, "Connection waiting", "StatusLabel",
                         QRect(kColumnLeft, 86, kColumnWidth, 31), 12, true, QColor(255, 255, 160));
    statusLabel_->setAccessibleDescription("Device and connection status");

    auto* logo = new QLabel(this);
    logo->setObjectName("LogoImage");
    logo->setGeometry(kColumnLeft, 122, kColumnWidth, 112);
    logo->setPixmap(LogoPicture(logo->size()));
    logo->setAccessibleName("Porvane logo: a memory card");
    // Below the logo, where nothing else shows while no box answers.
    BuildNoDeviceHint(logo->geometry().bottom() + 4);

    pagePanel_ = new PagePanel(this);
    detail_ = new DetailPanel(this, [this](int ms) { presenter_->Pause(ms); });
    detail_->DateTime()->setAccessibleDescription("Date and time of the selected saver");

    fileButton_ = new MenuButton("File", menus_->Menu(CardPlace::Image), this);
    Button(fileButton_, "FileButton", QRect(kColumnLeft, 420, 69, 28),
           "Open, create or close a card image file");
    slot1Button_ = new MenuButton("Slot 1", menus_->Menu(CardPlace::Slot1), this);
    Button(slot1Button_, "Slot1Button", QRect(kColumnLeft + 74, 420, 69, 28),
           "Reflesh the card-data on SLOT 1");
    slot2Button_ = new MenuButton("Slot 2", menus_->Menu(CardPlace::Slot2), this);
    Button(slot2Button_, "Slot2Button", QRect(kColumnLeft + 148, 420, 69, 28),
           "Reflesh the card-data on SLOT 2");
    setupButton_ = Button(new QPushButton("Setup...", this), "SetupButton",
                          QRect(kColumnLeft, 458, 104, 30), "Set or change Print Port, Delay Time");
    exitButton_ = Button(new QPushButton("Exit", this), "ExitButton",
                         QRect(kColumnLeft + 113, 458, 104, 30), "Exit this program");

    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar");
    progress_->setGeometry(kColumnLeft, 530, kColumnWidth, 18);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setAccessibleName("Progress");
}

void MainWindow::BuildCardArea() {
    cardSplitter_ = new QSplitter(Qt::Vertical, this);
    cardSplitter_->setObjectName("CardSplitter");
    cardSplitter_->setGeometry(232, 8, 425, 545);
    cardSplitter_->setHandleWidth(8);
    cardSplitter_->setChildrenCollapsible(false);
    slotSplitter_ = new QSplitter(Qt::Horizontal, cardSplitter_);
    slotSplitter_->setObjectName("SlotSplitter");
    slotSplitter_->setHandleWidth(8);
    slotSplitter_->setMinimumHeight(50);
    for (CardPlace view : kCardPlaces) {
        const bool file = view == CardPlace::Image;
        CardView* shown =
            new CardView(view, session_.Volume(view), file ? cardSplitter_ : slotSplitter_);
        views_[PlaceIndex(view)] = shown;
        if (file) {
            shown->Column()->setMinimumHeight(50);
            cardSplitter_->addWidget(shown->Column());
        } else {
            slotSplitter_->addWidget(shown->Column());
        }
    }
    cardSplitter_->insertWidget(0, slotSplitter_);
    cardSplitter_->setSizes({545 - 8 - 209, 209});
    slotSplitter_->setSizes({kSlotsWidth - 205, 205});
    connect(slotSplitter_, &QSplitter::splitterMoved, this, &MainWindow::ApplyColumnFonts);
}

void MainWindow::ApplyColumnFonts() {
    const QList<int> sizes = slotSplitter_->sizes();
    for (int i = 0; i < 2 && i < sizes.size(); ++i) {
        const int width = sizes[i];
        // A column narrowed to nothing still needs a font Qt can draw.
        const int points = width >= 170 ? 22 : std::max(1, (width - 80) / 5);
        QFont font = views_[i]->Header()->font();
        if (font.pointSize() != points) {
            font.setPointSize(points);
            views_[i]->Header()->setFont(font);
        }
    }
}

void MainWindow::StepSlot2Width(int step, const std::function<bool()>& done) {
    // At least one step, as the layouts are animated in whole steps; a
    // column held at its minimum width cannot keep the loop going.
    int steps = 0;
    do {
        const QList<int> sizes = slotSplitter_->sizes();
        const int slot2 = std::clamp(sizes.value(1) + step, 0, kSlotsWidth);
        slotSplitter_->setSizes({kSlotsWidth - slot2, slot2});
        RepaintNow();
    } while (!done() && ++steps < kSlotsWidth / kLayoutStep + 1);
}

void MainWindow::BuildNoDeviceHint(int top) {
    noDeviceHint_ = new QLabel(kNoDeviceHintText, this);
    noDeviceHint_->setObjectName("NoDeviceHint");
    noDeviceHint_->setAccessibleName("Connection hint");
    noDeviceHint_->setAccessibleDescription(kNoDeviceHintText);
    noDeviceHint_->setWordWrap(true);
    noDeviceHint_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    noDeviceHint_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont font = noDeviceHint_->font();
    font.setPointSize(8);
    noDeviceHint_->setFont(font);
    // An opaque background keeps it readable over anything below it.
    noDeviceHint_->setAutoFillBackground(true);
    QPalette pal = noDeviceHint_->palette();
    pal.setColor(QPalette::Window, QColor(0, 64, 64));
    pal.setColor(QPalette::WindowText, QColor(255, 255, 160));
    noDeviceHint_->setPalette(pal);
    noDeviceHint_->setGeometry(kColumnLeft, top, kColumnWidth,
                               noDeviceHint_->heightForWidth(kColumnWidth));
    noDeviceHint_->hide();
}

void MainWindow::ShowTwoSlotLayout(bool fromDetection) {
    pagePanel_->Panel()->hide();
    pagePanel_->PageLabel()->hide();
    CardView& slot2 = ViewOf(CardPlace::Slot2);
    slot2.List()->show();
    slot2.Header()->show();
    slot2.SizePanel()->show();
    slot2Button_->setEnabled(true);
    const auto slot2Width = [this] { return slotSplitter_->sizes().value(1); };
    if (fromDetection || slot2Width() < 30)
        StepSlot2Width(kLayoutStep, [&] { return slot2Width() > kSlotColumnWidth; });
    ApplyColumnFonts();
}

void MainWindow::ShowPagedLayout() {
    pagePanel_->Panel()->show();
    pagePanel_->PageLabel()->show();
    CardView& slot2 = ViewOf(CardPlace::Slot2);
    slot2.Header()->hide();
    slot2.SizePanel()->hide();
    slot2.List()->hide();
    slot2Button_->setEnabled(false);
    StepSlot2Width(-kLayoutStep,
                   [this] { return slotSplitter_->sizes().value(0) > kPagedSlot1Width; });
    ApplyColumnFonts();
}
