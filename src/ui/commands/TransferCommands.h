#pragma once

#include "qtbase/Prompter.h"

#include <QObject>
#include <QString>

class CopyToDialog;
class DciCommands;
class DeleteDialog;
class MainWindow;
class SaverSelectedDialog;

// What the user does to single savers of the three views: the double click
// (or Enter) with its "Saver Selected", "Delete " and "Copy To" windows,
// "Delete Selected", and the savers dropped from one view onto another.
class TransferCommands : public QObject {
    Q_OBJECT
  public:
    TransferCommands(MainWindow& window, DciCommands& dci, QObject* parent = nullptr);

    SaverSelectedDialog& SaverSelected() { return *saverSelected_; }
    DeleteDialog& Delete() { return *delete_; }
    CopyToDialog& CopyTo() { return *copyTo_; }

    // "Delete Selected"'s question for view index.
    static QString DeleteQuestion(int index);
    // The picture save dialog, its file name the last one chosen.
    static FileDialogSetup PictureDialog(const QString& fileName);

    // A double click or Enter in view index.
    void Activate(int index);
    // "Delete Selected" in view index.
    void DeleteSelected(int index);
    // The savers selected in view source dropped on view target.
    void DropSavers(int source, int target);

    struct CopyOutcome {
        bool attempted = false; // not skipped at the name question
        bool done = false;      // the saver is on the target
        bool changed = false;   // a card was not the one listed: nothing written
    };
    // Copies directory entry `entry` of source to target, asking first when
    // a saver of that name is there; Yes replaces it.
    CopyOutcome CopyWithNameCheck(int source, int entry, int target);

  private:
    void FillDialogs(int index, int entry);
    void DeleteFromDialog(int index, int entry);
    void CopyFromDialog(int index, int entry);
    void SavePicture(int index);
    bool WritePicture(int index, int entry, const std::string& path);
    void Deselect(int index, int position);
    // The target of Copy To's button `code` for a saver of view index.
    static int CopyTarget(int index, int code);

    MainWindow& window_;
    DciCommands& dci_;
    SaverSelectedDialog* saverSelected_ = nullptr;
    DeleteDialog* delete_ = nullptr;
    CopyToDialog* copyTo_ = nullptr;
    QString pictureName_ = "*.BMP";
};
