// The main window: start-up and shut-down, the state tick, command enabling,
// the selection display and what the commands use.
#include "ui/main/MainWindow.h"

#include "card/ApplySettings.h"
#include "card/CardJournal.h"
#include "card/ImageLock.h"
#include "card/SaverText.h"
#include "card/SideFiles.h"
#include "link/LinkPort.h"
#include "qtbase/Centre.h"
#include "qtbase/Prompter.h"
#include "settings/ConfigFile.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/dialogs/SettingsEditor.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/AutoRefresh.h"
#include "ui/main/CardMenus.h"
#include "ui/main/UiClock.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/DetailPanel.h"
#include "ui/widgets/FocusRing.h"
#include "ui/widgets/PagePanel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <system_error>

namespace {

// The main window is an application window to assistive technology (a
// "frame"), not a plain pane inside one.
QAccessibleInterface* MainWindowAccessible(const QString& key, QObject* object) {
    if (key == QLatin1String("MainWindow") && object != nullptr && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

std::string CurrentFolder() {
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    return ec ? std::string(".") : here.string();
}

} // namespace

MainWindow::LinkWork::LinkWork(MainWindow& window) : window_(window) {
    if (window_.linkWork_++ == 0)
        LockImage(window_.volumes_[kFile], true, 0);
}

MainWindow::LinkWork::~LinkWork() {
    // Held while a command runs, not while the image merely stays open.
    if (window_.linkWork_ == 1)
        UnlockImage(window_.volumes_[kFile]);
    if (--window_.linkWork_ == 0 && window_.closePending_) {
        window_.closePending_ = false;
        QTimer::singleShot(0, &window_, &QWidget::close);
    }
}

MainWindow::MainWindow(std::unique_ptr<PortBackend> backend, const MainWindowOptions& options,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ownClock_(options.clock != nullptr ? nullptr : std::make_unique<WallClock>()),
      clock_(options.clock != nullptr ? options.clock : ownClock_.get()),
      ownPrompter_(options.prompter != nullptr ? nullptr : std::make_unique<QtPrompter>(this)),
      prompter_(options.prompter != nullptr ? options.prompter : ownPrompter_.get()),
      host_(*prompter_, *clock_) {
    static const bool accessibleAsWindow =
        (QAccessible::installFactory(MainWindowAccessible), true);
    (void)accessibleAsWindow;
    setObjectName("MainWindow");
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 64, 64));
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setMouseTracking(true);
    installEventFilter(this);

    menus_ = new CardMenus(this);
    autoRefresh_ = new AutoRefresh(*this, options.autoRefreshInterval);
    BuildLeftColumn();
    BuildCardArea();
    // Pointing at "Current Page : " slides the page panel in.
    pagePanel_->PageLabel()->installEventFilter(this);
    new FocusRing(this);
    host_.Attach(statusLabel_, progress_);

    // The link first, with no command left on the wire; then the settings
    // file, whose port and delays replace the link's own defaults.
    link_ = std::make_unique<LinkPort>(std::move(backend), &host_);
    link_->EndCommand();
    std::string configError;
    startDir_ = LoadConfig(options.startDir.empty() ? CurrentFolder() : options.startDir, settings_,
                           &configError);
    ApplySettings(settings_, *link_);
    // "NA.bmp" and "dpnw.dc" ship with the program; a fresh folder gets them.
    (void)EnsureSideFiles(startDir_);
    journal_ = std::make_unique<CardJournal>(startDir_);
    journal_->Enabled = settings_.KeepHistory != 0;

    pagePanel_->PageLabel()->hide();
    pagePanel_->Panel()->hide();
    for (int i = 0; i < 3; ++i) {
        CardVolume& v = volumes_[i];
        v.Device = static_cast<uint8_t>(i);
        v.IoError = false;
        v.ImageOpen = false;
        v.Link = link_.get();
        v.Config = &settings_;
        v.Ui = &host_;
        v.Journal = journal_.get();
    }
    pagePanel_->Set16MButton()->hide();
    loaded_ = {false, false, false};
    detail_->SetName(DetailPanel::kNoSaverText);
    ClearSelection();
    menus_->file.closeDcm->setEnabled(false);
    SelectedName.clear();

    stateTimer_ = new QTimer(this);
    stateTimer_->setObjectName("StateTimer");
    stateTimer_->setInterval(options.stateInterval);
    connect(stateTimer_, &QTimer::timeout, this, &MainWindow::StateTick);
    stateTimer_->start();
    detectTimer_ = new QTimer(this);
    detectTimer_->setObjectName("DetectTimer");
    detectTimer_->setSingleShot(true);
    detectTimer_->setInterval(options.detectDelay);
    connect(detectTimer_, &QTimer::timeout, this, &MainWindow::DetectDeviceTick);
    detectTimer_->start();
    autoRefresh_->Rearm();

    // The other windows, created once and reused.
    waitWindow_ = new WaitWindow(this);
    settingsDialog_ = new SettingsDialog(this);
    if (options.settingsEditor != nullptr) {
        settingsEditor_ = options.settingsEditor;
    } else {
        ownSettingsEditor_ = std::make_unique<DialogSettingsEditor>(*settingsDialog_);
        settingsEditor_ = ownSettingsEditor_.get();
    }
    ConnectViews();
    ConnectCommands();

    if (!configError.empty()) {
        const QString text = QString::fromStdString(configError);
        QTimer::singleShot(0, this, [this, text] { prompter_->Warning(text); });
    }
}

MainWindow::~MainWindow() {
    stateTimer_->stop();
    detectTimer_->stop();
    autoRefresh_->Stop();
    // The views go with the child widgets, after the card state: no signal
    // of theirs may reach this window on the way out.
    for (CardView* view : views_)
        view->List()->disconnect(this);
    // The volumes outlive the link by a moment; they must not reach it.
    for (CardVolume& v : volumes_)
        v.Link = nullptr;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (LinkBusy()) {
        // Closing now would pull the link from under a command: close as
        // soon as it is done.
        closePending_ = true;
        event->ignore();
        return;
    }
    stateTimer_->stop();
    detectTimer_->stop();
    autoRefresh_->Stop();
    waitWindow_->hide();
    event->accept();
}

void MainWindow::ConnectViews() {
    for (int i = 0; i < 3; ++i) {
        CardListWidget* list = views_[i]->List();
        list->addAction(menus_->DeleteSelected(i));
        list->addAction(menus_->Undo(i));
        list->viewport()->setMouseTracking(true);
        list->viewport()->installEventFilter(this);
        connect(list, &CardListWidget::Clicked, this, [this, i] { ViewClicked(i); });
        connect(list, &CardListWidget::Activated, this, [this, i] { emit SaverActivated(i); });
        connect(list, &QListWidget::itemSelectionChanged, this, [this, i] { SelectionChanged(i); });
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, i, list](const QPoint& pos) {
                    menus_->Menu(i)->popup(list->viewport()->mapToGlobal(pos));
                });
    }
}

