#pragma once

#include "card/View.h"

#include <QObject>

class QAction;
class QMenu;
class QWidget;

// The pop-up menus of the three card columns. Every item is a QAction with
// its designed caption and an objectName of its own (Slot1Refresh,
// FileOpenDcm, ...), so that the commands find and connect them; "Delete
// Selected" answers Del while its view has the focus.
class CardMenus : public QObject {
    Q_OBJECT
  public:
    explicit CardMenus(QWidget* parent);

    // The column's menu.
    QMenu* Menu(View view) const { return menus_[ViewIndex(view)]; }

    struct SlotItems {
        QAction* refresh;
        QAction* uploadDcm;
        QAction* importDci;
        QAction* importBmp;
        QAction* saveAsDcm;
        QAction* checkCard;
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
        QAction* checkCard;
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
    QAction* DeleteSelected(View view) const;
    QAction* FormatItem(View view, int userBlocks) const;
    // "Undo ..." (Ctrl+Z in the focused view; its caption names the change)
    // and "History..." of a column.
    QAction* Undo(View view) const { return undo_[ViewIndex(view)]; }
    QAction* History(View view) const { return history_[ViewIndex(view)]; }
    // "Export all savers..." and "Import folder..." of a column.
    QAction* ExportAll(View view) const { return exportAll_[ViewIndex(view)]; }
    QAction* ImportFolder(View view) const { return importFolder_[ViewIndex(view)]; }

  private:
    QMenu* menus_[3] = {};
    QAction* undo_[3] = {};
    QAction* history_[3] = {};
    QAction* exportAll_[3] = {};
    QAction* importFolder_[3] = {};
};
