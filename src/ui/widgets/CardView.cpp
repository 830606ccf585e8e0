#include "ui/widgets/CardView.h"

#include "base/SafeFile.h"
#include "card/CardFeedback.h"
#include "card/SideFiles.h"
#include "link/LinkPort.h"
#include "ui/widgets/CardListModel.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/FittedLabel.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct ColumnText {
    const char* title;
    const char* header;
    const char* headerName;
    const char* listName;
    const char* listHint;
    const char* sizeName;
    const char* dcmName;
    const char* dcmHint;
    const char* dciName;
};

constexpr ColumnText kColumns[3] = {
    {"Slot 1", "SLOT1", "Slot1Header", "Card1ListView", "Data on SLOT1-Card", "slot1_sizePanel",
     "Slot1UploadDcmButton", "Upload a VMU page.", "Slot1ImportDciButton"},
    {"Slot 2", "SLOT2", "Slot2Header", "Card2ListView", "Data on SLOT2-Card", "slot2_sizePanel",
     "Slot2UploadDcmButton", "Upload a VMU page.", "Slot2ImportDciButton"},
    {"File", "File", "FileHeader", "FileListView", "Data on the opened file", "FileCardPanel",
     "FileOpenDcmButton", "Open a VMU page.", "FileImportDciButton"},
};

const QColor kPanelBackground(0, 88, 88);
const QColor kHoverBackground(0, 56, 56);

void SetTextColour(QLabel* label, const QColor& colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

QToolButton* FlatButton(QWidget* parent, const char* caption, const char* name,
                        const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::StrongFocus);
    // Not the header's large caption type.
    QFont font = button->font();
    font.setPointSize(QApplication::font().pointSize());
    font.setBold(false);
    button->setFont(font);
    // Hovered, a flat button lights up in the button colour: a dark one, so
    // that the white caption stays readable.
    QPalette pal = button->palette();
    pal.setColor(QPalette::ButtonText, Qt::white);
    pal.setColor(QPalette::Button, kHoverBackground);
    pal.setColor(QPalette::Light, kHoverBackground.lighter(130));
    pal.setColor(QPalette::Midlight, kHoverBackground.lighter(115));
    button->setPalette(pal);
    return button;
}

// The flat buttons' size: the designed 40 x 18, or what their font needs.
QSize FlatButtonSize(const QToolButton* button) {
    const QFontMetrics metrics(button->font());
    return {std::max(40, metrics.horizontalAdvance("DCM") + 12),
            std::max(18, metrics.height() + 4)};
}

} // namespace

