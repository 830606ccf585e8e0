#pragma once

#include <QObject>

class CheckCardDialog;
class MainWindow;

// "Check card..." of the three pop-up menus: the loaded card of a view in
// the check window, holding the link and the auto-refresh tick for the
// whole visit, then the view read again.
class CheckCardCommand : public QObject {
    Q_OBJECT
  public:
    explicit CheckCardCommand(MainWindow& window, QObject* parent = nullptr);

    CheckCardDialog& Dialog() { return *dialog_; }
    // View index: 0 slot 1, 1 slot 2, 2 the open image.
    void Run(int index);

  private:
    MainWindow& window_;
    CheckCardDialog* dialog_ = nullptr;
};
