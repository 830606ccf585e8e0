#pragma once

#include "card/IconBmp.h"

#include <QDialog>
#include <QString>
#include <cstdint>

class Prompter;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// "Select Color for the LCD Screen": shows the first 16 colours of a logo
// picture and lets the user tick those that are to be dark on the memory
// unit's LCD, with previews of the caption picture and of the LCD, and asks
// for the logo's name. It works on its own copy of the picture (the LCD area),
// whose palette entries 0 to 15 the boxes turn black or white.
class LcdColourDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kColours = 16;

    explicit LcdColourDialog(Prompter& prompter, QWidget* parent = nullptr);

    // Folder of the LCD preview file "~ico2.bmp".
    void SetStartDir(const QString& dir) { startDir_ = dir; }
    // Starts a visit: the LCD area becomes a copy of the picture area, the
    // name "No Name", and the picture of the file is shown with all boxes clear.
    void Prepare(const uint8_t* pictureArea, const QString& fileName);

    // Swatches from the LCD area, all boxes clear, the LCD preview
    // refreshed. The caption preview keeps the picture of Prepare.
    void ShowPicture(const QString& fileName);
    // Turns the LCD area's first 16 colours black or white after the boxes and
    // shows the result through "~ico2.bmp".
    void UpdateLcdPreview();

    const uint8_t* LcdArea() const { return lcdArea_; }
    QString IconName() const;
    // 1 after "OK", 0 after "AUTO" (the close box leaves it as it was).
    int ClosingResult() const { return closingResult_; }

    // Controls, k from 1 to 16.
    QCheckBox* ColourBox(int k) const { return boxes_[k - 1]; }
    QFrame* Swatch(int k) const { return swatches_[k - 1]; }
    QLabel* ScreenPreview() const { return screenPreview_; }
    QLabel* LcdPreview() const { return lcdPreview_; }
    QLineEdit* NameField() const { return nameField_; }
    QPushButton* LoadButton() const { return loadButton_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* AutoButton() const { return autoButton_; }

  public slots:
    // "LOAD BMP": another picture for the LCD only.
    void LoadBmpClicked();
    void OkClicked();
    // "AUTO": ticks the dark colours itself, then closes like "OK".
    void AutoClicked();

  private:
    void BuildControls();
    QString PreviewFile() const;

    Prompter& prompter_;
    QString startDir_;
    uint8_t lcdArea_[IconArea::kSize] = {};
    // Palette entries 0 to 15 as the swatches show them (blue, green, red).
    uint8_t swatchColours_[3 * kColours] = {};
    int closingResult_ = 1;
    bool refusalShown_ = false;

    QFrame* swatches_[kColours] = {};
    QCheckBox* boxes_[kColours] = {};
    QLabel* screenPreview_ = nullptr;
    QLabel* lcdPreview_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QPushButton* loadButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* autoButton_ = nullptr;
};
