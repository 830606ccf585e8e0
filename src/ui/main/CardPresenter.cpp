// The presenter: its timers, what the commands see, the selection display,
// the state tick and the pages of the paged card.
#include "ui/main/CardPresenter.h"

#include "card/CardJournal.h"
#include "card/CardSession.h"
#include "card/SaverText.h"
#include "link/LinkPort.h"
#include "qtbase/Prompter.h"
#include "ui/main/CardDisplay.h"
#include "ui/main/CardMenus.h"
#include "ui/main/ImageWatch.h"
#include "ui/main/UiClock.h"
#include "ui/main/WindowFeedback.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/DetailPanel.h"
#include "ui/widgets/PagePanel.h"

#include <QFileInfo>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr const char* kPageLinkError = " Link Error , please check Connection speed in Setup, DC "
                                       "power and cable connection. ";
constexpr const char* k16MLinkError = " link error, please check is 16M Card , Connection speed "
                                      "in Setup, DC power and cable connection. ";

QTimer* Timer(QObject* parent, const char* name, int interval) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(name);
    timer->setInterval(interval);
    return timer;
}

} // namespace

CardPresenter::CardPresenter(CardSession& session, LinkCommandRunner& runner, Prompter& prompts,
                             WindowFeedback& host, UiClock& clock, CardDisplay& display,
                             const PresenterTicks& ticks, QObject* parent)
    : QObject(parent), session_(session), runner_(runner), prompts_(prompts), host_(host),
      clock_(clock), display_(display), autoRefreshInterval_(ticks.autoRefresh) {
    setObjectName("CardPresenter");
    imageWatch_ = new ImageWatch(*this, this);
    stateTimer_ = Timer(this, "StateTimer", ticks.state);
    connect(stateTimer_, &QTimer::timeout, this, &CardPresenter::StateTick);
    detectTimer_ = Timer(this, "DetectTimer", ticks.detect);
    detectTimer_->setSingleShot(true);
    connect(detectTimer_, &QTimer::timeout, this, &CardPresenter::DetectDeviceTick);
    autoRefreshTimer_ = Timer(this, "AutoRefreshTimer", ticks.autoRefresh);
    connect(autoRefreshTimer_, &QTimer::timeout, this, &CardPresenter::AutoRefreshTick);

    PagePanel& pages = display_.Pages();
    connect(&pages, &PagePanel::PanelWanted, this, &CardPresenter::ShowPagePanel);
    connect(&pages, &PagePanel::PanelLeft, this, &CardPresenter::HidePagePanel);
    connect(&pages, &PagePanel::PageChosen, this, &CardPresenter::ChoosePage);
    connect(&pages, &PagePanel::Set16MClicked, this, &CardPresenter::Set16MPage);
}

CardPresenter::~CardPresenter() {
    Stop();
}

void CardPresenter::Start() {
    stateTimer_->start();
    detectTimer_->start();
    RearmTick();
}

void CardPresenter::Stop() {
    stateTimer_->stop();
    detectTimer_->stop();
    autoRefreshTimer_->stop();
}

// --- CommandContext -------------------------------------------------------------------

CardFeedback& CardPresenter::Feedback() {
    return host_;
}

CardView& CardPresenter::ViewOf(CardPlace view) {
    return display_.ViewOf(view);
}

CardMenus& CardPresenter::Menus() {
    return display_.Menus();
}

DetailPanel& CardPresenter::Detail() {
    return display_.Detail();
}

QWidget& CardPresenter::Window() {
    return display_.Window();
}

void CardPresenter::CentreOver(QWidget* window) const {
    display_.CentreOver(window);
}

void CardPresenter::SetStatus(const QString& text) {
    display_.SetStatus(text);
}

void CardPresenter::RepaintNow() {
    host_.PaintNow();
}

void CardPresenter::Pause(int ms) {
    // The ticks stay out of a pause as out of link work.
    const CardSession::LinkWork hold(session_);
    clock_.Pause(ms);
    host_.KeepAlive();
}

void CardPresenter::LinkIdle() {
    imageWatch_->LinkWorkEnded();
    // Told once the work is over, so that no refresh in it covers it up; the
    // steps of an auto-refresh tick count as one piece of work.
    if (inTick_)
        return;
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
}

// --- Selection -------------------------------------------------------------------

void CardPresenter::ClearSelection() {
    DetailPanel& detail = display_.Detail();
    session_.ClearSelection();
    detail.ClearPicture();
    detail.SetName(DetailPanel::kNoSaverText);
    detail.SetDateTime("");
    detail.SlideDown();
}

