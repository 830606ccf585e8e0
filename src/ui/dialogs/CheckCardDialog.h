#pragma once

#include "card/CardCheck.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class CardBlockPicture;
class CardVolume;
class Prompter;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// "Check card...": the card check's report, a picture of the card's blocks
// and the safe repair, offered with the list of what it would change. The
// check and the repair are the engine's (card/CardCheck.h), the same as
// porvane-cli check. The card is touched only inside the link work the
// caller hands in (SetLinkWork): while the dialog merely shows its report,
// another program may check the same card image. The caller lists the card
// again afterwards (the check reads its tables afresh).
class CheckCardDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CheckCardDialog(Prompter& prompter, QWidget* parent = nullptr);

    // Checks volume and shows the result; false (after a warning) when its
    // tables could not be read. cardName goes into the caption.
    bool Load(CardVolume& volume, const QString& cardName);
    // Runs a read or a repair of the card as link work, the wait window up.
    using LinkWork = std::function<void(const std::function<void()>& work)>;
    void SetLinkWork(LinkWork around) { linkWork_ = std::move(around); }

    QPlainTextEdit* Report() const { return report_; }
    QListWidget* Changes() const { return changes_; }
    CardBlockPicture* Picture() const { return picture_; }
    QPushButton* RepairButton() const { return repairButton_; }
    QPushButton* CloseButton() const { return closeButton_; }

  public slots:
    // Plans again; when the plan is still the one shown, repairs.
    void Repair();

  private:
    void Show(const CardCheckReport& report);
    void ShowPlan(const CardRepairReport& plan);
    bool Check();
    void AsLinkWork(const std::function<void()>& work);

    Prompter& prompter_;
    CardVolume* volume_ = nullptr;
    std::vector<std::string> offered_;
    LinkWork linkWork_;

    QPlainTextEdit* report_ = nullptr;
    QListWidget* changes_ = nullptr;
    CardBlockPicture* picture_ = nullptr;
    QLabel* legend_ = nullptr;
    QPushButton* repairButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};
