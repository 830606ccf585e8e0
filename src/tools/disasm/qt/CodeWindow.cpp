#include "tools/disasm/qt/CodeWindow.h"

#include "base/ParseHex.h"
#include "qtbase/Prompter.h"
#include "tools/disasm/HexText.h"
#include "tools/disasm/ListingPager.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QVBoxLayout>

namespace {

QString HexText(uint32_t value, int minDigits) {
    return QString::fromStdString(disasm::HexAtLeast(value, minDigits));
}

QPushButton* MakeButton(const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    // Enter in a field must not patch or jump by accident.
    button->setAutoDefault(false);
    return button;
}

QLineEdit* MakeHexField(int maxLength, const QString& text, const QString& name, QWidget* parent) {
    auto* field = new QLineEdit(text, parent);
    field->setMaxLength(maxLength);
    field->setAccessibleName(name);
    const int width = field->fontMetrics().horizontalAdvance(QString(maxLength + 1, '0'));
    field->setFixedWidth(width + 16);
    return field;
}

} // namespace

CodeWindow::CodeWindow(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), pager_(std::make_unique<ListingPager>()) {
    setWindowTitle("File :");
    // Fixed pitch so that the listing's columns line up.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setBold(true);
    setFont(font);
    BuildControls();
    resize(620, 520);
}

CodeWindow::~CodeWindow() = default;

void CodeWindow::BuildControls() {
    auto* menuBar = new QMenuBar(this);
    QMenu* fileMenu = menuBar->addMenu("&File");
    exitAndSaveAction_ = fileMenu->addAction("Exit and Save");
    exitAction_ = fileMenu->addAction("Exit");
    connect(exitAndSaveAction_, &QAction::triggered, this, &CodeWindow::ExitAndSave);
    connect(exitAction_, &QAction::triggered, this, &CodeWindow::ExitAsking);

    gotoButton_ = MakeButton("Goto", this);
    gotoField_ = MakeHexField(8, "00000000", "Goto address", this);
    gotoField_->setAccessibleDescription("Address to go to, in hexadecimal");
    editButton_ = MakeButton("Edit", this);
    editButton_->setAccessibleDescription("Write the bytes into the selected instruction");
    addressLabel_ = new QLabel("00000000", this);
    addressLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    addressLabel_->setAccessibleDescription("Address of the selected line");
    // Room for eight digits whatever the address shown, so that the byte
    // fields beside it never move.
    addressLabel_->setFixedWidth(addressLabel_->fontMetrics().horizontalAdvance("00000000") +
                                 2 * addressLabel_->frameWidth() + 8);
    for (int i = 0; i < 3; ++i) {
        byteFields_[i] = MakeHexField(2, "00", QString("Byte %1").arg(i + 1), this);
        byteFields_[i]->setAccessibleDescription(
            QString("Byte %1 of the selected instruction, in hexadecimal").arg(i + 1));
        // A hidden field keeps its place: "Edit" stays where it was.
        QSizePolicy policy = byteFields_[i]->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        byteFields_[i]->setSizePolicy(policy);
    }
    pageLabel_ = new QLabel(this);
    listing_ = new QListWidget(this);
    listing_->setAccessibleName("Listing");
    listing_->setUniformItemSizes(true);
    listing_->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* fields = new QHBoxLayout;
    fields->addWidget(gotoButton_);
    fields->addWidget(gotoField_);
    fields->addSpacing(12);
    fields->addWidget(addressLabel_);
    for (QLineEdit* field : byteFields_)
        fields->addWidget(field);
    fields->addWidget(editButton_);
    fields->addStretch(1);
    fields->addWidget(pageLabel_);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(fields);
    layout->addWidget(listing_, 1);

    setTabOrder(gotoField_, gotoButton_);
    setTabOrder(gotoButton_, byteFields_[0]);
    setTabOrder(byteFields_[0], byteFields_[1]);
    setTabOrder(byteFields_[1], byteFields_[2]);
    setTabOrder(byteFields_[2], editButton_);
    setTabOrder(editButton_, listing_);

    connect(gotoButton_, &QPushButton::clicked, this, &CodeWindow::GotoClicked);
    connect(gotoField_, &QLineEdit::returnPressed, this, &CodeWindow::GotoClicked);
    connect(gotoField_, &QLineEdit::textChanged, this, &CodeWindow::GotoFieldChanged);
    connect(editButton_, &QPushButton::clicked, this, &CodeWindow::PatchSelectedLine);
    for (int i = 0; i < 3; ++i)
        connect(byteFields_[i], &QLineEdit::textChanged, this,
                [this, i](const QString& text) { ByteFieldChanged(i, text); });
    // Keyboard and mouse both choose a line; a click on the chosen one reads it
    // again, putting back bytes typed but not written.
    connect(listing_, &QListWidget::currentRowChanged, this, &CodeWindow::ShowSelectedLine);
    connect(listing_, &QListWidget::itemClicked, this, &CodeWindow::ShowSelectedLine);
}

