#include "ui/widgets/CardListModel.h"

#include "card/SaverText.h"
#include "qtbase/PlainText.h"

#include <QBitmap>
#include <algorithm>

CardListModel::CardListModel(QObject* parent) : QAbstractListModel(parent) {}

void CardListModel::SetCard(const CardVolume* card) {
    beginResetModel();
    card_ = card;
    rows_.clear();
    const int listed = card == nullptr ? 0 : card->ListedCount();
    rows_.reserve(listed);
    for (int k = 0; k < listed; ++k) {
        const int i = card->ListMap()[k];
        const SaverEntry& e = card->Entries()[i];
        Row row;
        row.caption = QString::number(e.SizeBlocks);
        row.image = frameImage_[i][0];
        if (row.image < static_cast<int>(icons_.size()))
            row.icon = icons_[row.image];
        row.accessibleText = QString("%1, %2 blocks")
                                 .arg(QString::fromStdString(SaverText(e.Name)))
                                 .arg(e.SizeBlocks);
        // The description as the saver wrote it, Japanese ones included.
        row.description = QString::fromStdString(e.DescriptionText);
        row.toolTip = PlainToolTip(row.description);
        rows_.push_back(std::move(row));
    }
    endResetModel();
}

void CardListModel::ClearPictures() {
    pictures_.clear();
    icons_.clear();
    std::fill(std::begin(frames_), std::end(frames_), uint8_t{0});
}

void CardListModel::AddPicture(const QPixmap& picture) {
    QPixmap icon = picture;
    icon.setMask(picture.createMaskFromColor(Qt::white, Qt::MaskInColor));
    pictures_.push_back(picture);
    icons_.emplace_back(icon);
}

void CardListModel::StartFrames(int entry, int frames) {
    if (entry < 0 || entry >= CardVolume::kEntryCount)
        return;
    frames_[entry] = static_cast<uint8_t>(std::clamp(frames, 1, SaverEntry::kMaxFrames));
    frame_[entry] = 0;
}

void CardListModel::SetFrameImage(int entry, int frame, int image) {
    if (entry < 0 || entry >= CardVolume::kEntryCount || frame < 0 ||
        frame >= SaverEntry::kMaxFrames)
        return;
    frameImage_[entry][frame] = static_cast<uint16_t>(image);
}

void CardListModel::Animate() {
    if (card_ == nullptr)
        return;
    const int count = std::min<int>(card_->ListedCount(), static_cast<int>(rows_.size()));
    for (int k = 0; k < count; ++k) {
        const int i = card_->ListMap()[k];
        Row& row = rows_[k];
        const QString caption = QString::number(card_->Entries()[i].SizeBlocks);
        if (row.caption != caption) {
            row.caption = caption;
            EmitChanged(k, Qt::DisplayRole);
        }
        const int frames = frames_[i] == 0 ? 1 : frames_[i];
        if (frame_[i] >= frames)
            frame_[i] = 0;
        const int image = frameImage_[i][frame_[i]];
        if (image != row.image && image < static_cast<int>(icons_.size())) {
            row.icon = icons_[image];
            row.image = image;
            EmitChanged(k, Qt::DecorationRole);
        }
        frame_[i] = static_cast<uint8_t>(frame_[i] + 1 >= frames ? 0 : frame_[i] + 1);
    }
}

void CardListModel::EmitChanged(int row, int role) {
    const QModelIndex at = index(row, 0);
    if (role == Qt::DisplayRole)
        emit dataChanged(at, at, {Qt::DisplayRole, Qt::EditRole});
    else
        emit dataChanged(at, at, {role});
}

int CardListModel::DirectoryIndexAt(int row) const {
    if (card_ == nullptr || row < 0 || row >= card_->ListedCount())
        return -1;
    return card_->ListMap()[row];
}

QPixmap CardListModel::CurrentPicture(int entry) const {
    if (entry < 0 || entry >= CardVolume::kEntryCount || frames_[entry] == 0)
        return {};
    const int image = frameImage_[entry][CurrentFrame(entry)];
    return image < static_cast<int>(pictures_.size()) ? pictures_[image] : QPixmap();
}

int CardListModel::CurrentFrame(int entry) const {
    if (entry < 0 || entry >= CardVolume::kEntryCount)
        return 0;
    return frame_[entry] < frames_[entry] ? frame_[entry] : 0;
}

int CardListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant CardListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return {};
    const Row& row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return row.caption;
    case Qt::DecorationRole:
        return row.icon;
    case Qt::ToolTipRole:
        return row.toolTip;
    case Qt::AccessibleTextRole:
        return row.accessibleText;
    case Qt::AccessibleDescriptionRole:
        return row.description;
    case kDirectoryIndexRole:
        return DirectoryIndexAt(index.row());
    default:
        return {};
    }
}

Qt::ItemFlags CardListModel::flags(const QModelIndex& index) const {
    // Drops land on the view, not on an item. The items carry the flags the
    // view's items always had, so that screen readers see them unchanged.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled |
           Qt::ItemIsDragEnabled;
}

Qt::DropActions CardListModel::supportedDragActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions CardListModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}
