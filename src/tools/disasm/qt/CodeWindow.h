#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

class ListingPager;
class Prompter;
class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The code window: a saver's work file disassembled page by page, a Goto
// field, and three byte fields with an "Edit" button that patch the
// instruction of the selected line in the work file. It never touches a card:
// the main window exports the saver to the work file, calls LoadListing, shows
// the window modally and writes the file back when SaveRequested is set.
class CodeWindow : public QDialog {
    Q_OBJECT
  public:
    explicit CodeWindow(Prompter& prompter, QWidget* parent = nullptr);
    ~CodeWindow() override;

    // Lists the work file from its start and builds its page table. False
    // (after a warning) when the file cannot be read; the window then lists
    // nothing.
    bool LoadListing(const QString& workFile);

    // Set by "Exit and Save" and by "Exit" answered Yes; the caller clears it
    // before showing the window.
    bool SaveRequested() const { return saveRequested_; }
    void ClearSaveRequested() { saveRequested_ = false; }

    // Lists page k (0-based) and labels it.
    void ShowPage(int k);
    // Goes to the line at or after target, switching page if need be; a target
    // at or beyond the end of the file is refused with "address overflow.".
    void GotoAddress(uint32_t target);
    // Copies the selected line's address and bytes into the fields.
    void ShowSelectedLine();
    // No line chosen: empty byte fields, "Edit" disabled.
    void ClearSelectedLine();

    // The last accepted content of the Goto field.
    uint32_t GotoValue() const { return gotoValue_; }
    // Bytes of the selected line (0 to 3).
    int SelectedByteCount() const { return byteCount_; }

    // Controls, for the main window's wiring and for tests.
    QPushButton* GotoButton() const { return gotoButton_; }
    QLineEdit* GotoField() const { return gotoField_; }
    QPushButton* EditButton() const { return editButton_; }
    QLabel* AddressLabel() const { return addressLabel_; }
    QLineEdit* ByteField(int i) const { return byteFields_[i]; }
    QLabel* PageLabel() const { return pageLabel_; }
    QListWidget* Listing() const { return listing_; }
    QAction* ExitAndSaveAction() const { return exitAndSaveAction_; }
    QAction* ExitAction() const { return exitAction_; }

  public slots:
    void GotoClicked();
    // Writes the byte fields over the selected instruction in the work file.
    void PatchSelectedLine();
    void ExitAndSave();
    // Asks "save data ?", then "Not save exit ?".
    void ExitAsking();
    // The close box and Esc: after a patch, asks as "Exit" does.
    void reject() override;

  private:
    void BuildControls();
    void FillListing();
    void GotoFieldChanged(const QString& text);
    void ByteFieldChanged(int i, const QString& text);
    // Checks a hex field's new text; returns the accepted value.
    uint32_t CheckField(QLineEdit* field, const QString& text, uint32_t lastAccepted);
    void SetFieldText(QLineEdit* field, const QString& text);

    Prompter& prompter_;
    std::unique_ptr<ListingPager> pager_;
    uint32_t gotoValue_ = 0;
    int byteCount_ = 0;
    uint8_t byteValues_[3] = {};
    // True file position of the selected line (the text shows 16 bits only).
    int64_t selectedPosition_ = -1;
    bool saveRequested_ = false;
    // A patch went into the work file during this visit.
    bool patched_ = false;

    QPushButton* gotoButton_ = nullptr;
    QLineEdit* gotoField_ = nullptr;
    QPushButton* editButton_ = nullptr;
    QLabel* addressLabel_ = nullptr;
    QLineEdit* byteFields_[3] = {};
    QLabel* pageLabel_ = nullptr;
    QListWidget* listing_ = nullptr;
    QAction* exitAndSaveAction_ = nullptr;
    QAction* exitAction_ = nullptr;
};
