#pragma once

#include <QObject>
#include <QString>

class MainWindow;
class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

// The page functions of the paged card: the "Current Page : " label, the
// panel with the page number and "16M set page" that slides in from the left
// while the mouse rests on that label, and out again when it moves on.
class PagePanel : public QObject {
    Q_OBJECT
  public:
    static constexpr int kInLeft = 8;
    static constexpr int kOutLeft = -248;
    static constexpr const char* kCurrentPageText = "Current Page : ";

    explicit PagePanel(MainWindow& window, QWidget* parent);

    QWidget* Panel() const { return panel_; }
    QLabel* PageLabel() const { return pageLabel_; }
    QSpinBox* Spin() const { return spin_; }
    QPushButton* Set16MButton() const { return set16M_; }

    bool IsIn() const;
    bool IsOut() const;
    // Shows page p in the spin box (without selecting it again) and on the label.
    void ShowPage(int page);
    // "16M set page" is offered on cards of 15 or more pages.
    void ShowSet16M();

    // The mouse on the page label.
    void ShowPagePanel();
    // The mouse elsewhere, or a selection change in a view.
    void HidePagePanel();
    // Selects the page in the spin box.
    void ApplySpinPage();
    // The "16M set page" button.
    void Set16MPage();

  protected:
    // Keyboard users reach the panel with Tab: focus slides it in and out.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    MainWindow& window_;
    QWidget* panel_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QSpinBox* spin_ = nullptr;
    QPushButton* set16M_ = nullptr;
};