bool CodeWindow::LoadListing(const QString& workFile) {
    const bool loaded = pager_->Load(workFile.toStdString());
    FillListing();
    gotoValue_ = 0;
    patched_ = false;
    editButton_->setEnabled(true);
    SetFieldText(gotoField_, "00000000");
    byteCount_ = 0;
    selectedPosition_ = -1;
    addressLabel_->setText("00000000");
    for (int i = 0; i < 3; ++i) {
        byteValues_[i] = 0;
        SetFieldText(byteFields_[i], "00");
        byteFields_[i]->setVisible(true);
    }
    if (!loaded)
        prompter_.Warning("Cannot read " + workFile + ".");
    return loaded;
}

void CodeWindow::FillListing() {
    QStringList lines;
    lines.reserve(pager_->LineCount());
    for (int i = 0; i < pager_->LineCount(); ++i) {
        const std::string_view line = pager_->Line(i);
        lines << QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    }
    {
        // The fields keep what they show until a line is chosen.
        const QSignalBlocker blocker(listing_);
        listing_->clear();
        listing_->addItems(lines);
    }
    pageLabel_->setText(QString::fromStdString(pager_->PageLabel()));
}

void CodeWindow::ShowPage(int k) {
    pager_->ShowPage(k);
    FillListing();
}

void CodeWindow::GotoAddress(uint32_t target) {
    const ListingPager::GotoResult result = pager_->Goto(target);
    if (result.overflow) {
        prompter_.Info("address overflow.");
        return;
    }
    if (result.pageChanged)
        FillListing();
    if (result.line < 0) {
        listing_->setCurrentRow(-1);
        listing_->clearSelection();
        // The fields would still patch the line shown before, perhaps on
        // another page.
        ClearSelectedLine();
        return;
    }
    {
        const QSignalBlocker blocker(listing_);
        listing_->setCurrentRow(result.line);
    }
    listing_->scrollToItem(listing_->item(result.line), QAbstractItemView::PositionAtCenter);
    ShowSelectedLine();
}

void CodeWindow::GotoClicked() {
    GotoAddress(gotoValue_);
}

void CodeWindow::ShowSelectedLine() {
    const int row = listing_->currentRow();
    if (row < 0 || row >= pager_->LineCount())
        return;
    const std::string_view line = pager_->Line(row);
    selectedPosition_ = pager_->Position(row);
    // The line shows 16 address bits; the label shows the whole position.
    addressLabel_->setText(HexText(static_cast<uint32_t>(selectedPosition_), 4));
    editButton_->setEnabled(true);
    std::string bytes[3];
    ListingPager::ByteColumns(line, bytes);
    byteCount_ = 0;
    for (int i = 0; i < 3; ++i) {
        const bool present = !bytes[i].empty();
        byteFields_[i]->setVisible(present);
        if (!present) {
            SetFieldText(byteFields_[i], QString());
            continue;
        }
        byteValues_[i] = static_cast<uint8_t>(ParseHex(bytes[i]) & 0xFF);
        SetFieldText(byteFields_[i], QString::fromStdString(bytes[i]));
        ++byteCount_;
    }
}

void CodeWindow::ClearSelectedLine() {
    byteCount_ = 0;
    selectedPosition_ = -1;
    for (int i = 0; i < 3; ++i) {
        byteValues_[i] = 0;
        SetFieldText(byteFields_[i], QString());
    }
    editButton_->setEnabled(false);
}

void CodeWindow::PatchSelectedLine() {
    if (byteCount_ == 0 || selectedPosition_ < 0)
        return;
    const int64_t position = selectedPosition_;
    if (!pager_->Patch(position, byteValues_, byteCount_)) {
        prompter_.Warning("Cannot write " + QString::fromStdString(pager_->FileName()) + ".");
        return;
    }
    patched_ = true;
    ShowPage(pager_->CurrentPage());
    GotoAddress(static_cast<uint32_t>(position));
}

void CodeWindow::ExitAndSave() {
    saveRequested_ = true;
    accept();
}

void CodeWindow::ExitAsking() {
    if (prompter_.Confirm("save data ?")) {
        saveRequested_ = true;
        accept();
        return;
    }
    if (prompter_.Confirm("Not save exit ?"))
        QDialog::reject();
}

void CodeWindow::reject() {
    // A patch is lost silently otherwise.
    if (patched_) {
        ExitAsking();
        return;
    }
    QDialog::reject();
}

void CodeWindow::SetFieldText(QLineEdit* field, const QString& text) {
    const QSignalBlocker blocker(field);
    field->setText(text);
}

uint32_t CodeWindow::CheckField(QLineEdit* field, const QString& text, uint32_t lastAccepted) {
    const QString upper = text.toUpper();
    const disasm::HexFieldCheck check = disasm::CheckHexField(upper.toStdString(), lastAccepted);
    const QString shown = QString::fromStdString(check.text);
    if (shown != text) {
        // Typed letters turn upper case where they stood; a refused text is
        // replaced whole.
        const int cursor = field->cursorPosition();
        SetFieldText(field, shown);
        field->setCursorPosition(check.accepted ? cursor : static_cast<int>(shown.size()));
    }
    return check.value;
}

void CodeWindow::GotoFieldChanged(const QString& text) {
    gotoValue_ = CheckField(gotoField_, text, gotoValue_);
}

void CodeWindow::ByteFieldChanged(int i, const QString& text) {
    byteValues_[i] = static_cast<uint8_t>(CheckField(byteFields_[i], text, byteValues_[i]) & 0xFF);
}
