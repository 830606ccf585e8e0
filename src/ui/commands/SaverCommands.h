#pragma once

#include <QObject>

class DciCommands;
class DcmCommands;
class FolderCommands;
class HistoryCommands;
class CommandUi;
class MainWindow;
class SaverDrags;
class TransferCommands;

// The commands on savers and cards, attached to the main window's menu
// items, header buttons and views: card images, single-saver files, the
// choice windows of a double click, "Delete Selected", and drag and drop.
class SaverCommands : public QObject {
    Q_OBJECT
  public:
    explicit SaverCommands(MainWindow& window);

    DcmCommands& Dcm() { return *dcm_; }
    DciCommands& Dci() { return *dci_; }
    TransferCommands& Transfers() { return *transfers_; }
    SaverDrags& Drags() { return *drags_; }
    HistoryCommands& History() { return *history_; }
    FolderCommands& Folders() { return *folders_; }

  private:
    void Connect();

    MainWindow& window_;
    DcmCommands* dcm_ = nullptr;
    DciCommands* dci_ = nullptr;
    TransferCommands* transfers_ = nullptr;
    SaverDrags* drags_ = nullptr;
    HistoryCommands* history_ = nullptr;
    FolderCommands* folders_ = nullptr;
};

// Creates the commands (and their windows, once) for the window's lifetime.
SaverCommands* AttachSaverCommands(MainWindow& window);
