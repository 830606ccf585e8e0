#pragma once

#include "card/CardPlace.h"

#include <QObject>

class QAction;
class QMenu;
class QWidget;

// The pop-up menus of the three card columns. Every item is a QAction with
// its designed caption and an objectName of its own (Slot1Refresh,
// FileOpenDcm, ...), so that the commands find and connect them; "Delete
// Selected" answers Del while its view has the focus. The program's own items
// ("Check card...", "Undo ...", "History...") follow the designed ones,
// behind a separator of their own.
class CardMenus : public QObject {
    Q_OBJECT
  public:
    explicit CardMenus(QWidget* parent);

    // The column's menu.
    QMenu* Menu(CardPlace view) const { return menus_[PlaceIndex(view)]; }

    struct SlotItems {
        QAction* refresh;
        QAction* uploadDcm;
        QAction* importDci;
        QAction* importBmp;
        QAction* saveAsDcm;
        QAction* format; // the "Delete All ( Format )" sub-menu
        QAction* format241;
        QAction* format240;
        QAction* format200;
        QAction* deleteSelected;
    };
    struct FileItems {
        QAction* newDcm;
        QAction* openDcm;
        QAction* closeDcm;
        QAction* importDci;
        QAction* importBmp;
        QAction* saveAsDcm;
        QAction* format; // the "Delete All (Format)" sub-menu
        QAction* format241;
        QAction* format240;
        QAction* format200;
        QAction* deleteSelected;
    };
    SlotItems slot1{};
    SlotItems slot2{};
    FileItems file{};

    // "Delete Selected" of a column, and its three format items by size.
    QAction* DeleteSelected(CardPlace view) const;
    QAction* FormatItem(CardPlace view, int userBlocks) const;
    // The program's own items of a column: "Check card...", "Undo ..."
    // (Ctrl+Z in the focused view; its caption names the change, or the
    // change it would take back as "Redo ...") and "History...".
    QAction* CheckCard(CardPlace view) const { return checkCard_[PlaceIndex(view)]; }
    QAction* Undo(CardPlace view) const { return undo_[PlaceIndex(view)]; }
    QAction* History(CardPlace view) const { return history_[PlaceIndex(view)]; }
    // "Export all savers..." and "Import folder..." of a column.
    QAction* ExportAll(CardPlace view) const { return exportAll_[PlaceIndex(view)]; }
    QAction* ImportFolder(CardPlace view) const { return importFolder_[PlaceIndex(view)]; }

  private:
    // The block of the program's own items after the designed ones; a new
    // item is one more line here.
    void AddOwnItems(CardPlace view);

    QMenu* menus_[3] = {};
    QAction* checkCard_[3] = {};
    QAction* undo_[3] = {};
    QAction* history_[3] = {};
    QAction* exportAll_[3] = {};
    QAction* importFolder_[3] = {};
};
