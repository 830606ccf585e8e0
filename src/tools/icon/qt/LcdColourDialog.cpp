#include "tools/icon/qt/LcdColourDialog.h"

#include "base/SafeFile.h"
#include "qtbase/Prompter.h"
#include "tools/icon/LogoPicture.h"

#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

constexpr const char* kBoxHint = "The color you checked will be show on the LCD screen";
constexpr int kSwatchSize = 33;
constexpr int kPreviewSize = 64;

// The area's picture as the toolkit draws it.
QImage AreaImage(const uint8_t* area) {
    QImage image(IconArea::kWidth, IconArea::kHeight, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (int i = 0; i < IconArea::kPaletteEntries; ++i) {
        const uint8_t* entry = area + IconArea::PaletteOffset(i);
        colours << qRgb(entry[2], entry[1], entry[0]);
    }
    image.setColorTable(colours);
    for (int y = 0; y < IconArea::kHeight; ++y)
        for (int x = 0; x < IconArea::kWidth; ++x)
            image.setPixel(x, y, area[IconArea::PixelOffset(y, x)]);
    return image;
}

QLabel* MakePreview(const QString& name, const QString& hint, QWidget* parent) {
    auto* preview = new QLabel(parent);
    preview->setFixedSize(kPreviewSize, kPreviewSize);
    preview->setScaledContents(true);
    preview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    preview->setAccessibleName(name);
    preview->setToolTip(hint);
    return preview;
}

} // namespace

LcdColourDialog::LcdColourDialog(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
    setWindowTitle("Select Color for the LCD Screen");
    BuildControls();
}

