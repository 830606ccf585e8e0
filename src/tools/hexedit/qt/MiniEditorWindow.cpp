#include "tools/hexedit/qt/MiniEditorWindow.h"

#include "qtbase/Prompter.h"
#include "tools/hexedit/HexText.h"
#include "tools/hexedit/qt/HexView.h"
#include "tools/hexedit/qt/PrintPreviewWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QSizeGrip>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

const char* const kPanelRoles[6] = {"Caret position", "Selection", "Modified",
                                    "Read only",      "Mode",      "Data size"};
// What a panel is called while it shows nothing.
const char* const kEmptyPanelNames[6] = {"", "No selection", "Not modified", "Writable", "", ""};
constexpr int kPanelWidths[6] = {120, 150, 30, 30, 38, 50};

bool ClipboardHasText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

} // namespace

MiniEditorWindow::MiniEditorWindow(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
    setWindowTitle(QStringLiteral("Mini HexEditor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menus_ = BuildMiniEditorMenus(this);
    layout->setMenuBar(menus_.bar);

    grid_ = new HexView(this);
    HexOptions options;
    options.AllowInsertMode = true;
    options.BackupExtension = ".bak";
    grid_->SetOptions(options);
    layout->addWidget(grid_, 1);

    statusBar_ = new QStatusBar(this);
    statusBar_->setAccessibleName(QStringLiteral("Status bar"));
    for (size_t i = 0; i < panels_.size(); ++i) {
        panels_[i] = new QLabel(statusBar_);
        // The designed widths, grown where a long number needs more; the
        // last panel takes the rest of the bar.
        panels_[i]->setMinimumWidth(kPanelWidths[i]);
        panels_[i]->setAccessibleDescription(QString::fromLatin1(kPanelRoles[i]));
        statusBar_->addWidget(panels_[i], i + 1 == panels_.size() ? 1 : 0);
    }
    layout->addWidget(statusBar_);
    if (auto* grip = statusBar_->findChild<QSizeGrip*>())
        grip->setAccessibleName(QStringLiteral("Resize window"));

    printer_ = std::make_unique<HexPrinter>(grid_->Core().Document());
    connect(grid_, &HexView::StateChanged, this, [this] {
        UpdateStatusBar();
        UpdateActions();
    });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &MiniEditorWindow::UpdateActions);
    ConnectFileMenu();
    ConnectEditMenu();
    ConnectViewMenu();
    UpdateStatusBar();
    UpdateActions();
    UpdateViewChecks();
    resize(720, 480);
    grid_->setFocus();
}

MiniEditorWindow::~MiniEditorWindow() = default;

bool MiniEditorWindow::LoadFile(const QString& path) {
    return grid_->LoadFile(path);
}

QString MiniEditorWindow::PanelText(int panel) const {
    return panel >= 0 && panel < 6 ? panels_[static_cast<size_t>(panel)]->text() : QString();
}

void MiniEditorWindow::UpdateStatusBar() {
    const HexEditorCore& core = grid_->Core();
    QString texts[6];
    texts[0] = QStringLiteral("Pos : %1").arg(core.SelStart());
    if (core.SelCount() > 0)
        texts[1] = QStringLiteral("Sel : %1 - %2")
                       .arg(std::min(core.SelStart(), core.SelEnd()))
                       .arg(std::max(core.SelStart(), core.SelEnd()));
    texts[2] = core.Modified() ? QStringLiteral("*") : QString();
    texts[3] = core.ReadOnly() ? QStringLiteral("R") : QString();
    texts[4] = core.InsertMode() ? QStringLiteral("INS") : QStringLiteral("OVW");
    texts[5] = QStringLiteral("Size : %1").arg(core.DataSize());
    for (size_t i = 0; i < panels_.size(); ++i) {
        if (panels_[i]->text() != texts[i])
            panels_[i]->setText(texts[i]);
        // A screen reader reads the panel's name: what it shows, or what
        // its emptiness means.
        const QString name =
            texts[i].isEmpty() ? QString::fromLatin1(kEmptyPanelNames[i]) : texts[i];
        if (panels_[i]->accessibleName() != name)
            panels_[i]->setAccessibleName(name);
    }
}

void MiniEditorWindow::UpdateActions() {
    const HexEditorCore& core = grid_->Core();
    const bool hasData = core.DataSize() > 0;
    menus_.save->setEnabled(core.Modified() && !core.ReadOnly());
    menus_.saveAs->menuAction()->setEnabled(hasData);
    menus_.saveAs->setEnabled(hasData);
    menus_.printPreview->setEnabled(hasData);
    menus_.print->setEnabled(hasData);

    menus_.undo->setEnabled(core.CanUndo());
    menus_.undo->setText(core.CanUndo()
                             ? QStringLiteral("Undo : ") + QString::fromStdString(core.UndoText())
                             : QStringLiteral("Undo"));
    menus_.cut->setEnabled(core.SelCount() > 0);
    menus_.copy->setEnabled(core.SelCount() > 0);
    const bool clipboardText = ClipboardHasText();
    menus_.paste->setEnabled(clipboardText);
    menus_.pasteText->setEnabled(clipboardText);
    menus_.gotoPosition->setEnabled(hasData);
    menus_.find->setEnabled(hasData);
    menus_.findNext->setEnabled(hasData);
}

void MiniEditorWindow::UpdateViewChecks() {
    const HexOptions& o = grid_->Options();
    menus_.lineSizes[0]->setChecked(o.BytesPerLine == 16);
    menus_.lineSizes[1]->setChecked(o.BytesPerLine == 32);
    menus_.lineSizes[2]->setChecked(o.BytesPerLine == 64);
    menus_.columnWidths[0]->setChecked(o.BytesPerColumn == 1);
    menus_.columnWidths[1]->setChecked(o.BytesPerColumn == 2);
    menus_.columnWidths[2]->setChecked(o.BytesPerColumn == 4);
    for (size_t i = 0; i < menus_.caretStyles.size(); ++i)
        menus_.caretStyles[i]->setChecked(o.CaretStyle == static_cast<int>(i));
    menus_.caretAuto->setChecked(o.AutoCaretMode);
    for (size_t i = 0; i < menus_.offsetDisplays.size(); ++i)
        menus_.offsetDisplays[i]->setChecked(o.OffsetDisplay == static_cast<int>(i));
    menus_.grid->setChecked(o.GridLineWidth == 1);
    menus_.showMarkers->setChecked(o.ShowMarkerColumn);
    menus_.swapNibbles->setChecked(o.SwapNibbles);
    menus_.maskWhitespaces->setChecked(o.MaskWhiteSpaces);
    menus_.fixedFileSize->setChecked(o.NoSizeChange);
    // Menu order differs from the numbering: Ansi, ASCII, DOS, Mac, EBCDIC.
    static constexpr Translation kOrder[5] = {Translation::Ansi, Translation::Ascii7,
                                              Translation::Dos8, Translation::Mac,
                                              Translation::Ebcdic};
    for (size_t i = 0; i < menus_.translations.size(); ++i)
        menus_.translations[i]->setChecked(o.Translation == kOrder[i]);
}

void MiniEditorWindow::SetOption(OptionChange change, int value) {
    HexOptions options = grid_->Options();
    change(options, value);
    grid_->SetOptions(options);
    UpdateViewChecks();
}

void MiniEditorWindow::ConnectFileMenu() {
    connect(menus_.file, &QMenu::aboutToShow, this, &MiniEditorWindow::UpdateActions);
    connect(menus_.save, &QAction::triggered, this, &MiniEditorWindow::SaveClicked);
    connect(menus_.saveAsAnyFile, &QAction::triggered, this, &MiniEditorWindow::SaveAsAnyFile);
    connect(menus_.saveAsHexText, &QAction::triggered, this, &MiniEditorWindow::SaveAsHexText);
    connect(menus_.printLayout, &QMenu::aboutToShow, this, [this] {
        for (size_t i = 0; i < menus_.printLayouts.size(); ++i)
            menus_.printLayouts[i]->setChecked(printLayout_ == static_cast<int>(i));
    });
    for (size_t i = 0; i < menus_.printLayouts.size(); ++i)
        connect(menus_.printLayouts[i], &QAction::triggered, this,
                [this, i] { printLayout_ = static_cast<int>(i); });
    connect(menus_.printPreview, &QAction::triggered, this, &MiniEditorWindow::ShowPrintPreview);
    connect(menus_.printSetup, &QAction::triggered, this, &MiniEditorWindow::SetUpPrinter);
    connect(menus_.print, &QAction::triggered, this, &MiniEditorWindow::PrintAll);
    connect(menus_.exit, &QAction::triggered, this, &QWidget::close);
}

void MiniEditorWindow::ConnectEditMenu() {
    connect(menus_.edit, &QMenu::aboutToShow, this, &MiniEditorWindow::UpdateActions);
    connect(menus_.undo, &QAction::triggered, this, [this] {
        if (grid_->Core().CanUndo())
            grid_->Undo();
    });
    connect(menus_.cut, &QAction::triggered, this, &MiniEditorWindow::Cut);
    connect(menus_.copy, &QAction::triggered, this, &MiniEditorWindow::Copy);
    connect(menus_.paste, &QAction::triggered, this, &MiniEditorWindow::Paste);
    connect(menus_.pasteText, &QAction::triggered, this, &MiniEditorWindow::PasteText);
    connect(menus_.gotoPosition, &QAction::triggered, this, &MiniEditorWindow::GotoPosition);
    connect(menus_.find, &QAction::triggered, this, &MiniEditorWindow::Find);
    connect(menus_.findNext, &QAction::triggered, this, &MiniEditorWindow::FindNext);
}

void MiniEditorWindow::ConnectViewMenu() {
    connect(menus_.view, &QMenu::aboutToShow, this, &MiniEditorWindow::UpdateViewChecks);
    connect(menus_.offsetDisplay, &QMenu::aboutToShow, this, &MiniEditorWindow::UpdateViewChecks);
    static constexpr int kLineSizes[3] = {16, 32, 64};
    static constexpr int kColumnWidths[3] = {1, 2, 4};
    for (size_t i = 0; i < 3; ++i) {
        connect(menus_.lineSizes[i], &QAction::triggered, this, [this, i] {
            SetOption([](HexOptions& o, int v) { o.BytesPerLine = v; }, kLineSizes[i]);
        });
        connect(menus_.columnWidths[i], &QAction::triggered, this, [this, i] {
            SetOption([](HexOptions& o, int v) { o.BytesPerColumn = v; }, kColumnWidths[i]);
        });
        connect(menus_.caretStyles[i], &QAction::triggered, this, [this, i] {
            SetOption([](HexOptions& o, int v) { o.CaretStyle = v; }, static_cast<int>(i));
        });
    }
    for (size_t i = 0; i < menus_.offsetDisplays.size(); ++i)
        connect(menus_.offsetDisplays[i], &QAction::triggered, this, [this, i] {
            SetOption([](HexOptions& o, int v) { o.OffsetDisplay = v; }, static_cast<int>(i));
        });
    const auto toggle = [this](QAction* action, OptionChange change) {
        connect(action, &QAction::triggered, this, [this, change] { SetOption(change, 0); });
    };
    toggle(menus_.caretAuto, [](HexOptions& o, int) { o.AutoCaretMode = !o.AutoCaretMode; });
    toggle(menus_.grid, [](HexOptions& o, int) { o.GridLineWidth = o.GridLineWidth ? 0 : 1; });
    toggle(menus_.showMarkers,
           [](HexOptions& o, int) { o.ShowMarkerColumn = !o.ShowMarkerColumn; });
    toggle(menus_.swapNibbles, [](HexOptions& o, int) { o.SwapNibbles = !o.SwapNibbles; });
    toggle(menus_.maskWhitespaces,
           [](HexOptions& o, int) { o.MaskWhiteSpaces = !o.MaskWhiteSpaces; });
    toggle(menus_.fixedFileSize, [](HexOptions& o, int) { o.NoSizeChange = !o.NoSizeChange; });
}

bool MiniEditorWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && firstActivation_) {
        firstActivation_ = false;
        if (!startupArgument_.isEmpty() && QFileInfo(startupArgument_).isFile() &&
            !LoadFile(startupArgument_))
            prompter_.Error(QStringLiteral("Cannot open file\n") + startupArgument_);
    }
    return QDialog::event(event);
}

