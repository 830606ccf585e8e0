#include "ui/commands/HistoryCommands.h"

#include "card/CardSession.h"
#include "card/JournalCommands.h"
#include "card/SaverText.h"
#include "qtbase/Prompter.h"
#include "ui/dialogs/HistoryDialog.h"
#include "ui/main/CardMenus.h"
#include "ui/main/CommandUi.h"
#include "ui/main/LinkCommandRunner.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <vector>

namespace {

// The file view is never read by the auto-refresh tick.
LinkCommand HeldFor(CardPlace view) {
    LinkCommand command;
    command.linkWork = false;
    command.holdAutoRefresh = IsSlot(view);
    return command;
}

} // namespace

QString HistoryCommands::UndoCaption(const QString& lastChange) {
    // Taking back an undo puts the change back: a redo, and the other way
    // round. The item names the change itself either way.
    if (lastChange.startsWith("undo "))
        return "Redo " + lastChange.mid(5);
    if (lastChange.startsWith("redo "))
        return "Undo " + lastChange.mid(5);
    return "Undo " + lastChange;
}

HistoryCommands::HistoryCommands(CommandUi& ui, QObject* parent) : QObject(parent), ui_(ui) {
    setObjectName("HistoryCommands");
    dialog_ = new HistoryDialog(&ui.Window());
    CardMenus& m = ui.Menus();
    for (CardPlace view : kCardPlaces) {
        connect(m.Undo(view), &QAction::triggered, this, [this, view] { Undo(view); });
        connect(m.History(view), &QAction::triggered, this, [this, view] { ShowHistory(view); });
        connect(m.Menu(view), &QMenu::aboutToShow, this, [this, view] { UpdateUndoCaption(view); });
    }
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
    ui_.Runner().RunLinkCommand(HeldFor(view), [this, view, &session] {
        // The wait window takes the focus; Ctrl+Z again should reach the view.
        QPointer<QWidget> focused = QApplication::focusWidget();
        JournalOutcome outcome;
        ui_.Runner().Join([&] {
            ui_.Runner().JoinWaiting(
                [&] { outcome = UndoLastChange(session.Volume(view), session.Journal()); });
            ui_.Refresh(view);
        });
        if (focused != nullptr)
            focused->setFocus();
        if (!outcome.done)
            ui_.Prompts().Warning(QString::fromStdString(outcome.message));
    });
}

void HistoryCommands::FillHistory(CardPlace view) {
    CardSession& session = ui_.Session();
    std::vector<JournalRecord> records;
    ui_.Runner().Join([&] {
        if (!ReadHistory(session.Volume(view), session.Journal(), records))
            records.clear();
    });
    dialog_->Show(QString::fromStdString(VolumeLabel(session.Volume(view))), records);
}

void HistoryCommands::ShowHistory(CardPlace view) {
    if (!ui_.Session().Loaded(view))
        return;
    ui_.Runner().RunLinkCommand(HeldFor(view), [this, view] {
        FillHistory(view);
        dialog_->OnRecover = [this, view](int record) { Recover(view, record); };
        ui_.CentreOver(dialog_);
        dialog_->exec();
        dialog_->OnRecover = nullptr;
    });
}

void HistoryCommands::Recover(CardPlace view, int record) {
    CardSession& session = ui_.Session();
    RecoverReport report;
    ui_.Runner().Join([&] {
        ui_.Runner().JoinWaiting(
            [&] { report = RecoverSavers(session.Volume(view), session.Journal(), "", record); });
        ui_.Refresh(view);
    });
    QString text = QString::fromStdString(report.outcome.message);
    for (const std::string& lost : report.lost)
        text += "\nLost: " + QString::fromStdString(lost);
    if (report.outcome.done)
        ui_.Prompts().Info(text);
    else
        ui_.Prompts().Warning(text);
    FillHistory(view);
}