CardView::CardView(CardPlace view, const CardVolume& volume, QWidget* parent)
    : QObject(parent), view_(view), volume_(volume) {
    const ColumnText& text = kColumns[PlaceIndex(view)];
    column_ = new QWidget(parent);
    column_->setObjectName(view == CardPlace::Slot1   ? "Slot1Column"
                           : view == CardPlace::Slot2 ? "Slot2Column"
                                                      : "FileColumn");
    column_->setMinimumWidth(0);
    auto* layout = new QVBoxLayout(column_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new FittedLabel(text.header, column_);
    header_ = header;
    header_->setObjectName(text.headerName);
    header_->setAlignment(Qt::AlignCenter);
    header_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    header_->setAutoFillBackground(true);
    QPalette headerPal = header_->palette();
    headerPal.setColor(QPalette::Window, kPanelBackground);
    header_->setPalette(headerPal);
    QFont font = header_->font();
    font.setPointSize(22);
    font.setBold(true);
    header_->setFont(font);
    dcmButton_ = FlatButton(header_, "DCM", text.dcmName, text.dcmHint);
    dciButton_ = FlatButton(header_, "DCI", text.dciName, "Import a saver file.");
    for (QToolButton* b : {dcmButton_, dciButton_})
        b->setAccessibleDescription(Title() + ": " + b->toolTip());
    // The buttons stack at the header's left; the caption is centred between
    // margins as wide as they are, so the two never overlap, and shrinks
    // (FittedLabel) when a larger font would not fit between them.
    const QSize button = FlatButtonSize(dcmButton_);
    dcmButton_->setGeometry(QRect(QPoint(2, 2), button));
    dciButton_->setGeometry(QRect(QPoint(2, 3 + button.height()), button));
    header_->setFixedHeight(std::max(kHeaderHeight, 2 * button.height() + 5));
    header->SetSideRoom(button.width() + 4);
    header_->setMinimumWidth(1);
    layout->addWidget(header_);

    // In the room the caption leaves at the header's right.
    problemsButton_ = new QToolButton(header_);
    problemsButton_->setObjectName(QString(text.headerName) + "Problems");
    problemsButton_->setAutoRaise(true);
    problemsButton_->setFocusPolicy(Qt::StrongFocus);
    problemsButton_->setIcon(header_->style()->standardIcon(QStyle::SP_MessageBoxWarning));
    problemsButton_->setIconSize(QSize(20, 20));
    problemsButton_->setFixedSize(QSize(26, 26));
    problemsButton_->setToolTip(kProblemsText);
    problemsButton_->setAccessibleName(Title() + ": card problems");
    problemsButton_->setAccessibleDescription(kProblemsText);
    problemsButton_->hide();
    connect(problemsButton_, &QToolButton::clicked, this, &CardView::CheckRequested);
    header_->installEventFilter(this);

    list_ = new CardListWidget(column_);
    model_ = new CardListModel(list_);
    list_->setModel(model_);
    list_->setObjectName(text.listName);
    list_->setToolTip(text.listHint);
    list_->setAccessibleName(Title() + " savers");
    list_->setAccessibleDescription(text.listHint);
    layout->addWidget(list_, 1);

    sizePanel_ = new FittedLabel("200 BLOCKS FREE", column_);
    sizePanel_->setObjectName(text.sizeName);
    sizePanel_->setFixedHeight(std::max(kSizePanelHeight, sizePanel_->fontMetrics().height() + 2));
    sizePanel_->setMinimumWidth(1);
    sizePanel_->setAlignment(Qt::AlignCenter);
    sizePanel_->setAutoFillBackground(true);
    QPalette sizePal = sizePanel_->palette();
    sizePal.setColor(QPalette::Window, kPanelBackground);
    sizePanel_->setPalette(sizePal);
    layout->addWidget(sizePanel_);

    if (view == CardPlace::Image) {
        loadedColour_ = QColor(0, 255, 255);
        unloadedColour_ = QColor(0, 159, 159);
        sizeTextColour_ = QColor(0, 255, 255);
    } else {
        loadedColour_ = Qt::white;
        unloadedColour_ = QColor(128, 128, 128);
        sizeTextColour_ = QColor(253, 253, 253);
    }
    SetLoadedLook(false);
}

QString CardView::Title() const {
    return kColumns[PlaceIndex(view_)].title;
}

bool CardView::AddPicture(const std::string& path, bool ownOnly, QString& fileError) {
    // Read through a descriptor that never follows another user's link nor
    // waits on a FIFO; with ownOnly only a file of this user's is taken.
    constexpr size_t kPictureLimit = 16 << 20;
    std::vector<uint8_t> bytes;
    QImage image;
    QString reason;
    if (!ReadWholeFile(path, ownOnly, kPictureLimit, bytes))
        reason = QString::fromStdString(FileErrorText(errno));
    else if (!image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "BMP"))
        reason = QStringLiteral("Not a valid bitmap");
    if (image.isNull()) {
        fileError =
            QString("Cannot open file \"%1\". %2").arg(QString::fromStdString(path), reason);
        return false;
    }
    model_->AddPicture(QPixmap::fromImage(image));
    return true;
}