void MainWindow::ConnectCommands() {
    connect(setupButton_, &QPushButton::clicked, this, &MainWindow::RunSettings);
    connect(exitButton_, &QPushButton::clicked, this, &QWidget::close);
    connect(menus_->slot1.refresh, &QAction::triggered, this, &MainWindow::RefreshSlot1Command);
    connect(menus_->slot2.refresh, &QAction::triggered, this, &MainWindow::RefreshSlot2Command);
    for (int index = 0; index < 3; ++index)
        for (int blocks : {241, 240, 200})
            connect(menus_->FormatItem(index, blocks), &QAction::triggered, this,
                    [this, index, blocks] { FormatCommand(index, blocks); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == pagePanel_->PageLabel()) {
            pagePanel_->ShowPagePanel();
            return true;
        }
        if (watched == this) {
            // The window's own background, not a control on it.
            const auto* move = static_cast<QMouseEvent*>(event);
            if (childAt(move->position().toPoint()) == nullptr)
                pagePanel_->HidePagePanel();
        } else {
            pagePanel_->HidePagePanel();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::Pause(int ms) {
    LinkWork work(*this);
    clock_->Pause(ms);
    host_.KeepAlive();
}

void MainWindow::RepaintNow() {
    host_.PaintNow();
}

void MainWindow::ShowWaitWindow() {
    waitWindow_->ShowOver(this);
}

void MainWindow::HideWaitWindow() {
    waitWindow_->hide();
}

void MainWindow::CentreOver(QWidget* window) const {
    window->move(CentredOver(frameGeometry(), window->frameSize()));
}

bool MainWindow::ActivateChecked() const {
    return settingsEditor_->ActivateChecked();
}

void MainWindow::SetStatus(const QString& text) {
    statusLabel_->setText(text);
}

QString MainWindow::Status() const {
    return statusLabel_->text();
}

void MainWindow::ShowNoDevice() {
    SetStatus(LinkPort::kNoDeviceText);
    statusLabel_->setToolTip(kNoDeviceHintText);
    noDeviceHint_->show();
    noDeviceHint_->raise();
    autoRefresh_->BackOff(true);
}

void MainWindow::ShowDeviceAnswers() {
    noDeviceHint_->hide();
    statusLabel_->setToolTip(QString());
    autoRefresh_->BackOff(false);
}

bool MainWindow::CardPresent(int slot) {
    if (slot != 0 && slot != 1)
        return false;
    if (link_->DirectMode)
        return true;
    bool card1 = false;
    bool card2 = false;
    if (!link_->GetSlotStatus(card1, card2))
        return false;
    return slot == 0 ? card1 : card2;
}

QString MainWindow::PageSizeSuffix(uint16_t highestPage) {
    if (highestPage >= 15)
        return "16M";
    if (highestPage >= 7)
        return "8M";
    if (highestPage >= 3)
        return "4M";
    if (highestPage == 2)
        return "";
    return "2M";
}

// --- Selection ---------------------------------------------------------------

void MainWindow::ClearSelection() {
    SelectedName.clear();
    SelectedEntry = 0;
    SelectedVolume = nullptr;
    detail_->ClearPicture();
    detail_->SetName(DetailPanel::kNoSaverText);
    detail_->SetDateTime("");
    detail_->SlideDown();
}

void MainWindow::ShowSelectedSaver(int index) {
    const QList<int> positions = views_[index]->List()->SelectedPositions();
    if (positions.isEmpty())
        return;
    const int entry = views_[index]->DirectoryIndexAt(positions.first());
    if (entry < 0)
        return;
    detail_->SlideUp();
    CardVolume& volume = volumes_[index];
    const SaverEntry& e = volume.Entries[entry];
    detail_->ShowPicture(views_[index]->CurrentPicture(entry));
    SelectedName = e.Name;
    SelectedEntry = static_cast<int16_t>(entry);
    SelectedVolume = &volume;
    const QString name = QString::fromStdString(SaverText(e.Name));
    if (index == kSlot1)
        detail_->SetName("Slot 1 : " + name);
    else if (index == kSlot2)
        detail_->SetName("Slot 2 : " + name);
    else
        detail_->SetName(QFileInfo(QString::fromStdString(volume.ImageName)).fileName() + " : " +
                         name);
    detail_->SetDateTime(QString::fromStdString(e.Date) + "   " + QString::fromStdString(e.Time));
    if (e.IsGame && !link_->DirectMode)
        detail_->DisasmButton()->setEnabled(true);
}

void MainWindow::ViewClicked(int index) {
    detail_->DisasmButton()->setEnabled(false);
    if (views_[index]->List()->selectedItems().size() == 1)
        ShowSelectedSaver(index);
    else
        ClearSelection();
}

void MainWindow::SelectionChanged(int index) {
    pagePanel_->HidePagePanel();
    const int selected = static_cast<int>(views_[index]->List()->selectedItems().size());
    if (selected < 2) {
        detail_->HideTotals();
        return;
    }
    const QString prefix = index == kSlot1   ? "Slot 1 : "
                           : index == kSlot2 ? "Slot 2 : "
                                             : "File : ";
    detail_->ShowTotals(prefix + QString::number(selected) + " Saver Selected",
                        QString::number(views_[index]->SelectedBlocks()) + " Blocks Total");
}

// --- State tick ----------------------------------------------------------------

void MainWindow::StateTick() {
    if (LinkBusy())
        return;
    for (int i = 0; i < 3; ++i) {
        CardListWidget* list = views_[i]->List();
        if (list->hasFocus() && !list->selectedItems().isEmpty())
            ViewClicked(i);
    }
    addressLabel_->setText(kAddressText);
    makerLabel_->setText("Velmor");

    if (loaded_[kSlot1] && volumes_[kSlot1].ListedCount > 0)
        views_[kSlot1]->Animate();
    if (loaded_[kSlot2])
        views_[kSlot2]->Animate();
    if (loaded_[kFile])
        views_[kFile]->Animate();

    for (int i = 0; i < 3; ++i) {
        views_[i]->SetLoadedLook(loaded_[i]);
        if (!loaded_[i])
            views_[i]->Empty();
    }
    EnableSlot1Commands(loaded_[kSlot1]);
    EnableSlot2Commands(loaded_[kSlot2]);
    EnableFileCommands(loaded_[kFile]);
}

void MainWindow::EnableSlot1Commands(bool on) {
    // Nothing can be imported onto an erased card; it has to be formatted.
    const bool imports = on && views_[kSlot1]->Formatted();
    const CardMenus::SlotItems& m = menus_->slot1;
    for (QAction* a : {m.uploadDcm, m.saveAsDcm, m.checkCard, m.format, m.deleteSelected})
        a->setEnabled(on);
    m.importBmp->setEnabled(imports);
    m.importDci->setEnabled(imports);
    views_[kSlot1]->DcmButton()->setEnabled(on);
    views_[kSlot1]->DciButton()->setEnabled(imports);
}

void MainWindow::EnableSlot2Commands(bool on) {
    const bool imports = on && views_[kSlot2]->Formatted();
    const CardMenus::SlotItems& m = menus_->slot2;
    for (QAction* a : {m.uploadDcm, m.saveAsDcm, m.checkCard, m.format, m.deleteSelected})
        a->setEnabled(on);
    m.importBmp->setEnabled(imports);
    m.importDci->setEnabled(imports);
    views_[kSlot2]->DcmButton()->setEnabled(on);
    views_[kSlot2]->DciButton()->setEnabled(imports);
}

void MainWindow::EnableFileCommands(bool on) {
    const bool imports = on && views_[kFile]->Formatted();
    const CardMenus::FileItems& m = menus_->file;
    for (QAction* a : {m.closeDcm, m.format, m.saveAsDcm, m.checkCard, m.deleteSelected})
        a->setEnabled(on);
    m.importDci->setEnabled(imports);
    m.importBmp->setEnabled(imports);
}