void MiniEditorWindow::reject() {
    if (CloseQuery())
        QDialog::reject();
}

bool MiniEditorWindow::CloseQuery() {
    if (!grid_->Core().Modified())
        return true;
    const QString fileName = grid_->FileName();
    const QString shown = QFileInfo::exists(fileName) ? fileName : QStringLiteral("Unnamed File");
    switch (
        prompter_.YesNoCancel(QStringLiteral("Save changes to\n") + shown + QStringLiteral(" ?"))) {
    case Prompter::Answer::Yes:
        if (!Save())
            return false;
        saveRequested_ = true;
        return true;
    case Prompter::Answer::No:
        return true;
    case Prompter::Answer::Cancel:
        break;
    }
    return false;
}

QString MiniEditorWindow::AskSaveName() {
    FileDialogSetup setup;
    setup.title = QStringLiteral("Save as");
    setup.filter = QStringLiteral("All Files (*.*)|*.*");
    setup.fileName = grid_->FileName();
    setup.confirmOverwrite = true;
    return prompter_.SaveFile(setup);
}

bool MiniEditorWindow::Save() {
    const QString fileName = grid_->FileName();
    const QFileInfo info(fileName);
    if (info.isFile() && info.isWritable()) {
        if (grid_->SaveFile(fileName))
            return true;
        prompter_.Error(QStringLiteral("Cannot save file\n") + fileName);
        return false;
    }
    const QString chosen = AskSaveName();
    if (chosen.isEmpty())
        return false;
    if (grid_->SaveFile(chosen))
        return true;
    prompter_.Error(QStringLiteral("Cannot save file\n") + chosen);
    return false;
}

