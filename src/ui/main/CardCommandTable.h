#pragma once

#include "card/CardPlace.h"

#include <QKeySequence>
#include <span>

class CardPresenter;
class SaverCommands;
class ToolCommands;

// The commands of the three card menus, one per row of the table below.
enum class CommandId {
    Refresh,
    UploadDcm,
    NewDcm,
    OpenDcm,
    CloseDcm,
    ImportDci,
    ImportBmp,
    SaveAsDcm,
    Format,
    Format241,
    Format240,
    Format200,
    DeleteSelected,
    CheckCard,
    Undo,
    History,
    ExportAll,
    ImportFolder,
    Count
};
inline constexpr int kCommandCount = static_cast<int>(CommandId::Count);

// When a command can be chosen, from the state of its view's card.
enum class Enabling {
    Always,
    Loaded,    // a card is read in the view
    Formatted, // ... and formatted: something can be put onto it
};

// Where a command sits in its menu: an item, the item opening a sub-menu,
// or an item of the sub-menu the last such item opened.
enum class MenuPlace { Item, SubMenu, SubItem };

// The flat button of a column's header that runs the same command.
enum class HeaderButton { None, Dcm, Dci };

// What the commands run on: the window's command objects.
struct CardCommandTargets {
    CardPresenter& presenter;
    SaverCommands& savers;
    ToolCommands& tools;
};

// One command of the card menus: where it appears, with which caption, when
// it can be chosen, and what it runs on the view it was chosen in. The menus,
// their enabling, the views' shortcuts and the header buttons are made from
// the table (CardMenus).
struct CardCommand {
    CommandId id;
    // The item's objectName after its view's prefix: "Slot1" + "Refresh".
    const char* name;
    // The captions in the two slot menus and in the file menu; null where
    // the command does not appear.
    const char* slotCaption = nullptr;
    const char* fileCaption = nullptr;
    MenuPlace place = MenuPlace::Item;
    // A separator before it (unless it comes first in its menu).
    bool separated = false;
    // The program's own commands follow the designed ones, behind their own
    // separator.
    bool own = false;
    Enabling enabled = Enabling::Always;
    // Taken by the view holding the focus.
    QKeySequence::StandardKey shortcut = QKeySequence::UnknownKey;
    HeaderButton button = HeaderButton::None;
    // Null for the item opening a sub-menu.
    void (*run)(const CardCommandTargets& targets, CardPlace view) = nullptr;
};

// Every command, in menu order.
std::span<const CardCommand> CardCommandTable();
