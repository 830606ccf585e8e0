// A box that stops answering after its Nth block write, under the window's
// Delete Selected, a drag (copy and move), Undo, Recover and Delete All: the
// link error says the card may need "Check card...", and the next refresh
// asks whether to finish the change, takes it back when told No, finishes it
// when told Yes, and the card checks clean either way.
#include "card/CardCheck.h"
#include "card/CardJournal.h"
#include "link/LinkPort.h"
#include "link/emu/LinkBox.h"
#include "ui/commands/CommandsRig.h"
#include "ui/commands/HistoryCommands.h"
#include "ui/dialogs/HistoryDialog.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

const std::vector<TestSaver> kSlot1 = {{0, "A", 2, 1}, {1, "B", 3, 1}, {2, "C", 1, 1}};
const std::vector<TestSaver> kSlot2 = {{0, "D", 2, 1}};

bool ChecksClean(const std::string& path) {
    CardVolume card;
    card.Device = CardVolume::kImage;
    CardCheckReport report;
    return card.OpenImage(path) && CheckCard(card, report) && report.Clean();
}

} // namespace

class CutChangeWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void ACutChangeIsTakenBackOrFinishedAtTheNextRefresh() {
        struct Row {
            const char* what;
            int dragMode;
            std::function<void(CommandsRig&)> prepare; // done whole first
            std::function<void(CommandsRig&)> act;     // cut off
            uint32_t writes;
            bool finish;
            QStringList slot1; // listed once settled
        };
        auto deleteB = [](CommandsRig& rig) {
            rig.prompter.Then("yes");
            rig.Select(View::Slot1, {1});
            rig.window->Menus().DeleteSelected(View::Slot1)->trigger();
        };
        auto none = [](CommandsRig&) {};
        auto undo = [](CommandsRig& rig) { rig.window->Menus().Undo(View::Slot1)->trigger(); };
        auto recover = [](CommandsRig& rig) {
            // Once the history window is up: Recover, then close it.
            HistoryDialog& history = rig.commands->History().History();
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &history, [&history, &poll] {
                if (!history.isVisible())
                    return;
                poll.stop();
                history.RecoverButton()->click();
                history.accept();
            });
            poll.start(5);
            rig.window->Menus().History(View::Slot1)->trigger();
        };
        auto dragDToSlot1 = [](CommandsRig& rig) {
            rig.Select(View::Slot2, {0});
            rig.DropOn(View::Slot1, rig.commands->Drags().DragData(View::Slot2));
        };
        auto moveBToSlot2 = [](CommandsRig& rig) {
            rig.Select(View::Slot1, {1});
            rig.DropOn(View::Slot2, rig.commands->Drags().DragData(View::Slot1));
        };
        auto format = [](CommandsRig& rig) {
            rig.prompter.Then("yes");
            rig.window->FormatCommand(View::Slot1, 200);
        };
        const Row rows[] = {
            {"delete, taken back", 0, none, deleteB, 1, false, {"A", "B", "C"}},
            {"delete, finished", 0, none, deleteB, 1, true, {"A", "C"}},
            {"copy, taken back", 0, none, dragDToSlot1, 3, false, {"A", "B", "C"}},
            {"copy, finished", 0, none, dragDToSlot1, 3, true, {"A", "B", "C", "D"}},
            {"move, taken back", 1, none, moveBToSlot2, 6, false, {"A", "B", "C"}},
            {"undo, taken back", 0, deleteB, undo, 1, false, {"A", "C"}},
            {"undo, finished", 0, deleteB, undo, 1, true, {"A", "B", "C"}},
            {"recover, taken back", 0, deleteB, recover, 1, false, {"A", "C"}},
            {"recover, finished", 0, deleteB, recover, 1, true, {"A", "B", "C"}},
            {"format, taken back", 0, none, format, 2, false, {"A", "B", "C"}},
            {"format, finished", 0, none, format, 2, true, {}},
        };
        for (const Row& row : rows) {
            CommandsRig rig;
            MainWindow& w = rig.Open(&kSlot1, &kSlot2, row.dragMode);
            row.prepare(rig);
            rig.prompter.Clear();
            const std::string card = ReadFileText(rig.Path("slot1.dcm"));

            rig.box->Faults().stopAfterWrites = row.writes;
            row.act(rig);
            QVERIFY2(rig.box->Faults().noBox, row.what);
            const QString told = rig.prompter.Messages().join("\n");
            QVERIFY2(told.contains("Auto Reflesh Mode turned off. Please check Connection speed "
                                   "in Setup, DC power and cable connection. A write to the card "
                                   "was cut off: the card may need \"Check card...\"."),
                     qPrintable(QString(row.what) + ": " + told));

            rig.box->Faults().noBox = false;
            rig.box->Faults().stopAfterWrites = 0;
            w.Session().Link().LinkFailed = false;
            rig.prompter.Clear();
            rig.prompter.Then(row.finish ? "yes" : "no");
            w.RefreshCommand(View::Slot1);
            const QStringList log = rig.prompter.Log();
            QVERIFY2(log.size() == 2, qPrintable(QString(row.what) + ": " + log.join("\n")));
            QVERIFY2(log[0].startsWith("confirm: The change \""), qPrintable(log[0]));
            QVERIFY2(log[0].endsWith("of slot 1 was cut off before it was done. Finish it? (No "
                                     "takes it back.)"),
                     qPrintable(log[0]));
            QVERIFY2(log[1].endsWith(row.finish ? "it has been finished. The card check finds "
                                                  "no problem."
                                                : "it has been taken back. The card check finds "
                                                  "no problem."),
                     qPrintable(log[1]));
            QCOMPARE(Listed(w, View::Slot1), row.slot1);
            if (!row.finish)
                QVERIFY2(ReadFileText(rig.Path("slot1.dcm")).substr(241 * 512) ==
                             card.substr(241 * 512),
                         row.what);
            QVERIFY2(ChecksClean(rig.Path("slot1.dcm")), row.what);
            QVERIFY2(ChecksClean(rig.Path("slot2.dcm")), row.what);
            // Settled once: the next refresh asks nothing.
            rig.prompter.Clear();
            w.RefreshCommand(View::Slot1);
            QCOMPARE(rig.prompter.Calls().size(), 0);
        }
    }
};

QTEST_MAIN(CutChangeWindowTest)
#include "CutChangeWindowTest.moc"