void MiniEditorWindow::SaveClicked() {
    Save();
    // Even a failed save asks for the write-back: the work file then still
    // holds what was last saved, so writing it back loses nothing.
    saveRequested_ = true;
}

void MiniEditorWindow::SaveAsAnyFile() {
    if (grid_->Core().DataSize() == 0)
        return;
    const QString chosen = AskSaveName();
    if (!chosen.isEmpty() && !grid_->SaveFile(chosen))
        prompter_.Error(QStringLiteral("Cannot save file\n") + chosen);
}

void MiniEditorWindow::SaveAsHexText() {
    if (grid_->Core().DataSize() == 0)
        return;
    const QString chosen = AskSaveName();
    if (chosen.isEmpty())
        return;
    QSaveFile file(chosen);
    const std::string text = grid_->Core().HexText();
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit())
        prompter_.Error(QStringLiteral("Cannot save file\n") + chosen);
}

QString MiniEditorWindow::PrintTitle() const {
    return QStringLiteral("Mini HexEditor : ") + QFileInfo(grid_->FileName()).fileName();
}

QImage MiniEditorWindow::PreviewImage(const QSizeF& pageSize) const {
    printer_->SetMemFieldDisplay(printLayout_);
    printer_->SetTranslation(grid_->Options().Translation);
    return printer_->PreviewPage(pageSize, PrintTitle());
}

