#pragma once

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

    // The column's menu: 0 slot 1, 1 slot 2, 2 file.
    QMenu* Menu(int index) const { return menus_[index]; }

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
    QAction* DeleteSelected(int index) const;
    QAction* FormatItem(int index, int userBlocks) const;
    // "Undo ..." (Ctrl+Z in the focused view; its caption names the change)
    // and "History..." of a column.
    QAction* Undo(int index) const { return undo_[index]; }
    QAction* History(int index) const { return history_[index]; }

  private:
    QMenu* menus_[3] = {};
    QAction* undo_[3] = {};
    QAction* history_[3] = {};
};
