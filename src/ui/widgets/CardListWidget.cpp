#include "ui/widgets/CardListWidget.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

CardListWidget::CardListWidget(QWidget* parent) : QListView(parent) {
    setViewMode(QListView::IconMode);
    setIconSize(QSize(32, 32));
    setGridSize(QSize(60, 56));
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    // Static items turn drops off; the transfer commands want them.
    setMovement(QListView::Static);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

QList<int> CardListWidget::SelectedPositions() const {
    QList<int> positions;
    if (selectionModel() == nullptr)
        return positions;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        positions << index.row();
    std::sort(positions.begin(), positions.end());
    return positions;
}

void CardListWidget::selectionChanged(const QItemSelection& selected,
                                      const QItemSelection& deselected) {
    QListView::selectionChanged(selected, deselected);
    emit SelectionChanged();
}

void CardListWidget::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit Clicked();
}

void CardListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit Activated();
}

void CardListWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit Activated();
        return;
    }
    // Shift+F10 is the keyboard's other way to the pop-up menu, beside the
    // Menu key: at the current item, or at the view's corner.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        event->accept();
        const QRect item = visualRect(currentIndex());
        emit customContextMenuRequested(item.isValid() ? item.center() : QPoint(8, 8));
        return;
    }
    QListView::keyPressEvent(event);
    // Tab leaves the view; it is not a key of the view's own.
    if (event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab)
        emit Clicked();
}

void CardListWidget::startDrag(Qt::DropActions supportedActions) {
    if (StartDragHook)
        StartDragHook(supportedActions);
}

void CardListWidget::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void CardListWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (DragMoveHook)
        DragMoveHook(event);
    else
        event->ignore();
}

void CardListWidget::dropEvent(QDropEvent* event) {
    if (DropHook)
        DropHook(event);
    else
        event->ignore();
}
