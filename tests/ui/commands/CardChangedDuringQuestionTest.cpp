// A drop of two savers onto a slot that holds both names: the second
// "Exisit overwrite it ?" stays open while another program writes the card.
// What the command read and wrote before the question (its block cache)
// must not stand for the card afterwards: a changed directory refuses the
// copy, a changed saver's data is what an undo brings back.
#include "card/CardCheck.h"
#include "card/LoadVolume.h"
#include "card/TransferEngine.h"
#include "ui/commands/HistoryCommands.h"
#include "ui/support/CommandsRig.h"

#include <QtTest>

namespace {

const std::vector<TestSaver> kBoth = {{0, "X", 2, 1}, {1, "Y", 2, 1}};

bool ChecksClean(const std::string& path) {
    CardVolume card;
    card.SetPlace(CardPlace::Image);
    CardCheckReport report;
    return card.OpenImage(path) && CheckCard(card, report) && report.Clean();
}

} // namespace

class CardChangedDuringQuestionTest : public QObject {
    Q_OBJECT
  private slots:
    void AnotherProgramsWriteDuringAQuestionIsSeen() {
        for (bool directory : {true, false}) {
            CommandsRig rig;
            // Slot 2's X and Y are other savers of the same names.
            MainWindow& w = rig.Open(&kBoth, &kBoth);
            CardPresenter& p = Presenter(w);
            WriteTestCard(rig.Path("slot2.dcm"), 200, {{0, "X", 3, 2}, {1, "Y", 3, 2}});
            p.RefreshCommand(CardPlace::Slot2);
            const std::string card = rig.Path("slot1.dcm");
            const std::string before = ReadFileText(card);
            std::string theirs;
            int yBlock = -1;
            rig.prompter.OnConfirm = [&](const QString& text) {
                if (!text.startsWith("Saver Y"))
                    return;
                // Another program, while the question is open.
                CardVolume other;
                other.SetPlace(CardPlace::Image);
                QVERIFY(other.OpenImage(card) && LoadVolume(other));
                int y = -1;
                QVERIFY(FindSaverByName(other, "Y           ", y));
                yBlock = other.Entries()[y].FirstBlock;
                if (directory) {
                    QVERIFY(DeleteSaver(other, y));
                } else {
                    uint8_t block[512];
                    other.ReadRawBlock(other.Device(), other.Entries()[y].FirstBlock, block);
                    block[100] ^= 0xFF;
                    QVERIFY(
                        other.WriteRawBlock(other.Device(), other.Entries()[y].FirstBlock, block));
                }
                theirs = ReadFileText(card);
            };
            rig.prompter.Then("yes").Then("yes");
            rig.Select(CardPlace::Slot2, {0, 1});
            rig.DropOn(CardPlace::Slot1, rig.commands->Drags().DragData(CardPlace::Slot2));
            QVERIFY(!theirs.empty());
            if (directory) {
                // The copy of Y is refused: the card is as the other program
                // left it, after the copy of X.
                QVERIFY2(rig.prompter.Messages().last().contains("changed since it was read"),
                         qPrintable(rig.prompter.Messages().join("\n")));
                QVERIFY(ReadFileText(card) == theirs);
                QVERIFY(ChecksClean(card));
                continue;
            }
            // Y was replaced; taking the drop back (one change) brings back
            // the old X, and Y as the other program left it, not as the
            // command first saw it.
            QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"X", "Y"}));
            Presenter(*rig.window).Menus().Undo(CardPlace::Slot1)->trigger();
            const std::string now = ReadFileText(card);
            QVERIFY(now.substr(241 * 512) == before.substr(241 * 512));
            QVERIFY(now.substr(yBlock * 512, 512) == theirs.substr(yBlock * 512, 512));
            QVERIFY(now.substr(yBlock * 512, 512) != before.substr(yBlock * 512, 512));
            QVERIFY(ChecksClean(card));
        }
    }
};

QTEST_MAIN(CardChangedDuringQuestionTest)
#include "CardChangedDuringQuestionTest.moc"
