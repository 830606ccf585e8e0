#pragma once

#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <functional>

// Plays the user each time a dialog is shown modally; the dialog is closed
// afterwards should the play have left it open.
class WhileShown : public QObject {
  public:
    WhileShown(QDialog& dialog, std::function<void()> play)
        : dialog_(dialog), play_(std::move(play)) {
        dialog.installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            ++shown;
            QTimer::singleShot(0, this, [this] {
                play_();
                if (dialog_.isVisible())
                    dialog_.done(QDialog::Rejected);
            });
        }
        return false;
    }
    int shown = 0;

  private:
    QDialog& dialog_;
    std::function<void()> play_;
};
