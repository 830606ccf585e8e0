#pragma once

#include <QObject>

class HistoryDialog;
class MainWindow;

// "Undo ..." (Ctrl+Z in a focused view) and "History..." of the three pop-up
// menus, and "Recover" in the history window.
class HistoryCommands : public QObject {
    Q_OBJECT
  public:
    HistoryCommands(MainWindow& window, QObject* parent = nullptr);

    HistoryDialog& History() { return *dialog_; }

    // Takes back the last change of view index's card, or tells why not.
    void Undo(int index);
    // The history window of view index's card.
    void ShowHistory(int index);
    // The undo item's caption names the change it would take back.
    void UpdateUndoCaption(int index);

  private:
    void Recover(int index, int record);
    void FillHistory(int index);

    MainWindow& window_;
    HistoryDialog* dialog_ = nullptr;
};