void CardPresenter::ShowSelectedSaver(CardPlace view) {
    CardView& shown = ViewOf(view);
    DetailPanel& detail = display_.Detail();
    const QList<int> positions = shown.List()->SelectedPositions();
    if (positions.isEmpty())
        return;
    const int entry = shown.DirectoryIndexAt(positions.first());
    if (entry < 0)
        return;
    detail.SlideUp();
    const CardVolume& volume = session_.Volume(view);
    const SaverEntry& e = volume.Entries()[entry];
    detail.ShowPicture(shown.CurrentPicture(entry));
    session_.Select(view, entry);
    const QString name = QString::fromStdString(SaverText(e.Name));
    if (view == CardPlace::Slot1)
        detail.SetName("Slot 1 : " + name);
    else if (view == CardPlace::Slot2)
        detail.SetName("Slot 2 : " + name);
    else
        detail.SetName(QFileInfo(QString::fromStdString(volume.ImageName())).fileName() + " : " +
                       name);
    detail.SetDateTime(QString::fromStdString(e.Date) + "   " + QString::fromStdString(e.Time));
    if (e.IsGame && !session_.Link().DirectMode)
        detail.DisasmButton()->setEnabled(true);
}

void CardPresenter::ViewClicked(CardPlace view) {
    display_.Detail().DisasmButton()->setEnabled(false);
    if (ViewOf(view).List()->SelectedPositions().size() == 1)
        ShowSelectedSaver(view);
    else
        ClearSelection();
}

void CardPresenter::SelectionChanged(CardPlace view) {
    HidePagePanel();
    DetailPanel& detail = display_.Detail();
    const int selected = static_cast<int>(ViewOf(view).List()->SelectedPositions().size());
    if (selected < 2) {
        detail.HideTotals();
        return;
    }
    const QString prefix = view == CardPlace::Slot1   ? "Slot 1 : "
                           : view == CardPlace::Slot2 ? "Slot 2 : "
                                                      : "File : ";
    detail.ShowTotals(prefix + QString::number(selected) + " Saver Selected",
                      QString::number(ViewOf(view).SelectedBlocks()) + " Blocks Total");
}

// --- State tick ----------------------------------------------------------------

void CardPresenter::StateTick() {
    // Not in the middle of link work; the tick itself is no link work.
    runner_.Run({.linkWork = false, .work = [this](CardJob&) { StateTickWork(); }});
}

void CardPresenter::StateTickWork() {
    for (CardPlace view : kCardPlaces) {
        CardListWidget* list = ViewOf(view).List();
        if (list->hasFocus() && !list->SelectedPositions().isEmpty())
            ViewClicked(view);
    }
    display_.ShowMaker();

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

void CardPresenter::EnableCommands(CardPlace view, bool on) {
    display_.Menus().Enable(view, on, ViewOf(view));
}

// --- Pages -----------------------------------------------------------------------

QString CardPresenter::PageSizeSuffix(uint16_t highestPage) {
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

void CardPresenter::ShowPagePanel() {
    // Nothing slides in the middle of link work.
    runner_.Run({.linkWork = false, .work = [this](CardJob&) {
                     if (session_.HighestPage() > 4)
                         StopTick();
                     PagePanel& pages = display_.Pages();
                     if (session_.Link().DirectMode && pages.IsOut())
                         pages.SlideIn([this](int ms) { Pause(ms); });
                 }});
}

void CardPresenter::HidePagePanel() {
    // Views are emptied and refilled during link work; that is no reason to
    // slide anything or to re-read the card from inside a refresh.
    bool pageChanged = false;
    runner_.Run({.linkWork = false, .work = [&](CardJob&) {
                     RearmTick();
                     PagePanel& pages = display_.Pages();
                     if (!session_.Link().DirectMode || !pages.IsIn())
                         return;
                     pages.SlideOut([this](int ms) { Pause(ms); });
                     pageChanged =
                         session_.CurrentPage() != static_cast<uint16_t>(session_.ShownPage());
                 }});
    if (pageChanged)
        ReadAgain(CardPlace::Slot1);
}

void CardPresenter::ChoosePage(int value) {
    CardRequest request;
    request.work = [this, value](CardJob&) {
        LinkPort& link = session_.Link();
        if (!link.SetPage(static_cast<uint16_t>(value & 0xFF)))
            return;
        uint16_t page = 0;
        if (!link.GetPage(page)) {
            prompts_.Info(kPageLinkError);
            SetStatus("No Device");
            return;
        }
        display_.Pages().ShowSpinValue(page);
        session_.SetCurrentPage(page);
        display_.Pages().ShowSet16M(session_.HighestPage() >= 15);
    };
    runner_.Run(request);
}

void CardPresenter::Set16MPage() {
    CardRequest request;
    request.work = [this](CardJob& job) {
        LinkPort& link = session_.Link();
        uint16_t page = 0;
        // Without the current page there is nothing sure to hand the card.
        if (!link.GetPage(page) || !link.SetPage16M(static_cast<uint8_t>(page & 0xFF))) {
            job.Inform(k16MLinkError);
            return;
        }
        display_.Pages().ShowSet16M(false);
        // The card takes its time over this; the wait window closes by itself.
        job.WaitUntilItCloses();
    };
    runner_.Run(request);
}
