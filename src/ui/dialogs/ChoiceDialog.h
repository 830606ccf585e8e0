#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <functional>

class QLabel;
class QHBoxLayout;
class QPushButton;

// The small fixed-size choice windows shown over the main window when a
// saver is acted on: a large title, the saver's 32 x 32 picture, two lines
// of text and a row of buttons. Each button stores its code and closes the
// window; closing it any other way (the close box, Escape) leaves code 0.
class ChoiceDialog : public QDialog {
    Q_OBJECT
  public:
    ChoiceDialog(const QString& caption, const QString& title, QWidget* parent);

    // Shows the window modally and gives the code of the button pressed.
    int Ask();
    // Tests answer by script instead of showing the window: the hook gets
    // the window, may look at it and press one of its buttons.
    std::function<void(ChoiceDialog&)> RunHook;

    void SetPicture(const QPixmap& picture);
    void SetLines(const QString& first, const QString& second);
    // A line under the first one, hidden while empty (the description as
    // decoded text, where it says more than the first line).
    void SetDecodedLine(const QString& text);
    QString DecodedLine() const;
    QString FirstLine() const;
    QString SecondLine() const;
    QString Title() const;
    const QPixmap& Picture() const { return picture_; }
    // The button with that caption, or null.
    QPushButton* Button(const QString& caption) const;
    int Code() const { return code_; }

  protected:
    QPushButton* AddButton(const QString& caption, int code, const QString& hint,
                           const char* objectName);
    // The window's designed fixed size; it grows where its texts in the
    // user's font would not fit (larger type, texts set later).
    void SetDesignedSize(const QSize& size);

  private:
    QLabel* title_ = nullptr;
    QLabel* pictureLabel_ = nullptr;
    QLabel* first_ = nullptr;
    QLabel* second_ = nullptr;
    QLabel* decoded_ = nullptr;
    QHBoxLayout* buttons_ = nullptr;
    QPixmap picture_;
    QSize designed_;
    int code_ = 0;

    void FitContents();
};
