// The main window: start-up and shut-down, what the presenter shows on it,
// the settings, and the card files handed to the program.
#include "ui/main/MainWindow.h"

#include "card/SpeedSearch.h"
#include "link/LinkPort.h"
#include "qtbase/Centre.h"
#include "qtbase/Prompter.h"
#include "settings/ConfigFile.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/SaverCommands.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/dialogs/SettingsEditor.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/CardMenus.h"
#include "ui/main/UiClock.h"
#include "ui/main/WaitWindowShow.h"
#include "ui/tools/ToolCommands.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/DetailPanel.h"
#include "ui/widgets/FocusRing.h"
#include "ui/widgets/PagePanel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
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
      host_(prompts_, *clock_), runner_(session_, prompts_) {
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
    BuildLeftColumn();
    BuildCardArea();
    new FocusRing(this);
    FocusRing::RingEveryWindow();
    host_.Attach(statusLabel_, progress_);

    session_.Open(std::move(backend), &host_, &host_,
                  options.startDir.empty() ? CurrentFolder() : options.startDir);
    presenter_ =
        new CardPresenter(session_, runner_, prompts_, host_, *clock_, *this, options.ticks, this);
    session_.SetOnLinkIdle([this] { LinkIdle(); });

    pagePanel_->PageLabel()->hide();
    pagePanel_->Panel()->hide();
    pagePanel_->Set16MButton()->hide();
    detail_->SetName(DetailPanel::kNoSaverText);
    presenter_->ClearSelection();
    menus_->Item(CardPlace::Image, CommandId::CloseDcm)->setEnabled(false);
    presenter_->Start();

    // The other windows, created once and reused.
    waitWindow_ = new WaitWindow(this);
    waitShow_ = std::make_unique<WaitWindowShow>(*waitWindow_, *this);
    prompts_.Attach(waitShow_.get());
    runner_.Attach(waitShow_.get(), presenter_,
                   [this](CardPlace view) { presenter_->Refresh(view); });
    settingsDialog_ = new SettingsDialog(this);
    // "Find speed" is link work as any command's, under the wait window.
    settingsDialog_->SetSpeedFinder([this](const Settings& working) {
        SpeedResult result;
        CardRequest request{.wait = true};
        request.work = [&](CardJob&) { result = FindLinkSpeed(session_.Link(), working, &host_); };
        runner_.Run(request);
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
    saverCommands_ = new SaverCommands(*presenter_, this);
    toolCommands_ = new ToolCommands(*presenter_, options.editorFile);
    menus_->Connect({*presenter_, *saverCommands_, *toolCommands_});

    if (!session_.ConfigError().empty()) {
        const QString text = QString::fromStdString(session_.ConfigError());
        QTimer::singleShot(0, this, [this, text] { prompts_.Warning(text); });
    }
}

MainWindow::~MainWindow() {
    presenter_->Stop();
    menus_->Disconnect();
    // The views go with the child widgets, after the card state: no signal
    // of theirs may reach the presenter or the commands on the way out,
    // which go first, as they work on the card state.
    for (CardView* view : views_)
        view->List()->disconnect(this);
    delete toolCommands_;
    delete saverCommands_;
    delete presenter_;
    presenter_ = nullptr;
    // The volumes outlive the link by a moment; they must not reach it.
    session_.Detach();
    session_.SetOnLinkIdle(nullptr);
}

void MainWindow::LinkIdle() {
    presenter_->LinkIdle();
    if (!closePending_)
        return;
    closePending_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (runner_.Busy()) {
        // Closing now would pull the link from under a command: close as
        // soon as it is done.
        closePending_ = true;
        event->ignore();
        return;
    }
    presenter_->Stop();
    event->accept();
}

void MainWindow::ConnectViews() {
    for (CardPlace view : kCardPlaces) {
        CardListWidget* list = ViewOf(view).List();
        list->viewport()->setMouseTracking(true);
        list->viewport()->installEventFilter(this);
        connect(list, &CardListWidget::Clicked, presenter_,
                [this, view] { presenter_->ViewClicked(view); });
        connect(list, &CardListWidget::SelectionChanged, presenter_,
                [this, view] { presenter_->SelectionChanged(view); });
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
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove && presenter_ != nullptr) {
        if (watched == this) {
            // The window's own background, not a control on it.
            const auto* move = static_cast<QMouseEvent*>(event);
            if (childAt(move->position().toPoint()) == nullptr)
                presenter_->HidePagePanel();
        } else {
            presenter_->HidePagePanel();
        }
    }
    return QWidget::eventFilter(watched, event);
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

void MainWindow::ShowNoDeviceHint(bool shown) {
    statusLabel_->setToolTip(shown ? kNoDeviceHintText : QString());
    noDeviceHint_->setVisible(shown);
    if (shown)
        noDeviceHint_->raise();
}

void MainWindow::ShowMaker() {
    addressLabel_->setText(kAddressText);
    makerLabel_->setText("Velmor");
}

void MainWindow::RunSettings() {
    CardRequest request{.holdTick = true, .linkWork = false};
    request.work = [this](CardJob&) {
        if (!settingsEditor_->Run(session_.Config(), this))
            return;
        std::string error;
        if (!SaveConfig(session_.StartDir(), session_.Config(), &error)) {
            const QString path = QString::fromStdString(session_.StartDir()) + kConfigFileName;
            prompts_.Warning("The settings could not be saved to " + path + ": " +
                             QString::fromStdString(error));
        }
        // The new port and delays hold from the next command on.
        session_.ApplyConfig();
    };
    runner_.Run(request);
}

// --- Card files handed to the program ----------------------------------------------

void MainWindow::OpenCard(const QString& path) {
    // A request may arrive while a refresh runs or a choice window is open.
    if (runner_.Busy() || QApplication::activeModalWidget() != nullptr) {
        QTimer::singleShot(500, this, [this, path] { OpenCard(path); });
        return;
    }
    raise();
    activateWindow();
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "dci" || suffix == "vms" || suffix == "vmi") {
        // Asked from the event loop, not from inside the hand-off's socket
        // signal: the question's own loop may see that socket go.
        QTimer::singleShot(0, this, [this, path] { ImportWhenLoaded(path, 0); });
    } else {
        saverCommands_->Dcm().OpenFile(path);
    }
}

// A single save handed to us goes into the view the user names, once a card
// has been read (the slots are read shortly after start).
void MainWindow::ImportWhenLoaded(const QString& path, int tries) {
    constexpr const char* kViewNames[] = {"Slot 1", "Slot 2", "the DCM file"};
    bool any = false;
    for (CardPlace view : kCardPlaces)
        any = any || session_.Loaded(view);
    const bool busy = runner_.Busy() || QApplication::activeModalWidget() != nullptr;
    if (busy || (!any && tries < 10)) {
        const int next = busy ? tries : tries + 1;
        QTimer::singleShot(500, this, [this, path, next] { ImportWhenLoaded(path, next); });
        return;
    }
    if (!any) {
        prompts_.Info("Refresh a card or open a DCM file first, then import " + path + " .");
        return;
    }
    for (CardPlace view : kCardPlaces) {
        if (session_.Loaded(view) &&
            prompts_.Confirm("Import " + path + " into " + kViewNames[PlaceIndex(view)] + " ?")) {
            saverCommands_->Dci().ImportFile(view, path);
            return;
        }
    }
}
