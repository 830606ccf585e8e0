#include "ui/main/CardMenus.h"

#include <QAction>
#include <QMenu>

namespace {

QAction* Item(QMenu* menu, const char* caption, const QString& name) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

QAction* FormatMenu(QMenu* menu, const char* caption, const QString& name, QAction** items) {
    auto* sub = new QMenu(caption, menu);
    sub->setObjectName(name + "Menu");
    sub->setAccessibleName(caption);
    QAction* action = menu->addMenu(sub);
    action->setObjectName(name);
    items[0] = Item(sub, "241 Blocks", name + "241");
    items[1] = Item(sub, "240 Blocks", name + "240");
    items[2] = Item(sub, "200 Blocks", name + "200");
    return action;
}

QAction* DeleteItem(QMenu* menu, const QString& name) {
    QAction* action = Item(menu, "Delete Selected", name);
    action->setShortcut(QKeySequence(Qt::Key_Delete));
    // Each view gets the action itself, so Del acts on the focused view only.
    action->setShortcutContext(Qt::WidgetShortcut);
    return action;
}

void BuildSlotMenu(QMenu* menu, const QString& prefix, CardMenus::SlotItems& items) {
    items.refresh = Item(menu, "Refresh", prefix + "Refresh");
    menu->addSeparator();
    items.uploadDcm = Item(menu, "Upload DCM file", prefix + "UploadDcm");
    menu->addSeparator();
    items.importDci = Item(menu, "Import DCI file", prefix + "ImportDci");
    items.importBmp = Item(menu, "Import BMP picture", prefix + "ImportBmp");
    menu->addSeparator();
    items.saveAsDcm = Item(menu, "Save as DCM file", prefix + "SaveAsDcm");
    menu->addSeparator();
    QAction* sizes[3];
    items.format = FormatMenu(menu, "Delete All ( Format )", prefix + "Format", sizes);
    items.format241 = sizes[0];
    items.format240 = sizes[1];
    items.format200 = sizes[2];
    items.deleteSelected = DeleteItem(menu, prefix + "DeleteSelected");
}

} // namespace

CardMenus::CardMenus(QWidget* parent) : QObject(parent) {
    const char* names[3] = {"Slot1Menu", "Slot2Menu", "FileMenu"};
    for (int i = 0; i < 3; ++i) {
        menus_[i] = new QMenu(parent);
        menus_[i]->setObjectName(names[i]);
    }
    const char* titles[3] = {"Slot 1", "Slot 2", "File"};
    for (int i = 0; i < 3; ++i) {
        menus_[i]->setTitle(titles[i]);
        menus_[i]->setAccessibleName(titles[i]);
    }
    BuildSlotMenu(menus_[0], "Slot1", slot1);
    BuildSlotMenu(menus_[1], "Slot2", slot2);

    QMenu* m = menus_[2];
    file.newDcm = Item(m, "New DCM File", "FileNewDcm");
    file.openDcm = Item(m, "Open DCM File", "FileOpenDcm");
    file.closeDcm = Item(m, "Close DCM File", "FileCloseDcm");
    m->addSeparator();
    file.importDci = Item(m, "Import DCI File", "FileImportDci");
    file.importBmp = Item(m, "Import Caption BMP", "FileImportBmp");
    m->addSeparator();
    file.saveAsDcm = Item(m, "Save as DCM file", "FileSaveAsDcm");
    m->addSeparator();
    QAction* sizes[3];
    file.format = FormatMenu(m, "Delete All (Format)", "FileFormat", sizes);
    file.format241 = sizes[0];
    file.format240 = sizes[1];
    file.format200 = sizes[2];
    file.deleteSelected = DeleteItem(m, "FileDeleteSelected");

    for (CardPlace view : kCardPlaces)
        AddOwnItems(view);
}

void CardMenus::AddOwnItems(CardPlace view) {
    const int i = PlaceIndex(view);
    const QString prefix = i == 0 ? "Slot1" : i == 1 ? "Slot2" : "File";
    QMenu* m = menus_[i];
    m->addSeparator();
    checkCard_[i] = Item(m, "Check card...", prefix + "CheckCard");
    undo_[i] = Item(m, "Undo", prefix + "Undo");
    history_[i] = Item(m, "History...", prefix + "History");
    exportAll_[i] = Item(m, "Export all savers...", prefix + "ExportAll");
    importFolder_[i] = Item(m, "Import folder...", prefix + "ImportFolder");

    undo_[i]->setShortcut(QKeySequence::Undo);
    // As with Del: the view holding the focus takes the key.
    undo_[i]->setShortcutContext(Qt::WidgetShortcut);
}

QAction* CardMenus::DeleteSelected(CardPlace view) const {
    return view == CardPlace::Slot1   ? slot1.deleteSelected
           : view == CardPlace::Slot2 ? slot2.deleteSelected
                                      : file.deleteSelected;
}

QAction* CardMenus::FormatItem(CardPlace view, int userBlocks) const {
    if (view == CardPlace::Image)
        return userBlocks == 241   ? file.format241
               : userBlocks == 240 ? file.format240
                                   : file.format200;
    const SlotItems& s = view == CardPlace::Slot1 ? slot1 : slot2;
    return userBlocks == 241 ? s.format241 : userBlocks == 240 ? s.format240 : s.format200;
}
