// A box that stops answering after its Nth block write, for every N, under
// the window's Delete Selected, a drag (copy and move), Undo, Recover and
// Delete All: the link error says the card may need "Check card...", and the
// next refresh asks whether to finish the change, takes it back when told
// No, finishes it when told Yes; the card checks clean and every saver keeps
// its bytes either way.
#include "card/CardCheck.h"
#include "card/LoadVolume.h"
#include "link/LinkPort.h"
#include "link/emu/LinkBox.h"
#include "ui/commands/HistoryCommands.h"
#include "ui/dialogs/HistoryDialog.h"
#include "ui/support/CommandsRig.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <map>

namespace {

const std::vector<TestSaver> kSlot1 = {{0, "A", 2, 1}, {1, "B", 3, 1}, {2, "C", 1, 1}};
const std::vector<TestSaver> kSlot2 = {{0, "D", 2, 1}};

// The savers of an image by name, with their blocks' bytes; empty when the
// card does not check clean.
std::map<std::string, std::string> CleanSavers(const std::string& path) {
    std::map<std::string, std::string> savers;
    CardVolume card;
    card.SetPlace(CardPlace::Image);
    CardCheckReport report;
    if (!card.OpenImage(path) || !CheckCard(card, report) || !report.Clean() || !LoadVolume(card))
        return {{"", "not clean"}};
    for (int k = 0; k < card.ListedCount(); ++k) {
        const SaverEntry& e = card.Entries()[card.ListMap()[k]];
        uint8_t chain[256];
        std::string& bytes = savers[e.TrimmedName()];
        for (int i = 0; i < card.CollectChain(e.FirstBlock, chain, e.SizeBlocks); ++i) {
            uint8_t block[512];
            card.ReadRawBlock(card.Device(), chain[i], block);
            bytes.append(reinterpret_cast<const char*>(block), sizeof block);
        }
    }
    return savers;
}

} // namespace

class CutChangeWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void EveryCutIsTakenBackOrFinishedAtTheNextRefresh() {
        struct Op {
            const char* what;
            int dragMode;
            std::function<void(CommandsRig&)> prepare; // done whole first
            std::function<void(CommandsRig&)> act;     // cut off
            QStringList finished[2];                   // each slot once done
        };
        auto deleteB = [](CommandsRig& rig) {
            rig.prompter.Then("yes");
            rig.Select(CardPlace::Slot1, {1});
            Presenter(*rig.window).Menus().DeleteSelected(CardPlace::Slot1)->trigger();
        };
        auto none = [](CommandsRig&) {};
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
            Presenter(*rig.window).Menus().History(CardPlace::Slot1)->trigger();
        };
        auto drag = [](CardPlace from, CardPlace to, int position) {
            return [=](CommandsRig& rig) {
                rig.Select(from, {position});
                rig.DropOn(to, rig.commands->Drags().DragData(from));
            };
        };
        const QStringList abc = {"A", "B", "C"};
        const QStringList d = {"D"};
        const Op ops[] = {
            {"delete", 0, none, deleteB, {{"A", "C"}, d}},
            {"copy",
             0,
             none,
             drag(CardPlace::Slot2, CardPlace::Slot1, 0),
             {{"A", "B", "C", "D"}, d}},
            {"move",
             1,
             none,
             drag(CardPlace::Slot1, CardPlace::Slot2, 1),
             {{"A", "C"}, {"D", "B"}}},
            {"undo",
             0,
             deleteB,
             [](CommandsRig& rig) {
                 Presenter(*rig.window).Menus().Undo(CardPlace::Slot1)->trigger();
             },
             {abc, d}},
            {"recover", 0, deleteB, recover, {abc, d}},
            {"format",
             0,
             none,
             [](CommandsRig& rig) {
                 rig.prompter.Then("yes");
                 Presenter(*rig.window).FormatCommand(CardPlace::Slot1, 200);
             },
             {{}, d}},
        };
        int asked = 0;
        for (const Op& op : ops) {
            for (const bool finish : {false, true}) {
                bool whole = false;
                for (uint32_t n = 1; !whole; ++n) {
                    const QString where = QString("%1 cut after write %2%3")
                                              .arg(op.what)
                                              .arg(n)
                                              .arg(finish ? ", finished" : ", taken back");
                    QVERIFY2(n < 20, qPrintable(where));
                    CommandsRig rig;
                    MainWindow& w = rig.Open(&kSlot1, &kSlot2, op.dragMode);
                    CardPresenter& p = Presenter(w);
                    auto savers = CleanSavers(rig.Path("slot1.dcm"));
                    savers.merge(CleanSavers(rig.Path("slot2.dcm")));
                    op.prepare(rig);
                    rig.prompter.Clear();
                    std::string before[2];
                    QStringList listed[2];
                    for (int s = 0; s < 2; ++s) {
                        before[s] = ReadFileText(rig.Path(s ? "slot2.dcm" : "slot1.dcm"));
                        listed[s] = Listed(w, s ? CardPlace::Slot2 : CardPlace::Slot1);
                    }

                    rig.box->Faults().stopAfterWrites = n;
                    op.act(rig);
                    whole = !rig.box->Faults().noBox;
                    if (!whole)
                        QVERIFY2(rig.prompter.Messages().join("\n").contains(
                                     "connection. A write to the card was cut off: the card may "
                                     "need \"Check card...\"."),
                                 qPrintable(where));

                    rig.box->Faults().noBox = false;
                    rig.box->Faults().stopAfterWrites = 0;
                    p.Session().Link().LinkFailed = false;
                    for (int s = 0; s < 2; ++s) {
                        const CardPlace view = s ? CardPlace::Slot2 : CardPlace::Slot1;
                        rig.prompter.Clear();
                        rig.prompter.Then(finish ? "yes" : "no");
                        p.RefreshCommand(view);
                        const QString told = rig.prompter.Log().join("\n");
                        asked += told.startsWith("confirm: ") ? 1 : 0;
                        const std::string card =
                            ReadFileText(rig.Path(s ? "slot2.dcm" : "slot1.dcm"));
                        if (told.contains("taken back") || told.contains("before it reached")) {
                            QVERIFY2(card.substr(241 * 512) == before[s].substr(241 * 512),
                                     qPrintable(where));
                            QCOMPARE(Listed(w, view), listed[s]);
                        } else if (told.contains("finished")) {
                            QCOMPARE(Listed(w, view), op.finished[s]);
                        } else {
                            QVERIFY2(told.isEmpty(), qPrintable(where + ": " + told));
                            QVERIFY2(Listed(w, view) == listed[s] ||
                                         Listed(w, view) == op.finished[s],
                                     qPrintable(where));
                        }
                        if (!told.isEmpty())
                            QVERIFY2(told.endsWith("The card check finds no problem."),
                                     qPrintable(where + ": " + told));
                        // Every saver it lists holds its bytes; the card checks clean.
                        for (const auto& [name, bytes] :
                             CleanSavers(rig.Path(s ? "slot2.dcm" : "slot1.dcm"))) {
                            const auto first = savers.find(name);
                            QVERIFY2(first != savers.end() && first->second == bytes,
                                     qPrintable(where + ": " + QString::fromStdString(name)));
                        }
                        // Settled once: the next refresh asks nothing.
                        rig.prompter.Clear();
                        p.RefreshCommand(view);
                        QVERIFY2(rig.prompter.Calls().isEmpty(), qPrintable(where));
                    }
                }
            }
        }
        // At least one cut of each change left a mix that could be finished.
        QVERIFY(asked >= 2 * 6);
    }
};

QTEST_MAIN(CutChangeWindowTest)
#include "CutChangeWindowTest.moc"