void MiniEditorWindow::ShowPrintPreview() {
    if (grid_->Core().DataSize() == 0)
        return;
    if (!paper_)
        paper_ = std::make_unique<QPrinter>();
    PrintPreviewWindow preview(PreviewImage(paper_->pageLayout().fullRectPoints().size()), this);
    preview.exec();
}

void MiniEditorWindow::SetUpPrinter() {
    if (!paper_)
        paper_ = std::make_unique<QPrinter>();
    // The printer and its paper, as a printer set-up dialog offers them:
    // nothing is printed from here.
    QPageSetupDialog dialog(paper_.get(), this);
    dialog.setWindowTitle(QStringLiteral("Print setup"));
    dialog.exec();
}

void MiniEditorWindow::PrintAll() {
    if (grid_->Core().DataSize() == 0)
        return;
    if (!paper_)
        paper_ = std::make_unique<QPrinter>();
    printer_->SetMemFieldDisplay(printLayout_);
    printer_->SetTranslation(grid_->Options().Translation);
    if (!printer_->PrintAll(*paper_, PrintTitle()))
        prompter_.Error(QStringLiteral("Cannot print"));
}

void MiniEditorWindow::Copy() {
    const HexEditorCore& core = grid_->Core();
    if (core.SelCount() == 0)
        return;
    const std::vector<uint8_t> bytes = core.SelectedBytes();
    QGuiApplication::clipboard()->setText(QString::fromLatin1(ToHexText(bytes, false)));
}

