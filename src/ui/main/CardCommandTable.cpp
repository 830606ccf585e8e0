#include "ui/main/CardCommandTable.h"

#include "ui/commands/CheckCardCommand.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/FolderCommands.h"
#include "ui/commands/HistoryCommands.h"
#include "ui/commands/SaverCommands.h"
#include "ui/commands/TransferCommands.h"
#include "ui/main/CardPresenter.h"
#include "ui/tools/ToolCommands.h"

namespace {

using T = const CardCommandTargets&;
using E = Enabling;

// The slot menus and the file menu share most rows; the file menu has no
// "Refresh" or upload, the slots no "New", "Open" or "Close". An erased card
// can be formatted and saved, but nothing can be put onto it.
constexpr CardCommand kTable[] = {
    {.id = CommandId::Refresh,
     .name = "Refresh",
     .slotCaption = "Refresh",
     .run = [](T t, CardPlace v) { t.presenter.RefreshCommand(v); }},
    {.id = CommandId::UploadDcm,
     .name = "UploadDcm",
     .slotCaption = "Upload DCM file",
     .separated = true,
     .enabled = E::Loaded,
     .button = HeaderButton::Dcm,
     .run = [](T t, CardPlace v) { t.savers.Dcm().Upload(v); }},
    {.id = CommandId::NewDcm,
     .name = "NewDcm",
     .fileCaption = "New DCM File",
     .run = [](T t, CardPlace) { t.savers.Dcm().New(); }},
    {.id = CommandId::OpenDcm,
     .name = "OpenDcm",
     .fileCaption = "Open DCM File",
     .button = HeaderButton::Dcm,
     .run = [](T t, CardPlace) { t.savers.Dcm().Open(); }},
    {.id = CommandId::CloseDcm,
     .name = "CloseDcm",
     .fileCaption = "Close DCM File",
     .enabled = E::Loaded,
     .run = [](T t, CardPlace) { t.savers.Dcm().Close(); }},
    {.id = CommandId::ImportDci,
     .name = "ImportDci",
     .slotCaption = "Import DCI file",
     .fileCaption = "Import DCI File",
     .separated = true,
     .enabled = E::Formatted,
     .button = HeaderButton::Dci,
     .run = [](T t, CardPlace v) { t.savers.Dci().Import(v); }},
    {.id = CommandId::ImportBmp,
     .name = "ImportBmp",
     .slotCaption = "Import BMP picture",
     .fileCaption = "Import Caption BMP",
     .enabled = E::Formatted,
     .run = [](T t, CardPlace v) { t.tools.ImportCaptionBmp(v); }},
    {.id = CommandId::SaveAsDcm,
     .name = "SaveAsDcm",
     .slotCaption = "Save as DCM file",
     .fileCaption = "Save as DCM file",
     .separated = true,
     .enabled = E::Loaded,
     .run = [](T t, CardPlace v) { t.savers.Dcm().SaveAs(v); }},
    {.id = CommandId::Format,
     .name = "Format",
     .slotCaption = "Delete All ( Format )",
     .fileCaption = "Delete All (Format)",
     .place = MenuPlace::SubMenu,
     .separated = true,
     .enabled = E::Loaded},
    {.id = CommandId::Format241,
     .name = "Format241",
     .slotCaption = "241 Blocks",
     .fileCaption = "241 Blocks",
     .place = MenuPlace::SubItem,
     .run = [](T t, CardPlace v) { t.presenter.FormatCommand(v, 241); }},
    {.id = CommandId::Format240,
     .name = "Format240",
     .slotCaption = "240 Blocks",
     .fileCaption = "240 Blocks",
     .place = MenuPlace::SubItem,
     .run = [](T t, CardPlace v) { t.presenter.FormatCommand(v, 240); }},
    {.id = CommandId::Format200,
     .name = "Format200",
     .slotCaption = "200 Blocks",
     .fileCaption = "200 Blocks",
     .place = MenuPlace::SubItem,
     .run = [](T t, CardPlace v) { t.presenter.FormatCommand(v, 200); }},
    {.id = CommandId::DeleteSelected,
     .name = "DeleteSelected",
     .slotCaption = "Delete Selected",
     .fileCaption = "Delete Selected",
     .enabled = E::Loaded,
     .shortcut = QKeySequence::Delete,
     .run = [](T t, CardPlace v) { t.savers.Transfers().DeleteSelected(v); }},

    // The program's own: the check window, the card's history, and whole
    // folders of save files.
    {.id = CommandId::CheckCard,
     .name = "CheckCard",
     .slotCaption = "Check card...",
     .fileCaption = "Check card...",
     .own = true,
     .enabled = E::Loaded,
     .run = [](T t, CardPlace v) { t.savers.CheckCard().Run(v); }},
    // Its caption names the change it would take back (HistoryCommands).
    {.id = CommandId::Undo,
     .name = "Undo",
     .slotCaption = "Undo",
     .fileCaption = "Undo",
     .own = true,
     .enabled = E::Loaded,
     .shortcut = QKeySequence::Undo,
     .run = [](T t, CardPlace v) { t.savers.History().Undo(v); }},
    {.id = CommandId::History,
     .name = "History",
     .slotCaption = "History...",
     .fileCaption = "History...",
     .own = true,
     .enabled = E::Loaded,
     .run = [](T t, CardPlace v) { t.savers.History().ShowHistory(v); }},
    {.id = CommandId::ExportAll,
     .name = "ExportAll",
     .slotCaption = "Export all savers...",
     .fileCaption = "Export all savers...",
     .own = true,
     .enabled = E::Loaded,
     .run = [](T t, CardPlace v) { t.savers.Folders().ExportAll(v); }},
    {.id = CommandId::ImportFolder,
     .name = "ImportFolder",
     .slotCaption = "Import folder...",
     .fileCaption = "Import folder...",
     .own = true,
     .enabled = E::Formatted,
     .run = [](T t, CardPlace v) { t.savers.Folders().ImportFolder(v); }},
};

// Every command has its one row.
constexpr bool EachCommandOnce() {
    int seen[kCommandCount] = {};
    for (const CardCommand& row : kTable)
        ++seen[static_cast<int>(row.id)];
    for (int count : seen)
        if (count != 1)
            return false;
    return true;
}
static_assert(EachCommandOnce());

} // namespace

std::span<const CardCommand> CardCommandTable() {
    return kTable;
}
