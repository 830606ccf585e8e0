#pragma once

#include "card/CardPlace.h"
#include "ui/main/CardCommandTable.h"

#include <QObject>

class CardView;
class QAction;
class QMenu;
class QWidget;

// The pop-up menus of the three card columns, made from the command table:
// every item is a QAction with its caption and an objectName of its own
// (Slot1Refresh, FileOpenDcm, ...). Connect runs the commands from the
// items, the header buttons and the views' shortcuts; Enable says which can
// be chosen.
class CardMenus : public QObject {
    Q_OBJECT
  public:
    explicit CardMenus(QWidget* parent);

    // The column's menu.
    QMenu* Menu(CardPlace view) const { return menus_[PlaceIndex(view)]; }
    // A command's item in a column's menu; null where it does not appear.
    QAction* Item(CardPlace view, CommandId id) const {
        return items_[PlaceIndex(view)][static_cast<int>(id)];
    }
    QAction* DeleteSelected(CardPlace view) const { return Item(view, CommandId::DeleteSelected); }
    // The format item of a column by its user block count (241, 240, 200).
    QAction* FormatItem(CardPlace view, int userBlocks) const;
    QAction* CheckCard(CardPlace view) const { return Item(view, CommandId::CheckCard); }
    QAction* Undo(CardPlace view) const { return Item(view, CommandId::Undo); }
    QAction* History(CardPlace view) const { return Item(view, CommandId::History); }
    QAction* ExportAll(CardPlace view) const { return Item(view, CommandId::ExportAll); }
    QAction* ImportFolder(CardPlace view) const { return Item(view, CommandId::ImportFolder); }

    // The items, header buttons and shortcuts run their commands on targets;
    // a menu about to show enables its items afresh.
    void Connect(const CardCommandTargets& targets);
    // No command runs any more (the targets are going).
    void Disconnect();
    // A column's items and header buttons as its card allows.
    void Enable(CardPlace view, bool loaded, CardView& shown);

  private:
    void Build(CardPlace view);

    QMenu* menus_[3] = {};
    QAction* items_[3][kCommandCount] = {};
    // The context of every connection Connect makes.
    QObject* wiring_ = nullptr;
};
