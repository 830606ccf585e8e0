#pragma once

#include "card/View.h"
#include "qtbase/Prompter.h"

#include <QList>
#include <QObject>
#include <QString>
#include <vector>

class CopyToDialog;
class DciCommands;
class DeleteDialog;
class CardSession;
class CommandUi;
class SaverSelectedDialog;

// What the user does to single savers of the three views: the double click
// (or Enter) with its "Saver Selected", "Delete " and "Copy To" windows,
// "Delete Selected", and the savers dropped from one view onto another.
class TransferCommands : public QObject {
    Q_OBJECT
  public:
    TransferCommands(CommandUi& ui, DciCommands& dci, QObject* parent = nullptr);

    SaverSelectedDialog& SaverSelected() { return *saverSelected_; }
    DeleteDialog& Delete() { return *delete_; }
    CopyToDialog& CopyTo() { return *copyTo_; }

    // "Delete Selected"'s question for a view.
    static QString DeleteQuestion(View view);
    // The picture save dialog, its file name the last one chosen.
    static FileDialogSetup PictureDialog(const QString& fileName);

    // A double click or Enter in a view.
    void Activate(View view);
    // "Delete Selected" in a view.
    void DeleteSelected(View view);
    // The savers selected in view source dropped on view target.
    void DropSavers(View source, View target);

  private:
    void FillDialogs(View view, int entry);
    void DeleteFromDialog(View view, int entry);
    void CopyFromDialog(View view, int entry);
    void SavePicture(View view);
    bool WritePicture(View view, int entry, const std::string& path);
    void Deselect(View view, int position);
    // The directory entries of the savers selected in a view, in list order,
    // and their positions.
    std::vector<int> SelectedSavers(View view, QList<int>& positions);
    // The target of Copy To's button `code` for a saver of a view; false
    // when the button names none.
    static bool CopyTarget(View view, int code, View& target);
    CardSession& Session();

    CommandUi& ui_;
    DciCommands& dci_;
    SaverSelectedDialog* saverSelected_ = nullptr;
    DeleteDialog* delete_ = nullptr;
    CopyToDialog* copyTo_ = nullptr;
    QString pictureName_ = "*.BMP";
};
