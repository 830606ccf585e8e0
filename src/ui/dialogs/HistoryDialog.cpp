#include "ui/dialogs/HistoryDialog.h"

#include "card/JournalCommands.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRecordRole = Qt::UserRole;

} // namespace

HistoryDialog::HistoryDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("HistoryDialog");
    setWindowTitle("History");
    setAccessibleName("History");
    setModal(true);
    resize(560, 360);

    heading_ = new QLabel(this);
    heading_->setObjectName("historyHeading");
    heading_->setTextFormat(Qt::PlainText);
    list_ = new QTreeWidget(this);
    list_->setObjectName("historyList");
    list_->setAccessibleName("Changes");
    list_->setAccessibleDescription("The card's changes, newest first");
    list_->setColumnCount(3);
    list_->setHeaderLabels({"Time", "Command", "Savers"});
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    heading_->setBuddy(list_);

    recover_ = new QPushButton("Recover", this);
    recover_->setObjectName("historyRecover");
    recover_->setAccessibleName("Recover");
    recover_->setAccessibleDescription(
        "Put back the savers the selected change deleted, where their blocks are unchanged");
    close_ = new QPushButton("Close", this);
    close_->setObjectName("historyClose");
    close_->setAccessibleName("Close");
    close_->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(recover_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(list_);
    layout->addLayout(buttons);

    connect(list_, &QTreeWidget::itemSelectionChanged, this, &HistoryDialog::SelectionChanged);
    connect(recover_, &QPushButton::clicked, this, [this] {
        QTreeWidgetItem* item = list_->currentItem();
        if (item != nullptr && OnRecover)
            OnRecover(item->data(0, kRecordRole).toInt());
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
}

void HistoryDialog::Show(const QString& cardName, const std::vector<JournalRecord>& records) {
    heading_->setText(records.empty() ? "No changes of " + cardName + " are in the history."
                                      : "Changes of " + cardName + ", newest first:");
    list_->clear();
    recoverable_.assign(records.size(), false);
    for (int i = static_cast<int>(records.size()) - 1; i >= 0; --i) {
        const JournalRecord& r = records[static_cast<size_t>(i)];
        const QString when = QDateTime::fromSecsSinceEpoch(r.time).toString("yyyy-MM-dd hh:mm:ss");
        auto* item = new QTreeWidgetItem(list_, {when, QString::fromStdString(r.command),
                                                 QString::fromStdString(DescribeChange(r))});
        item->setData(0, kRecordRole, i);
        recoverable_[static_cast<size_t>(i)] = !r.removed.empty();
    }
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
    SelectionChanged();
}

void HistoryDialog::SelectionChanged() {
    const QTreeWidgetItem* item = list_->currentItem();
    const int i = item != nullptr ? item->data(0, kRecordRole).toInt() : -1;
    recover_->setEnabled(i >= 0 && static_cast<size_t>(i) < recoverable_.size() &&
                         recoverable_[static_cast<size_t>(i)]);
}
