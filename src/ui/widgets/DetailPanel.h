#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QWidget;

// The selected-saver display of the left column: the panel with the saver's
// picture, date and time and the "Edit..." and "DisAsm." buttons, the name
// panel under it, and the two multi-selection lines that lie beneath it. The
// panel slides down out of the window when no saver is selected and back up
// when one is.
class DetailPanel : public QObject {
    Q_OBJECT
  public:
    static constexpr int kLeft = 8;
    static constexpr int kUpTop = 336;
    static constexpr int kNameUpTop = 389;
    static constexpr int kTravel = 400;
    static constexpr const char* kNoSaverText = "NO SAVER SELECTED";

    // pause(ms) waits between animation steps and repaints the window.
    DetailPanel(QWidget* parent, std::function<void(int)> pause);

    QWidget* Panel() const { return panel_; }
    QLabel* NamePanel() const { return name_; }
    QLabel* Picture() const { return picture_; }
    QLabel* DateTime() const { return dateTime_; }
    QPushButton* EditButton() const { return edit_; }
    QPushButton* DisasmButton() const { return disasm_; }
    QLabel* SelectionCount() const { return count_; }
    QLabel* SelectionTotal() const { return total_; }

    bool IsUp() const;
    bool IsDown() const;
    // 41 steps of i div 2 pixels, 2 ms apart: 400 pixels down.
    void SlideDown();
    // 40 steps of n div 2 pixels, 2 ms apart: 400 pixels up.
    void SlideUp();

    // The picture area filled with the empty colour, or the saver's picture.
    void ClearPicture();
    void ShowPicture(const QPixmap& picture);
    void SetName(const QString& text);
    void SetDateTime(const QString& text);
    // The two multi-selection lines; empty texts hide them.
    void ShowTotals(const QString& count, const QString& total);
    void HideTotals();

  private:
    void MoveBy(int dy);

    std::function<void(int)> pause_;
    QWidget* panel_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* picture_ = nullptr;
    QLabel* dateTime_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* disasm_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* total_ = nullptr;
};
