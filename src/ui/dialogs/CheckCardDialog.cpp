#include "ui/dialogs/CheckCardDialog.h"

#include "card/CardBlockMap.h"
#include "card/CardVolume.h"
#include "card/CardWriteBack.h"
#include "card/ImageLock.h"
#include "card/SaverText.h"
#include "qtbase/Prompter.h"
#include "ui/widgets/CardBlockPicture.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QString ReportText(const CardCheckReport& report) {
    QString text;
    if (report.formatted)
        text += QStringLiteral("%1 user blocks, %2 %3, %4 BLOCKS FREE (the table has %5 free)\n")
                    .arg(report.userBlocks)
                    .arg(report.savers)
                    .arg(report.savers == 1 ? "saver" : "savers")
                    .arg(report.listedFree)
                    .arg(report.tableFree);
    for (const CardProblem& p : report.problems)
        text += (p.note ? "note: " : "problem: ") + Text(p.text) + "\n";
    const int n = report.ProblemCount();
    text += n == 0 ? QStringLiteral("clean.")
                   : QStringLiteral("%1 %2 found.").arg(n).arg(n == 1 ? "problem" : "problems");
    return text;
}

} // namespace

CheckCardDialog::CheckCardDialog(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
    setObjectName("CheckCardDialog");
    setModal(true);
    report_ = new QPlainTextEdit(this);
    report_->setObjectName("CheckReport");
    report_->setAccessibleName("Check report");
    report_->setReadOnly(true);
    report_->setTabChangesFocus(true);
    picture_ = new CardBlockPicture(this);
    legend_ = new QLabel(this);
    legend_->setObjectName("CheckLegend");
    legend_->setWordWrap(true);
    changes_ = new QListWidget(this);
    changes_->setObjectName("CheckChanges");
    changes_->setAccessibleName("Safe repair");
    // Whole sentences, wrapped, rather than a sideways scroll.
    changes_->setWordWrap(true);
    changes_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    repairButton_ = new QPushButton("Repair", this);
    repairButton_->setObjectName("CheckRepair");
    repairButton_->setAccessibleName("Repair");
    repairButton_->setAccessibleDescription("Write the changes listed under Safe repair");
    repairButton_->setAutoDefault(false);
    closeButton_ = new QPushButton("Close", this);
    closeButton_->setObjectName("CheckClose");
    closeButton_->setAccessibleName("Close");
    closeButton_->setDefault(true);

    auto* pictureColumn = new QVBoxLayout;
    pictureColumn->addWidget(picture_);
    pictureColumn->addWidget(legend_);
    pictureColumn->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(report_, 1);
    top->addLayout(pictureColumn);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(repairButton_);
    buttons->addWidget(closeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 3);
    layout->addWidget(new QLabel("Safe repair:", this));
    layout->addWidget(changes_, 2);
    layout->addLayout(buttons);
    resize(720, 480);
    setTabOrder(report_, picture_);
    setTabOrder(picture_, changes_);
    setTabOrder(changes_, repairButton_);
    setTabOrder(repairButton_, closeButton_);

    connect(repairButton_, &QPushButton::clicked, this, &CheckCardDialog::Repair);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);
}

bool CheckCardDialog::Load(CardVolume& volume, const QString& cardName) {
    volume_ = &volume;
    setWindowTitle("Check card: " + cardName);
    return Check();
}

void CheckCardDialog::AsLinkWork(const std::function<void()>& work) {
    if (linkWork_)
        linkWork_(work);
    else
        work();
}

bool CheckCardDialog::Check() {
    CardRepairReport plan;
    bool read = false;
    AsLinkWork([&] { read = PlanCardRepair(*volume_, plan); });
    if (!read) {
        // The block store has told of a link failure itself.
        if (plan.before.busy)
            prompter_.Warning(QString::fromStdString(ImageBusyText(volume_->ImageName())));
        else if (!LinkFailedOn(*volume_))
            prompter_.Warning("The card's root, table or directory could not be read.");
        return false;
    }
    Show(plan.before);
    ShowPlan(plan);
    return true;
}

void CheckCardDialog::Show(const CardCheckReport& report) {
    report_->setPlainText(ReportText(report));
    CardBlockMap map;
    MapCardBlocks(*volume_, map);
    QStringList names;
    for (int i = 0; i < CardVolume::kListedEntries; ++i)
        names << QString::fromStdString(SaverText(volume_->Entries()[i].TrimmedName()));
    picture_->SetMap(map, names);
    using Use = CardBlockMap::Use;
    legend_->setText(QStringLiteral("Coloured: savers (%1 blocks)\nWhite: free (%2)\nRed, "
                                    "crossed: damaged (%3)\nDark grey: system (%4)\nLight "
                                    "grey: beyond the user blocks (%5)")
                         .arg(map.count[static_cast<int>(Use::Saver)])
                         .arg(map.count[static_cast<int>(Use::Free)])
                         .arg(map.count[static_cast<int>(Use::Damaged)])
                         .arg(map.count[static_cast<int>(Use::System)])
                         .arg(map.count[static_cast<int>(Use::Outside)]));
    legend_->setAccessibleName(legend_->text());
}

void CheckCardDialog::ShowPlan(const CardRepairReport& plan) {
    changes_->clear();
    offered_ = plan.repairs;
    for (const std::string& text : plan.repairs)
        changes_->addItem("will repair: " + Text(text));
    for (const std::string& text : plan.refusals)
        changes_->addItem("left alone: " + Text(text));
    if (changes_->count() == 0)
        changes_->addItem("Nothing to repair.");
    repairButton_->setEnabled(!offered_.empty());
}

void CheckCardDialog::Repair() {
    if (volume_ == nullptr || offered_.empty())
        return;
    // The card may have changed since the list was shown: only the repair
    // the user saw is written.
    CardRepairReport done;
    bool ok = false;
    AsLinkWork([&] { ok = RepairCard(*volume_, done, &offered_); });
    if (done.changed) {
        prompter_.Info("The card has changed since it was checked; it has been checked again. "
                       "Nothing was written.");
        Check();
        return;
    }
    Show(done.after);
    changes_->clear();
    for (const std::string& text : done.repairs)
        changes_->addItem("repaired: " + Text(text));
    for (const std::string& text : done.refusals)
        changes_->addItem("not repaired: " + Text(text));
    offered_.clear();
    repairButton_->setEnabled(false);
    if (!ok)
        prompter_.Warning("Writing to the card failed; the repair stopped there.");
}