CardView::Build CardView::BuildIconList(CardVolume& source, const std::string& startDir,
                                        CardFeedback& ui, LinkPort* link, QString& fileError) {
    model_->ClearPictures();
    const std::string noIcon = SideFilePath(startDir, kNoIconFileName);
    const std::string frameFile = SideFilePath(startDir, kFrameFileName);
    Build result = Build::Done;

    for (int k = 0; k < volume_.ListedCount() && result == Build::Done; ++k) {
        const int i = volume_.ListMap()[k];
        const SaverEntry& e = volume_.Entries()[i];
        ui.SetProgress(0, e.IconCount);
        const int frames = e.ShownFrames() == 0 ? 1 : e.ShownFrames();
        model_->StartFrames(i, frames);
        if (e.IconCount == 0) {
            model_->SetFrameImage(i, 0, model_->PictureCount());
            if (!AddPicture(noIcon, false, fileError))
                result = Build::FileError;
            continue;
        }
        for (int j = 0; j < frames; ++j) {
            model_->SetFrameImage(i, j, model_->PictureCount());
            // Removed rather than truncated: ext4 flushes a file rewritten by
            // truncation to disk on close, at a cost of milliseconds a frame.
            // A link under the name stays, and the write refuses it.
            RemoveScratchFile(frameFile);
            errno = 0;
            const bool extracted =
                source.ExtractIcon(static_cast<uint8_t>(i), static_cast<uint16_t>(j), frameFile);
            const int writeError = errno;
            if (link != nullptr && volume_.Place() != CardPlace::Image && link->LinkFailed) {
                result = Build::LinkFailed;
                break;
            }
            // A folder that refuses the frame must not show an older file's
            // picture.
            if (!extracted && writeError != 0) {
                fileError = QString("Cannot create file \"%1\". %2")
                                .arg(QString::fromStdString(frameFile),
                                     QString::fromStdString(FileErrorText(writeError)));
                result = Build::FileError;
                break;
            }
            if (!AddPicture(frameFile, true, fileError)) {
                result = Build::FileError;
                break;
            }
            ui.SetProgress(j + 1, e.IconCount);
        }
    }
    ui.SetProgress(0, 100);
    return result;
}

void CardView::FillListView() {
    formatted_ = true;
    model_->SetCard(&volume_);
    sizePanel_->setText(QString::number(volume_.FreeBlocks()) + kFreeSuffix);
    UpdateSizeName();
}

void CardView::ShowUnformatted() {
    formatted_ = false;
    // The items of the card read before would stand for entries this card
    // does not have.
    model_->SetCard(nullptr);
    sizePanel_->setText(kNotFormattedText);
    UpdateSizeName();
}

void CardView::Animate() {
    model_->Animate();
}

void CardView::Empty() {
    if (model_->rowCount() > 0)
        model_->SetCard(nullptr);
    // No card, no problems of one.
    ShowProblems(false);
}

void CardView::SetLoadedLook(bool loaded) {
    if (lookState_ == (loaded ? 1 : 0))
        return;
    lookState_ = loaded ? 1 : 0;
    SetTextColour(header_, loaded ? loadedColour_ : unloadedColour_);
    SetTextColour(sizePanel_, loaded ? sizeTextColour_ : kPanelBackground);
    UpdateSizeName();
}

void CardView::ShowProblems(bool problems) {
    if (problems == problems_)
        return;
    problems_ = problems;
    PlaceProblemsButton();
    problemsButton_->setVisible(problems);
    sizePanel_->setToolTip(problems ? kProblemsText : QString());
    sizePanel_->setAccessibleDescription(problems ? kProblemsText : QString());
}

void CardView::PlaceProblemsButton() {
    const QSize size = problemsButton_->size();
    problemsButton_->move(header_->width() - size.width() - 4,
                          (header_->height() - size.height()) / 2);
}

bool CardView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == header_ && event->type() == QEvent::Resize)
        PlaceProblemsButton();
    return QObject::eventFilter(watched, event);
}

void CardView::UpdateSizeName() {
    // The text is painted in the panel's colour while the column is not
    // loaded; a screen reader should not read it either.
    const QString name = Title() + " free space";
    sizePanel_->setAccessibleName(lookState_ == 1 ? name + ": " + sizePanel_->text() : name);
}

int CardView::DirectoryIndexAt(int position) const {
    return model_->DirectoryIndexAt(position);
}

QPixmap CardView::CurrentPicture(int entry) const {
    return model_->CurrentPicture(entry);
}

int CardView::CurrentFrame(int entry) const {
    return model_->CurrentFrame(entry);
}

int CardView::SelectedBlocks() const {
    int total = 0;
    for (const int position : list_->SelectedPositions())
        total += model_->index(position, 0).data(Qt::DisplayRole).toString().toInt();
    return total;
}

int CardView::PictureCount() const {
    return model_->PictureCount();
}
