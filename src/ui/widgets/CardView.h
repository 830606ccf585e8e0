#pragma once

#include "card/CardVolume.h"
#include "card/SaverEntry.h"

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class CardListWidget;
class CardUi;
class LinkPort;
class QLabel;
class QToolButton;
class QWidget;

// One card column of the main window: the header with its "DCM" and "DCI"
// buttons, the icon view of one CardVolume with its pictures, and the
// free-space line. It builds the listing from the volume (every icon frame
// passes through "Bmp.bmp"; savers without icons show "NA.bmp"), animates
// it, and answers which saver an item stands for.
class CardView : public QObject {
    Q_OBJECT
  public:
    static constexpr int kHeaderHeight = 41;
    static constexpr int kSizePanelHeight = 17;
    static constexpr const char* kFrameFileName = "Bmp.bmp";
    static constexpr const char* kNotFormattedText = "Not a formated Card";
    static constexpr const char* kFreeSuffix = " BLOCKS FREE";

    // index: 0 slot 1, 1 slot 2, 2 the open card image.
    CardView(int index, CardVolume& volume, QWidget* parent);

    int Index() const { return index_; }
    CardVolume& Volume() { return volume_; }
    QWidget* Column() const { return column_; }
    QLabel* Header() const { return header_; }
    QToolButton* DcmButton() const { return dcmButton_; }
    QToolButton* DciButton() const { return dciButton_; }
    CardListWidget* List() const { return list_; }
    QLabel* SizePanel() const { return sizePanel_; }
    // "Slot 1", "Slot 2" or "File".
    QString Title() const;

    // The outcome of BuildIconList.
    enum class Build { Done, LinkFailed, FileError };
    // Lists the volume's savers (ListSavers) and loads a picture for every
    // shown frame. On FileError, fileError holds the message to show. The
    // progress bar ends at 0 either way.
    Build BuildIconList(const std::string& startDir, CardUi& ui, LinkPort* link,
                        QString& fileError);
    // One item per listed saver, captioned with its size; the free-space line.
    void FillListView();
    // An erased card: nothing listed, "Not a formated Card".
    void ShowUnformatted();
    bool Formatted() const { return formatted_; }
    // Next icon frame of every listed saver.
    void Animate();
    // Empties the view (not the listing of the volume).
    void Empty();
    // The colours of a loaded or unloaded column.
    void SetLoadedLook(bool loaded);

    // The directory index item `position` stands for, or -1.
    int DirectoryIndexAt(int position) const;
    // The picture the view shows for directory entry `entry` right now
    // (a null pixmap when the entry is not listed).
    QPixmap CurrentPicture(int entry) const;
    // Block counts of the selected items, added from their captions.
    int SelectedBlocks() const;
    // Number of pictures in the image list.
    int PictureCount() const { return static_cast<int>(pictures_.size()); }

  private:
    bool AddPicture(const QString& path, QString& fileError);
    int ShownFrames(int entry) const;
    void UpdateSizeName();

    int index_;
    CardVolume& volume_;
    QWidget* column_ = nullptr;
    QLabel* header_ = nullptr;
    QToolButton* dcmButton_ = nullptr;
    QToolButton* dciButton_ = nullptr;
    CardListWidget* list_ = nullptr;
    QLabel* sizePanel_ = nullptr;
    QColor loadedColour_;
    QColor unloadedColour_;
    QColor sizeTextColour_;
    int lookState_ = -1; // -1 unknown, 0 unloaded, 1 loaded
    bool formatted_ = true;

    // The image list: opaque pictures (for the detail panel and the dialogs)
    // and the view's icons, whose white shows the view through as a picture
    // masked by itself does.
    std::vector<QPixmap> pictures_;
    std::vector<QIcon> icons_;
    // Image index of every frame of every entry: wide enough for 32 frames
    // of each of the 208 listed entries.
    uint16_t frameImage_[CardVolume::kEntryCount][SaverEntry::kMaxFrames] = {};
    // Image index each item shows now, by list position.
    std::vector<int> shownImage_;
};
