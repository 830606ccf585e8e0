#pragma once

#include <QListView>
#include <functional>

// The icon view of one card (it shows a CardListModel): 32 x 32 icons
// captioned with the saver sizes, several items selectable. It reports
// clicks (anywhere in the view), Enter and every other key the way the card
// views act on them, asks for its pop-up menu on Shift+F10 as on the Menu
// key, and leaves drags and drops to whoever installs the hooks below (the
// transfer commands); without hooks nothing is dragged and nothing is
// accepted.
class CardListWidget : public QListView {
    Q_OBJECT
  public:
    explicit CardListWidget(QWidget* parent = nullptr);

    // Drag and drop, for the transfer commands.
    std::function<void(Qt::DropActions)> StartDragHook;
    std::function<void(QDragMoveEvent*)> DragMoveHook;
    std::function<void(QDropEvent*)> DropHook;

    // Positions of the selected items, lowest first.
    QList<int> SelectedPositions() const;

  signals:
    // A mouse click in the view, or a key other than Enter.
    void Clicked();
    // A double click on an item, or Enter.
    void Activated();
    // The selected items changed.
    void SelectionChanged();

  protected:
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
