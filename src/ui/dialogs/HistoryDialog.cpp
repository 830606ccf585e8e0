#include "ui/dialogs/HistoryDialog.h"

#include "card/JournalCommands.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRecordRole = Qt::UserRole;

// A tree view asks its rows' heights without the columns' widths, so text
// never wraps there; this hands the cells of the one column that wraps (the
// others are as wide as their texts) that column's width.
class WrappingDelegate : public QStyledItemDelegate {
  public:
    WrappingDelegate(QTreeView* view, int column)
        : QStyledItemDelegate(view), view_(view), column_(column) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (index.column() != column_)
            return QStyledItemDelegate::sizeHint(option, index);
        QStyleOptionViewItem cell(option);
        // A rectangle of no height counts as none: it must be a real one.
        cell.rect = QRect(0, 0, view_->columnWidth(index.column()), option.fontMetrics.height());
        cell.features |= QStyleOptionViewItem::WrapText;
        return QStyledItemDelegate::sizeHint(cell, index);
    }

  private:
    QTreeView* view_;
    int column_;
};

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
    // Time and command take the width they need; the savers get the rest and
    // wrap there, at any scale, rather than end in "...".
    list_->setWordWrap(true);
    list_->setUniformRowHeights(false);
    list_->setTextElideMode(Qt::ElideNone);
    list_->header()->setStretchLastSection(true);
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    list_->setItemDelegate(new WrappingDelegate(list_, 2));
    // A column of another width wraps its texts anew.
    connect(list_->header(), &QHeaderView::sectionResized, list_,
            [this] { QTimer::singleShot(0, list_, [this] { list_->doItemsLayout(); }); });
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
        const QString command = QString::fromStdString(ShownCommand(r));
        const QString savers = QString::fromStdString(DescribeChange(r));
        auto* item = new QTreeWidgetItem(list_, {when, command, savers});
        // The whole row at a glance, however narrow its columns.
        const QString whole = when + "  " + command + "\n" + savers;
        for (int column = 0; column < 3; ++column)
            item->setToolTip(column, whole);
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
