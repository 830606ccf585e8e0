#include "ui/commands/HistoryCommands.h"

#include "card/JournalCommands.h"
#include "qtbase/Prompter.h"
#include "ui/commands/AutoRefreshHold.h"
#include "ui/dialogs/HistoryDialog.h"
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <vector>

namespace {

QString CardName(MainWindow& window, int index) {
    return QString::fromStdString(VolumeLabel(window.Volume(index)));
}

} // namespace

HistoryCommands::HistoryCommands(MainWindow& window, QObject* parent)
    : QObject(parent), window_(window) {
    setObjectName("HistoryCommands");
    dialog_ = new HistoryDialog(&window);
    CardMenus& m = window.Menus();
    for (int i = 0; i < 3; ++i) {
        connect(m.Undo(i), &QAction::triggered, this, [this, i] { Undo(i); });
        connect(m.History(i), &QAction::triggered, this, [this, i] { ShowHistory(i); });
        connect(m.Menu(i), &QMenu::aboutToShow, this, [this, i] { UpdateUndoCaption(i); });
    }
}

void HistoryCommands::UpdateUndoCaption(int index) {
    QAction* undo = window_.Menus().Undo(index);
    QString caption = "Undo";
    if (window_.Loaded(index)) {
        // The listing's root names the card: no link work for a caption.
        std::vector<JournalRecord> records;
        LoadJournal(window_.Journal().PathFor(window_.Volume(index)), records);
        if (!records.empty())
            caption += " " + QString::fromStdString(records.back().command);
    }
    undo->setText(caption);
}

void HistoryCommands::Undo(int index) {
    if (window_.LinkBusy() || index < 0 || index > 2 || !window_.Loaded(index))
        return;
    AutoRefreshHold hold(window_, index != MainWindow::kFile);
    // The wait window takes the focus; Ctrl+Z again should reach the view.
    QPointer<QWidget> focused = QApplication::focusWidget();
    JournalOutcome outcome;
    {
        MainWindow::LinkWork work(window_);
        window_.ShowWaitWindow();
        outcome = UndoLastChange(window_.Volume(index), window_.Journal());
        window_.HideWaitWindow();
        window_.Refresh(index);
    }
    if (focused != nullptr)
        focused->setFocus();
    if (!outcome.done)
        window_.Prompts().Warning(QString::fromStdString(outcome.message));
}

void HistoryCommands::FillHistory(int index) {
    std::vector<JournalRecord> records;
    MainWindow::LinkWork work(window_);
    if (!ReadHistory(window_.Volume(index), window_.Journal(), records))
        records.clear();
    dialog_->Show(CardName(window_, index), records);
}

void HistoryCommands::ShowHistory(int index) {
    if (window_.LinkBusy() || index < 0 || index > 2 || !window_.Loaded(index))
        return;
    AutoRefreshHold hold(window_, index != MainWindow::kFile);
    FillHistory(index);
    dialog_->OnRecover = [this, index](int record) { Recover(index, record); };
    window_.CentreOver(dialog_);
    dialog_->exec();
    dialog_->OnRecover = nullptr;
}

void HistoryCommands::Recover(int index, int record) {
    RecoverReport report;
    {
        MainWindow::LinkWork work(window_);
        window_.ShowWaitWindow();
        report = RecoverSavers(window_.Volume(index), window_.Journal(), "", record);
        window_.HideWaitWindow();
        window_.Refresh(index);
    }
    QString text = QString::fromStdString(report.outcome.message);
    for (const std::string& lost : report.lost)
        text += "\nLost: " + QString::fromStdString(lost);
    if (report.outcome.done)
        window_.Prompts().Info(text);
    else
        window_.Prompts().Warning(text);
    FillHistory(index);
}
