// The main window: start-up and shut-down, the state tick, command enabling,
// the selection display and what the commands use.
#include "ui/main/MainWindow.h"

#include "card/CardJournal.h"
#include "card/SaverText.h"
#include "card/SpeedSearch.h"
#include "link/LinkPort.h"
#include "qtbase/Centre.h"
#include "qtbase/Prompter.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/dialogs/SettingsEditor.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/AutoRefresh.h"
#include "ui/main/CardMenus.h"
#include "ui/main/ImageWatch.h"
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

MainWindow::MainWindow(std::unique_ptr<PortBackend> backend, const MainWindowOptions& options,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ownClock_(options.clock != nullptr ? nullptr : std::make_unique<WallClock>()),
      clock_(options.clock != nullptr ? options.clock : ownClock_.get()),
      ownPrompter_(options.prompter != nullptr ? nullptr : std::make_unique<QtPrompter>(this)),
      prompts_(options.prompter != nullptr ? *options.prompter : *ownPrompter_),
      host_(prompts_, *clock_), runner_(session_, *this, prompts_) {
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
    imageWatch_ = new ImageWatch(*this, this);
    BuildLeftColumn();
    BuildCardArea();
    // Pointing at "Current Page : " slides the page panel in.
    pagePanel_->PageLabel()->installEventFilter(this);
    new FocusRing(this);
    FocusRing::RingEveryWindow();
    host_.Attach(statusLabel_, progress_);

    session_.Open(std::move(backend), &host_, &host_,
                  options.startDir.empty() ? CurrentFolder() : options.startDir);
    session_.SetOnLinkIdle([this] { LinkIdle(); });

    pagePanel_->PageLabel()->hide();
    pagePanel_->Panel()->hide();
    pagePanel_->Set16MButton()->hide();
    detail_->SetName(DetailPanel::kNoSaverText);
    ClearSelection();
    menus_->file.closeDcm->setEnabled(false);
    // No card is read yet.
    for (CardPlace view : kCardPlaces)
        for (QAction* a : {menus_->CheckCard(view), menus_->Undo(view), menus_->History(view)})
            a->setEnabled(false);

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
    runner_.Attach(autoRefresh_, waitWindow_);
    settingsDialog_ = new SettingsDialog(this);
    // "Find speed" is link work as any command's, under the wait window.
    settingsDialog_->SetSpeedFinder([this](const Settings& working) {
        SpeedResult result;
        LinkCommand command;
        command.wait = true;
        runner_.RunLinkCommand(command,
                               [&] { result = FindLinkSpeed(session_.Link(), working, &host_); });
        return result;
    });
    if (options.settingsEditor != nullptr) {
        settingsEditor_ = options.settingsEditor;
    } else {
        ownSettingsEditor_ = std::make_unique<DialogSettingsEditor>(*settingsDialog_);
        settingsEditor_ = ownSettingsEditor_.get();
    }
    ConnectViews();
    ConnectCommands();

    if (!session_.ConfigError().empty()) {
        const QString text = QString::fromStdString(session_.ConfigError());
        QTimer::singleShot(0, this, [this, text] { prompts_.Warning(text); });
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
    session_.Detach();
    session_.SetOnLinkIdle(nullptr);
}

void MainWindow::LinkIdle() {
    imageWatch_->LinkWorkEnded();
    // Shown once the work is over, so that no refresh in it covers it up.
    host_.ShowDueHint();
    // A change the history could not keep: said after the command, once per
    // card while the program runs.
    CardJournal& journal = session_.Journal();
    if (!journal.LastProblem().empty()) {
        const QString text = QString::fromStdString(journal.LastProblem());
        const std::string card = journal.ProblemVolume() != nullptr
                                     ? CardJournal::Location(*journal.ProblemVolume())
                                     : std::string();
        journal.ClearProblem();
        if (historyProblemsTold_.insert(card).second)
            prompts_.Warning(text);
    }
    if (!closePending_)
        return;
    closePending_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (session_.LinkBusy()) {
        // Closing now would pull the link from under a command: close as
        // soon as it is done.
        closePending_ = true;
        event->ignore();
        return;
    }
    stateTimer_->stop();
    detectTimer_->stop();
    autoRefresh_->Stop();
    runner_.HideWait();
    event->accept();
}

void MainWindow::ConnectViews() {
    for (CardPlace view : kCardPlaces) {
        CardListWidget* list = ViewOf(view).List();
        list->addAction(menus_->DeleteSelected(view));
        list->addAction(menus_->Undo(view));
        list->viewport()->setMouseTracking(true);
        list->viewport()->installEventFilter(this);
        connect(list, &CardListWidget::Clicked, this, [this, view] { ViewClicked(view); });
        connect(list, &CardListWidget::Activated, this,
                [this, view] { emit SaverActivated(view); });
        connect(list, &QListWidget::itemSelectionChanged, this,
                [this, view] { SelectionChanged(view); });
        connect(&ViewOf(view), &CardView::CheckRequested, this,
                [this, view] { menus_->CheckCard(view)->trigger(); });
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, view, list](const QPoint& pos) {
                    menus_->Menu(view)->popup(list->viewport()->mapToGlobal(pos));
                });
    }
}