void MiniEditorWindow::Cut() {
    if (grid_->Core().SelCount() == 0)
        return;
    Copy();
    grid_->DeleteSelection(QStringLiteral("Cut"));
}

void MiniEditorWindow::Paste() {
    if (!ClipboardHasText())
        return;
    const QString text = QGuiApplication::clipboard()->text();
    const std::vector<uint8_t> bytes = FromHexText(text.toStdString(), false);
    if (!bytes.empty())
        grid_->ReplaceSelection(bytes, QStringLiteral("Paste"));
}

void MiniEditorWindow::PasteText() {
    if (!ClipboardHasText())
        return;
    const QString text = QGuiApplication::clipboard()->text();
    const auto bytes = EncodeText(grid_->Options().Translation, text.toStdString(), true);
    if (bytes && !bytes->empty())
        grid_->ReplaceSelection(*bytes, QStringLiteral("Paste Text"));
}

void MiniEditorWindow::GotoPosition() {
    if (grid_->Core().DataSize() == 0)
        return;
    const auto typed = prompter_.Input(QStringLiteral("Goto file position..."),
                                       QStringLiteral("(prefix \"0x\" or \"$\" means hex)"),
                                       QString::number(grid_->Core().CaretPosition()));
    if (!typed)
        return;
    const int64_t position = ParseGotoPosition(typed->toStdString());
    if (!grid_->Seek(position, HexEditorCore::SeekOrigin::Absolute, true))
        prompter_.Error(QStringLiteral("Invalid position"));
}

void MiniEditorWindow::ReportSearch(bool found) {
    grid_->Refresh();
    if (!found)
        prompter_.Error(QStringLiteral("Data not found."));
}

void MiniEditorWindow::Find() {
    if (grid_->Core().DataSize() == 0)
        return;
    search_.Reset();
    const auto typed =
        prompter_.Input(QStringLiteral("Find Data"),
                        QStringLiteral("\"t..\" ascii, \"T..\" + ignore case, else search hex"),
                        QString::fromStdString(search_.LastText()));
    if (!typed || typed->isEmpty())
        return;
    switch (search_.Take(typed->toStdString(), grid_->Core())) {
    case SearchState::Taken::Nothing:
        return;
    case SearchState::Taken::NotInCharacterSet:
        ReportSearch(false);
        return;
    case SearchState::Taken::Ready:
        ReportSearch(search_.SearchFrom(grid_->Core(), grid_->Core().CaretPosition()));
        return;
    }
}

void MiniEditorWindow::FindNext() {
    if (grid_->Core().DataSize() == 0)
        return;
    if (!search_.HasBytes()) {
        Find();
        return;
    }
    ReportSearch(search_.SearchFrom(grid_->Core(), search_.NextStart(grid_->Core())));
}
