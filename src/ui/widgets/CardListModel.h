#pragma once

#include "card/CardVolume.h"
#include "card/SaverEntry.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <vector>

// The savers one card lists, as rows of an icon view: row k stands for
// directory entry ListMap[k] of the card, shown with the icon frame its
// animation is at and captioned with the saver's size in blocks. It also
// keeps the card view's image list: every icon frame of every listed saver
// as a picture, and the frame each saver shows now.
//
// SetCard takes a snapshot of the rows (texts and first frames); Animate
// steps the icons and re-reads the captions from the card, as the state tick
// asks. The card is only read, never changed.
class CardListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    // The directory index a row stands for (an int), or -1.
    static constexpr int kDirectoryIndexRole = Qt::UserRole + 1;

    explicit CardListModel(QObject* parent = nullptr);

    // Lists the savers of card (null: none), each showing its first frame;
    // the image list must hold their frames by then. Always a model reset.
    void SetCard(const CardVolume* card);
    const CardVolume* Card() const { return card_; }

    // The image list, filled by whoever reads the frames off the card.
    // Empties it; the rows keep the icons they show until the next SetCard.
    void ClearPictures();
    // Adds a picture; its icon lets the view show through where it is white.
    void AddPicture(const QPixmap& picture);
    int PictureCount() const { return static_cast<int>(pictures_.size()); }
    // Entry `entry` has `frames` frames (at least 1) and starts at the first.
    void StartFrames(int entry, int frames);
    // Frame `frame` of entry `entry` is picture `image` of the list.
    void SetFrameImage(int entry, int frame, int image);

    // Next icon frame of every row; captions follow the card's sizes.
    void Animate();

    // The directory index row `row` stands for on the card, or -1.
    int DirectoryIndexAt(int row) const;
    // The picture shown for directory entry `entry` right now (a null
    // pixmap when the last reading did not list it), and its frame.
    QPixmap CurrentPicture(int entry) const;
    int CurrentFrame(int entry) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

  private:
    struct Row {
        QString caption;
        QIcon icon;
        int image = 0; // the picture the icon is
        QString toolTip;
        QString accessibleText;
        QString description;
    };

    void EmitChanged(int row, int role);

    const CardVolume* card_ = nullptr;
    std::vector<Row> rows_;

    // Opaque pictures (for the detail panel and the dialogs) and the
    // view's icons made of them.
    std::vector<QPixmap> pictures_;
    std::vector<QIcon> icons_;
    // Image index of every frame of every entry: wide enough for 32 frames
    // of each of the 208 listed entries.
    uint16_t frameImage_[CardVolume::kEntryCount][SaverEntry::kMaxFrames] = {};
    // Frames of each entry as last read (0: not listed), and the one shown.
    uint8_t frames_[CardVolume::kEntryCount] = {};
    uint8_t frame_[CardVolume::kEntryCount] = {};
};
