#pragma once

#include "card/CardPlace.h"
#include "qtbase/Prompter.h"

#include <QList>
#include <QObject>
#include <QString>
#include <vector>

class CopyToDialog;
class DciCommands;
class DeleteDialog;
class CardSession;
class CommandContext;
class SaverSelectedDialog;

// What the user does to single savers of the three views: the double click
// (or Enter) with its "Saver Selected", "Delete " and "Copy To" windows,
// "Delete Selected", and the savers dropped from one view onto another.
class TransferCommands : public QObject {
    Q_OBJECT
  public:
    TransferCommands(CommandContext& ui, DciCommands& dci, QObject* parent = nullptr);

    SaverSelectedDialog& SaverSelected() { return *saverSelected_; }
    DeleteDialog& Delete() { return *delete_; }
    CopyToDialog& CopyTo() { return *copyTo_; }

    // "Delete Selected"'s question for a view.
    static QString DeleteQuestion(CardPlace view);
    // The picture save dialog, its file name the last one chosen.
    static FileDialogSetup PictureDialog(const QString& fileName);

    // A double click or Enter in a view.
    void Activate(CardPlace view);
    // "Delete Selected" in a view.
    void DeleteSelected(CardPlace view);
    // The savers selected in view source dropped on view target.
    void DropSavers(CardPlace source, CardPlace target);

  private:
    void FillDialogs(CardPlace view, int entry);
    void DeleteFromDialog(CardPlace view, int entry);
    void CopyFromDialog(CardPlace view, int entry);
    void SavePicture(CardPlace view);
    bool WritePicture(CardPlace view, int entry, const std::string& path);
    void Deselect(CardPlace view, int position);
    // The directory entries of the savers selected in a view, in list order,
    // and their positions.
    std::vector<int> SelectedSavers(CardPlace view, QList<int>& positions);
    // The target of Copy To's button `code` for a saver of a view; false
    // when the button names none.
    static bool CopyTarget(CardPlace view, int code, CardPlace& target);
    CardSession& Session();

    CommandContext& ui_;
    DciCommands& dci_;
    SaverSelectedDialog* saverSelected_ = nullptr;
    DeleteDialog* delete_ = nullptr;
    CopyToDialog* copyTo_ = nullptr;
    QString pictureName_ = "*.BMP";
};
