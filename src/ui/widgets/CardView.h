#pragma once

#include "card/CardPlace.h"
#include "card/CardVolume.h"

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <string>

class CardFeedback;
class CardListModel;
class CardListWidget;
class LinkPort;
class QLabel;
class QToolButton;
class QWidget;

// One card column of the main window: the header with its "DCM" and "DCI"
// buttons, the icon view of one CardVolume, and the free-space line. It
// reads the icon frames into the view's model (every frame passes through
// "Bmp.bmp"; savers without icons show "NA.bmp"), lets the model list the
// volume's savers and animate them, and answers which saver an item stands
// for. It only reads the volume: the listing is made by whoever reads the
// card.
class CardView : public QObject {
    Q_OBJECT
  public:
    static constexpr int kHeaderHeight = 41;
    static constexpr int kSizePanelHeight = 17;
    static constexpr const char* kFrameFileName = "Bmp.bmp";
    static constexpr const char* kNotFormattedText = "Not a formated Card";
    static constexpr const char* kFreeSuffix = " BLOCKS FREE";
    static constexpr const char* kProblemsText = "This card has problems: Check card...";

    CardView(CardPlace view, const CardVolume& volume, QWidget* parent);

    CardPlace Shows() const { return view_; }
    QWidget* Column() const { return column_; }
    QLabel* Header() const { return header_; }
    QToolButton* DcmButton() const { return dcmButton_; }
    QToolButton* DciButton() const { return dciButton_; }
    CardListWidget* List() const { return list_; }
    // What the icon view shows: the volume's listed savers and their icons.
    CardListModel* Model() const { return model_; }
    QLabel* SizePanel() const { return sizePanel_; }
    // "Slot 1", "Slot 2" or "File".
    QString Title() const;

    // The outcome of BuildIconList.
    enum class Build { Done, LinkFailed, FileError };
    // Loads a picture for every shown frame of the savers the volume lists
    // (LoadVolume made the listing), each showing its first frame. On
    // FileError, fileError holds the message to show. The progress bar ends
    // at 0 either way. source is the volume shown, for reading the frames
    // from the card.
    Build BuildIconList(CardVolume& source, const std::string& startDir, CardFeedback& ui,
                        LinkPort* link, QString& fileError);
    // One item per listed saver, captioned with its size; the free-space line.
    void FillListView();
    // An erased card: no items, "Not a formated Card".
    void ShowUnformatted();
    bool Formatted() const { return formatted_; }
    // Next icon frame of every listed saver.
    void Animate();
    // Empties the view (not the listing of the volume).
    void Empty();
    // The colours of a loaded or unloaded column.
    void SetLoadedLook(bool loaded);
    // Marks the column of a card whose listing found damage (a warning
    // button in the header, which asks for "Check card...", and the text on
    // the free-space line), or takes the mark away.
    void ShowProblems(bool problems);
    bool ProblemsShown() const { return problems_; }
    QToolButton* ProblemsButton() const { return problemsButton_; }

    // The directory index item `position` stands for, or -1.
    int DirectoryIndexAt(int position) const;
    // The picture the view shows for directory entry `entry` right now
    // (a null pixmap when the entry is not listed).
    QPixmap CurrentPicture(int entry) const;
    // The icon frame it shows for that entry right now.
    int CurrentFrame(int entry) const;
    // Block counts of the selected items, added from their captions.
    int SelectedBlocks() const;
    // Number of pictures in the image list.
    int PictureCount() const;

  signals:
    // The warning button was pressed: the card is to be checked.
    void CheckRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool AddPicture(const std::string& path, bool ownOnly, QString& fileError);
    void PlaceProblemsButton();
    void UpdateSizeName();

    CardPlace view_;
    const CardVolume& volume_;
    QWidget* column_ = nullptr;
    QLabel* header_ = nullptr;
    QToolButton* dcmButton_ = nullptr;
    QToolButton* dciButton_ = nullptr;
    CardListWidget* list_ = nullptr;
    CardListModel* model_ = nullptr;
    QLabel* sizePanel_ = nullptr;
    QToolButton* problemsButton_ = nullptr;
    bool problems_ = false;
    QColor loadedColour_;
    QColor unloadedColour_;
    QColor sizeTextColour_;
    int lookState_ = -1; // -1 unknown, 0 unloaded, 1 loaded
    bool formatted_ = true;
};
