#pragma once

#include "card/CardPlace.h"

#include <QObject>
#include <QString>

class HistoryDialog;
class CommandContext;

// "Undo ..." (Ctrl+Z in a focused view) and "History..." of the three pop-up
// menus, and "Recover" in the history window. One item takes a change back
// and puts it back again: after an undo it reads "Redo ...".
class HistoryCommands : public QObject {
    Q_OBJECT
  public:
    HistoryCommands(CommandContext& ui, QObject* parent = nullptr);

    HistoryDialog& History() { return *dialog_; }

    // Takes back the last change of a view's card, or tells why not.
    void Undo(CardPlace view);
    // The history window of a view's card.
    void ShowHistory(CardPlace view);
    // The undo item's caption names the change it would take back.
    void UpdateUndoCaption(CardPlace view);
    // "Undo delete B" for the last change "delete B", "Redo delete B" for
    // "undo delete B".
    static QString UndoCaption(const QString& lastChange);

  private:
    void Recover(CardPlace view, int record);
    void FillHistory(CardPlace view);

    CommandContext& ui_;
    HistoryDialog* dialog_ = nullptr;
};