void MainWindow::ConnectCommands() {
    connect(setupButton_, &QPushButton::clicked, this, &MainWindow::RunSettings);
    connect(exitButton_, &QPushButton::clicked, this, &QWidget::close);
    connect(menus_->slot1.refresh, &QAction::triggered, this,
            [this] { RefreshCommand(CardPlace::Slot1); });
    connect(menus_->slot2.refresh, &QAction::triggered, this,
            [this] { RefreshCommand(CardPlace::Slot2); });
    for (CardPlace view : kCardPlaces)
        for (int blocks : {241, 240, 200})
            connect(menus_->FormatItem(view, blocks), &QAction::triggered, this,
                    [this, view, blocks] { FormatCommand(view, blocks); });
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
    runner_.Join([this, ms] {
        clock_->Pause(ms);
        host_.KeepAlive();
    });
}

void MainWindow::RepaintNow() {
    host_.PaintNow();
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
    session_.ClearSelection();
    detail_->ClearPicture();
    detail_->SetName(DetailPanel::kNoSaverText);
    detail_->SetDateTime("");
    detail_->SlideDown();
}

void MainWindow::ShowSelectedSaver(CardPlace view) {
    CardView& shown = ViewOf(view);
    const QList<int> positions = shown.List()->SelectedPositions();
    if (positions.isEmpty())
        return;
    const int entry = shown.DirectoryIndexAt(positions.first());
    if (entry < 0)
        return;
    detail_->SlideUp();
    const CardVolume& volume = session_.Volume(view);
    const SaverEntry& e = volume.Entries()[entry];
    detail_->ShowPicture(shown.CurrentPicture(entry));
    session_.Select(view, entry);
    const QString name = QString::fromStdString(SaverText(e.Name));
    if (view == CardPlace::Slot1)
        detail_->SetName("Slot 1 : " + name);
    else if (view == CardPlace::Slot2)
        detail_->SetName("Slot 2 : " + name);
    else
        detail_->SetName(QFileInfo(QString::fromStdString(volume.ImageName())).fileName() + " : " +
                         name);
    detail_->SetDateTime(QString::fromStdString(e.Date) + "   " + QString::fromStdString(e.Time));
    if (e.IsGame && !session_.Link().DirectMode)
        detail_->DisasmButton()->setEnabled(true);
}

void MainWindow::ViewClicked(CardPlace view) {
    detail_->DisasmButton()->setEnabled(false);
    if (ViewOf(view).List()->selectedItems().size() == 1)
        ShowSelectedSaver(view);
    else
        ClearSelection();
}

void MainWindow::SelectionChanged(CardPlace view) {
    pagePanel_->HidePagePanel();
    const int selected = static_cast<int>(ViewOf(view).List()->selectedItems().size());
    if (selected < 2) {
        detail_->HideTotals();
        return;
    }
    const QString prefix = view == CardPlace::Slot1   ? "Slot 1 : "
                           : view == CardPlace::Slot2 ? "Slot 2 : "
                                                      : "File : ";
    detail_->ShowTotals(prefix + QString::number(selected) + " Saver Selected",
                        QString::number(ViewOf(view).SelectedBlocks()) + " Blocks Total");
}

// --- State tick ----------------------------------------------------------------

void MainWindow::StateTick() {
    if (session_.LinkBusy())
        return;
    for (CardPlace view : kCardPlaces) {
        CardListWidget* list = ViewOf(view).List();
        if (list->hasFocus() && !list->selectedItems().isEmpty())
            ViewClicked(view);
    }
    addressLabel_->setText(kAddressText);
    makerLabel_->setText("Velmor");

    if (session_.Loaded(CardPlace::Slot1) && session_.Volume(CardPlace::Slot1).ListedCount() > 0)
        ViewOf(CardPlace::Slot1).Animate();
    if (session_.Loaded(CardPlace::Slot2))
        ViewOf(CardPlace::Slot2).Animate();
    if (session_.Loaded(CardPlace::Image))
        ViewOf(CardPlace::Image).Animate();

    for (CardPlace view : kCardPlaces) {
        const bool loaded = session_.Loaded(view);
        ViewOf(view).SetLoadedLook(loaded);
        if (!loaded)
            ViewOf(view).Empty();
    }
    for (CardPlace view : kCardPlaces)
        EnableCommands(view, session_.Loaded(view));
    // "Close DCM File" lets the image go without link work.
    imageWatch_->Follow();
}

void MainWindow::EnableCommands(CardPlace view, bool on) {
    // Nothing can be imported onto an erased card; it has to be formatted.
    CardView& shown = ViewOf(view);
    const bool imports = on && shown.Formatted();
    // The program's own items need a card as much as the designed ones.
    for (QAction* a : {menus_->CheckCard(view), menus_->Undo(view), menus_->History(view)})
        a->setEnabled(on);
    if (view == CardPlace::Image) {
        const CardMenus::FileItems& m = menus_->file;
        for (QAction* a : {m.closeDcm, m.format, m.saveAsDcm, m.deleteSelected})
            a->setEnabled(on);
        m.importDci->setEnabled(imports);
        m.importBmp->setEnabled(imports);
        return;
    }
    const CardMenus::SlotItems& m = view == CardPlace::Slot1 ? menus_->slot1 : menus_->slot2;
    for (QAction* a : {m.uploadDcm, m.saveAsDcm, m.format, m.deleteSelected})
        a->setEnabled(on);
    m.importBmp->setEnabled(imports);
    m.importDci->setEnabled(imports);
    shown.DcmButton()->setEnabled(on);
    shown.DciButton()->setEnabled(imports);
}
