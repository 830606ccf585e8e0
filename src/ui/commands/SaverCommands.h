#pragma once

#include <QObject>

class CheckCardCommand;
class DciCommands;
class DcmCommands;
class FolderCommands;
class HistoryCommands;
class CommandContext;
class SaverDrags;
class TransferCommands;

// The commands on savers and cards that the main window's menu items and
// header buttons run (CardMenus), and those of the views themselves: card
// images, single-saver files, the choice windows of a double click, "Delete
// Selected", and drag and drop.
class SaverCommands : public QObject {
    Q_OBJECT
  public:
    SaverCommands(CommandContext& ui, QObject* parent);

    DcmCommands& Dcm() { return *dcm_; }
    DciCommands& Dci() { return *dci_; }
    TransferCommands& Transfers() { return *transfers_; }
    SaverDrags& Drags() { return *drags_; }
    HistoryCommands& History() { return *history_; }
    FolderCommands& Folders() { return *folders_; }
    CheckCardCommand& CheckCard() { return *checkCard_; }

  private:
    void Connect();

    CommandContext& ui_;
    DcmCommands* dcm_ = nullptr;
    DciCommands* dci_ = nullptr;
    TransferCommands* transfers_ = nullptr;
    SaverDrags* drags_ = nullptr;
    HistoryCommands* history_ = nullptr;
    FolderCommands* folders_ = nullptr;
    CheckCardCommand* checkCard_ = nullptr;
};