void LcdColourDialog::BuildControls() {
    auto* colourFrame = new QFrame(this);
    colourFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    colourFrame->setToolTip(kBoxHint);
    colourFrame->setAccessibleName("Colours");
    auto* grid = new QGridLayout(colourFrame);
    for (int k = 1; k <= kColours; ++k) {
        auto* swatch = new QFrame(colourFrame);
        swatch->setFixedSize(kSwatchSize, kSwatchSize);
        swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
        swatch->setAutoFillBackground(true);
        swatch->setToolTip(kBoxHint);
        swatch->setAccessibleName(QString("Colour %1 swatch").arg(k));
        auto* box = new QCheckBox(colourFrame);
        box->setToolTip(kBoxHint);
        box->setAccessibleName(QString("Colour %1").arg(k));
        connect(box, &QCheckBox::clicked, this, &LcdColourDialog::UpdateLcdPreview);
        const int row = (k - 1) / 4;
        const int column = (k - 1) % 4;
        grid->addWidget(swatch, row, 2 * column);
        grid->addWidget(box, row, 2 * column + 1);
        swatches_[k - 1] = swatch;
        boxes_[k - 1] = box;
    }

    screenPreview_ = MakePreview(
        "SCREEN", "Preview for the caption picture of the DC Memory Card Utility screen", this);
    lcdPreview_ = MakePreview(
        "LCD", "Preview for the LCD screen of the memory card after plug into the controller",
        this);
    auto* previews = new QGridLayout;
    previews->addWidget(new QLabel("SCREEN", this), 0, 0, Qt::AlignHCenter);
    previews->addWidget(new QLabel("LCD", this), 0, 1, Qt::AlignHCenter);
    previews->addWidget(screenPreview_, 1, 0, Qt::AlignHCenter);
    previews->addWidget(lcdPreview_, 1, 1, Qt::AlignHCenter);
    previews->setRowStretch(2, 1);

    auto* nameLabel = new QLabel("Name of  this icon", this);
    nameField_ = new QLineEdit(this);
    nameField_->setMaxLength(32);
    nameField_->setToolTip("The caption of the memory card");
    nameField_->setAccessibleName("Name of  this icon");
    nameLabel->setBuddy(nameField_);

    loadButton_ = new QPushButton("LOAD BMP", this);
    loadButton_->setToolTip("Open other BMP file as the LCD screen");
    loadButton_->setAutoDefault(false);
    okButton_ = new QPushButton("OK", this);
    okButton_->setDefault(true);
    autoButton_ = new QPushButton("AUTO", this);
    autoButton_->setToolTip("Analyze and assign the LCD screen automatic");
    autoButton_->setAutoDefault(false);
    connect(loadButton_, &QPushButton::clicked, this, &LcdColourDialog::LoadBmpClicked);
    connect(okButton_, &QPushButton::clicked, this, &LcdColourDialog::OkClicked);
    connect(autoButton_, &QPushButton::clicked, this, &LcdColourDialog::AutoClicked);

    auto* top = new QHBoxLayout;
    top->addWidget(colourFrame);
    top->addLayout(previews);
    auto* name = new QHBoxLayout;
    name->addWidget(nameLabel);
    name->addWidget(nameField_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(loadButton_);
    buttons->addStretch(1);
    buttons->addWidget(autoButton_);
    buttons->addWidget(okButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(name);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void LcdColourDialog::Prepare(const uint8_t* pictureArea, const QString& fileName) {
    std::copy(pictureArea, pictureArea + IconArea::kSize, lcdArea_);
    refusalShown_ = false;
    // The caption's colours always come from this first picture, whatever
    // "LOAD BMP" later brings for the LCD: the preview stays with it.
    screenPreview_->setPixmap(QPixmap::fromImage(QImage(fileName)));
    ShowPicture(fileName);
    nameField_->setText("No Name");
    closingResult_ = 1;
}

void LcdColourDialog::ShowPicture(const QString&) {
    // The LCD area's own entries turn black and white below; AUTO judges the
    // colours as the picture has them.
    std::copy(lcdArea_, lcdArea_ + sizeof swatchColours_, swatchColours_);
    for (int k = 0; k < kColours; ++k) {
        const uint8_t* entry = lcdArea_ + IconArea::PaletteOffset(k);
        const QColor colour(entry[2], entry[1], entry[0]);
        QPalette palette = swatches_[k]->palette();
        palette.setColor(QPalette::Window, colour);
        swatches_[k]->setPalette(palette);
        const QString rgb =
            QString("red %1, green %2, blue %3").arg(entry[2]).arg(entry[1]).arg(entry[0]);
        swatches_[k]->setAccessibleDescription(rgb);
        boxes_[k]->setAccessibleDescription(rgb + ". " + kBoxHint);
        const QSignalBlocker blocker(boxes_[k]);
        boxes_[k]->setChecked(false);
    }
    UpdateLcdPreview();
}

QString LcdColourDialog::PreviewFile() const {
    return QDir(startDir_.isEmpty() ? QDir::currentPath() : startDir_).filePath("~ico2.bmp");
}

void LcdColourDialog::UpdateLcdPreview() {
    bool dark[kColours];
    for (int k = 0; k < kColours; ++k)
        dark[k] = boxes_[k]->isChecked();
    ApplyLcdColours(lcdArea_, dark);
    // The preview goes through the file, as the card will; should the folder
    // refuse it, the same picture is drawn from memory.
    const QString file = PreviewFile();
    QImage image;
    std::vector<uint8_t> bytes;
    errno = 0;
    const bool written = WriteIconBmp(lcdArea_, file.toStdString());
    const int error = errno;
    if (written) {
        if (ReadWholeFile(file.toStdString(), true, IconBmpFormat::kFileSize, bytes))
            image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "BMP");
    } else if ((error == ELOOP || error == EACCES || error == EMLINK) && !refusalShown_) {
        // A name the program will not write through is told once a visit.
        refusalShown_ = true;
        prompter_.Warning("Cannot write " + file + ". " +
                          QString::fromStdString(FileErrorText(error)));
    }
    if (image.isNull())
        image = AreaImage(lcdArea_);
    lcdPreview_->setPixmap(QPixmap::fromImage(image));
}

QString LcdColourDialog::IconName() const {
    return nameField_->text();
}

void LcdColourDialog::LoadBmpClicked() {
    FileDialogSetup setup;
    setup.title = "Open";
    setup.filter = "Bitmaps (*.bmp)|*.bmp";
    setup.fileName = "*.BMP";
    setup.defaultExt = "*.bmp";
    const QString file = prompter_.OpenFile(setup);
    if (file.isEmpty())
        return;
    // A picture the LCD cannot take changes nothing, so that the previews
    // never show what the card will not get.
    if (!ReadLogoPicture(lcdArea_, file.toStdString())) {
        prompter_.Warning(QString::fromStdString(LogoPictureRefusal(file.toStdString())));
        return;
    }
    ShowPicture(file);
}

void LcdColourDialog::OkClicked() {
    closingResult_ = 1;
    accept();
}

void LcdColourDialog::AutoClicked() {
    bool dark[kColours];
    ChooseDarkColours(swatchColours_, dark);
    for (int k = 0; k < kColours; ++k)
        boxes_[k]->setChecked(dark[k]);
    UpdateLcdPreview();
    closingResult_ = 0;
    accept();
}
