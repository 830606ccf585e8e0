#include "ui/commands/HistoryCommands.h"

#include "card/CardSession.h"
#include "card/JournalCommands.h"
#include "card/SaverText.h"
#include "qtbase/Prompter.h"
#include "ui/dialogs/HistoryDialog.h"
#include "ui/main/CardMenus.h"
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <vector>

QString HistoryCommands::UndoCaption(const QString& lastChange) {
    // Taking back an undo puts the change back: a redo, and the other way
    // round. The item names the change itself either way.
    if (lastChange.startsWith("undo "))
        return "Redo " + lastChange.mid(5);
    if (lastChange.startsWith("redo "))
        return "Undo " + lastChange.mid(5);
    return "Undo " + lastChange;
}

HistoryCommands::HistoryCommands(CommandContext& ui, QObject* parent) : QObject(parent), ui_(ui) {
    setObjectName("HistoryCommands");
    dialog_ = new HistoryDialog(&ui.Window());
    // The undo item names the change it would take back.
    for (CardPlace view : kCardPlaces)
        connect(ui.Menus().Menu(view), &QMenu::aboutToShow, this,
                [this, view] { UpdateUndoCaption(view); });
}

void HistoryCommands::UpdateUndoCaption(CardPlace view) {
    CardSession& session = ui_.Session();
    QAction* undo = ui_.Menus().Undo(view);
    QString caption = "Undo";
    if (session.Loaded(view)) {
        // What the card's listing found: no link work for a caption.
        const std::string last = session.Journal().ListedLastCommand(session.Volume(view));
        if (!last.empty())
            caption = UndoCaption(QString::fromStdString(SaverText(last)));
    }
    undo->setText(caption);
}

void HistoryCommands::Undo(CardPlace view) {
    CardSession& session = ui_.Session();
    if (!session.Loaded(view))
        return;
    // The wait window takes the focus; Ctrl+Z again should reach the view.
    QPointer<QWidget> focused = QApplication::focusWidget();
    // The file view is never read by the auto-refresh tick.
    CardRequest request{.holdTick = IsSlot(view), .wait = true};
    request.work = [&](CardJob& job) {
        const JournalOutcome outcome = UndoLastChange(session.Volume(view), session.Journal());
        job.Refresh(view);
        if (!outcome.done)
            job.Warn(QString::fromStdString(outcome.message));
    };
    if (ui_.Runner().Run(request) == RunOutcome::Done && focused != nullptr)
        focused->setFocus();
}

void HistoryCommands::FillHistory(CardPlace view) {
    CardSession& session = ui_.Session();
    std::vector<JournalRecord> records;
    ui_.Runner().Run({.work = [&](CardJob&) {
        if (!ReadHistory(session.Volume(view), session.Journal(), records))
            records.clear();
    }});
    dialog_->Show(QString::fromStdString(VolumeLabel(session.Volume(view))), records);
}

void HistoryCommands::ShowHistory(CardPlace view) {
    if (!ui_.Session().Loaded(view))
        return;
    // The window is open for the length of the request; its reads and
    // "Recover" run as requests of their own.
    CardRequest request{.holdTick = IsSlot(view), .linkWork = false};
    request.work = [this, view](CardJob&) {
        FillHistory(view);
        dialog_->OnRecover = [this, view](int record) { Recover(view, record); };
        ui_.CentreOver(dialog_);
        dialog_->exec();
        dialog_->OnRecover = nullptr;
    };
    ui_.Runner().Run(request);
}

void HistoryCommands::Recover(CardPlace view, int record) {
    CardSession& session = ui_.Session();
    RecoverReport report;
    CardRequest request{.wait = true};
    request.work = [&](CardJob& job) {
        report = RecoverSavers(session.Volume(view), session.Journal(), "", record);
        job.Refresh(view);
    };
    ui_.Runner().Run(request);
    QString text = QString::fromStdString(report.outcome.message);
    for (const std::string& lost : report.lost)
        text += "\nLost: " + QString::fromStdString(lost);
    if (report.outcome.done)
        ui_.Prompts().Info(text);
    else
        ui_.Prompts().Warning(text);
    FillHistory(view);
}
