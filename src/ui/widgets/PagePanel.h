#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

// The page functions of the paged card: the "Current Page : " label, and
// the panel with the page number and "16M set page" that slides in from the
// left. It tells what the user asked (the panel wanted, or left; a page; the
// 16M page) and shows what it is told; when to slide and what a page does
// are the presenter's.
class PagePanel : public QObject {
    Q_OBJECT
  public:
    static constexpr int kInLeft = 8;
    static constexpr int kOutLeft = -248;
    static constexpr const char* kCurrentPageText = "Current Page : ";

    // The label and the panel are placed on parent.
    explicit PagePanel(QWidget* parent);

    QWidget* Panel() const { return panel_; }
    QLabel* PageLabel() const { return pageLabel_; }
    QSpinBox* Spin() const { return spin_; }
    QPushButton* Set16MButton() const { return set16M_; }

    bool IsIn() const;
    bool IsOut() const;
    // Shows page p in the spin box (without choosing it again) and on the label.
    void ShowPage(int page);
    // The spin box alone.
    void ShowSpinValue(int page);
    // "16M set page" is offered on cards of 15 or more pages.
    void ShowSet16M(bool shown);
    // The slides, pause(ms) before each step.
    void SlideIn(const std::function<void(int)>& pause);
    void SlideOut(const std::function<void(int)>& pause);

  signals:
    // The mouse on the page label, or the focus in the panel.
    void PanelWanted();
    // The focus left the panel.
    void PanelLeft();
    // The spin box's value changed (the page is its low 8 bits).
    void PageChosen(int value);
    // The "16M set page" button.
    void Set16MClicked();

  protected:
    // Keyboard users reach the panel with Tab: focus slides it in and out.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* panel_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QSpinBox* spin_ = nullptr;
    QPushButton* set16M_ = nullptr;
};
