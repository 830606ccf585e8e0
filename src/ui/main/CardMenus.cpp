#include "ui/main/CardMenus.h"

#include "card/CardSession.h"
#include "ui/main/CardPresenter.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

namespace {

const char* Caption(const CardCommand& row, CardPlace view) {
    return IsSlot(view) ? row.slotCaption : row.fileCaption;
}

QToolButton* Button(CardView& shown, HeaderButton button) {
    return button == HeaderButton::Dcm   ? shown.DcmButton()
           : button == HeaderButton::Dci ? shown.DciButton()
                                         : nullptr;
}

} // namespace

CardMenus::CardMenus(QWidget* parent) : QObject(parent) {
    const char* titles[3] = {"Slot 1", "Slot 2", "File"};
    for (CardPlace view : kCardPlaces) {
        const int i = PlaceIndex(view);
        menus_[i] = new QMenu(parent);
        menus_[i]->setTitle(titles[i]);
        menus_[i]->setAccessibleName(titles[i]);
        Build(view);
    }
}

void CardMenus::Build(CardPlace view) {
    // Object names: the menu "Slot1Menu", its items "Slot1Refresh", ...
    const QString prefix = view == CardPlace::Slot1   ? "Slot1"
                           : view == CardPlace::Slot2 ? "Slot2"
                                                      : "File";
    QMenu* menu = Menu(view);
    menu->setObjectName(prefix + "Menu");
    QMenu* sub = nullptr;
    bool ownStarted = false;
    for (const CardCommand& row : CardCommandTable()) {
        const char* caption = Caption(row, view);
        if (caption == nullptr)
            continue;
        const QString name = prefix + row.name;
        if (row.place == MenuPlace::SubItem) {
            QAction* action = sub->addAction(caption);
            action->setObjectName(name);
            items_[PlaceIndex(view)][static_cast<int>(row.id)] = action;
            continue;
        }
        const bool own = row.own && !ownStarted;
        ownStarted = ownStarted || row.own;
        if ((row.separated || own) && !menu->isEmpty())
            menu->addSeparator();
        QAction* action = nullptr;
        if (row.place == MenuPlace::SubMenu) {
            sub = new QMenu(caption, menu);
            sub->setObjectName(name + "Menu");
            sub->setAccessibleName(caption);
            action = menu->addMenu(sub);
        } else {
            action = menu->addAction(caption);
        }
        action->setObjectName(name);
        if (row.shortcut != QKeySequence::UnknownKey) {
            action->setShortcut(row.shortcut);
            // Each view gets the action itself, so the key acts on the
            // focused view only.
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        // No card is read yet: the program's own items wait for one; the
        // designed ones follow the first state tick.
        if (row.own && row.enabled != Enabling::Always)
            action->setEnabled(false);
        items_[PlaceIndex(view)][static_cast<int>(row.id)] = action;
    }
}

QAction* CardMenus::FormatItem(CardPlace view, int userBlocks) const {
    return Item(view, userBlocks == 241   ? CommandId::Format241
                      : userBlocks == 240 ? CommandId::Format240
                                          : CommandId::Format200);
}

void CardMenus::Connect(const CardCommandTargets& targets) {
    Disconnect();
    wiring_ = new QObject(this);
    CardPresenter& presenter = targets.presenter;
    for (CardPlace view : kCardPlaces) {
        CardView& shown = presenter.ViewOf(view);
        for (const CardCommand& row : CardCommandTable()) {
            QAction* action = Item(view, row.id);
            if (action == nullptr || row.run == nullptr)
                continue;
            const auto run = [targets, view, command = row.run] { command(targets, view); };
            connect(action, &QAction::triggered, wiring_, run);
            if (row.shortcut != QKeySequence::UnknownKey)
                shown.List()->addAction(action);
            if (QToolButton* button = Button(shown, row.button))
                connect(button, &QToolButton::clicked, wiring_, run);
        }
        connect(Menu(view), &QMenu::aboutToShow, wiring_, [this, &presenter, view] {
            Enable(view, presenter.Session().Loaded(view), presenter.ViewOf(view));
        });
    }
}

void CardMenus::Disconnect() {
    delete wiring_;
    wiring_ = nullptr;
}

void CardMenus::Enable(CardPlace view, bool loaded, CardView& shown) {
    // Nothing can be put onto an erased card; it has to be formatted.
    const bool formatted = loaded && shown.Formatted();
    for (const CardCommand& row : CardCommandTable()) {
        QAction* action = Item(view, row.id);
        if (action == nullptr || row.enabled == Enabling::Always)
            continue;
        const bool on = row.enabled == Enabling::Loaded ? loaded : formatted;
        action->setEnabled(on);
        // The file column's header buttons open or import an image whatever
        // the state.
        if (QToolButton* button = Button(shown, row.button); button != nullptr && IsSlot(view))
            button->setEnabled(on);
    }
}
