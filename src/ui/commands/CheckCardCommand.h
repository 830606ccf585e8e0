#pragma once

#include "card/CardPlace.h"

#include <QObject>

class CheckCardDialog;
class CommandContext;

// "Check card..." of the three pop-up menus: the loaded card of a view in
// the check window, holding the link and the auto-refresh tick for the
// whole visit, then the view read again.
class CheckCardCommand : public QObject {
    Q_OBJECT
  public:
    explicit CheckCardCommand(CommandContext& ui, QObject* parent = nullptr);

    CheckCardDialog& Dialog() { return *dialog_; }
    void Run(CardPlace view);

  private:
    CommandContext& ui_;
    CheckCardDialog* dialog_ = nullptr;
};
