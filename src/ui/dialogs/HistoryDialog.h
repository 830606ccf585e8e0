#pragma once

#include "card/JournalFile.h"

#include <QDialog>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

// "History": the changes of one card, newest first, with their time, command
// and the savers they took off or put on. "Recover" asks for the savers a
// selected delete or format took off the card.
class HistoryDialog : public QDialog {
    Q_OBJECT
  public:
    explicit HistoryDialog(QWidget* parent = nullptr);

    // Fills the list (records oldest first, as stored) for the card called
    // cardName; selects the newest change.
    void Show(const QString& cardName, const std::vector<JournalRecord>& records);
    // Runs with the record index (oldest first) when "Recover" is pressed.
    std::function<void(int)> OnRecover;

    QTreeWidget* List() const { return list_; }
    QPushButton* RecoverButton() const { return recover_; }

  private:
    void SelectionChanged();

    QLabel* heading_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* recover_ = nullptr;
    QPushButton* close_ = nullptr;
    std::vector<bool> recoverable_;
};
