// The window writes only onto the card it listed, asks before an upload
// replaces a card, and never opens anything but a regular file.
#include "ui/support/CommandsRig.h"

#include <QToolButton>
#include <QtTest>
#include <sys/stat.h>

namespace {

const std::vector<TestSaver> kThree = {{0, "FIRST", 3, 2}, {1, "SECOND", 4, 1}, {2, "THIRD", 2, 0}};
const std::vector<TestSaver> kOther = {{0, "OTHER", 2, 1}, {1, "KEEP", 3, 0}};

} // namespace

class SafeListingCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void SwappedCardGetsNothingWrittenAndIsShown() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, nullptr);
        CardPresenter& p = Presenter(w);
        // Another card in the slot, in place of the listed one: the box
        // keeps each slot's file open, so the swap writes into it.
        WriteTestCard(rig.Path("other.dcm"), 200, kOther);
        const std::string other = ReadFileText(rig.Path("other.dcm"));
        std::ofstream(rig.Path("slot1.dcm"), std::ios::binary | std::ios::in | std::ios::out)
            << other;
        rig.prompter.Then("yes");
        rig.Select(CardPlace::Slot1, {0, 1});
        p.Menus().Item(CardPlace::Slot1, CommandId::DeleteSelected)->trigger();
        QVERIFY(ReadFileText(rig.Path("slot1.dcm")) == other);
        QCOMPARE(rig.prompter.Messages().last(),
                 QString("The card in slot 1 changed since it was read; nothing was written."));
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"OTHER", "KEEP"}));
    }

    void UploadAsksFirstAndNoChangesNothing() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, nullptr);
        CardPresenter& p = Presenter(w);
        WriteTestCard(rig.Path("up.dcm"), 200, kOther);
        const std::string slot1 = ReadFileText(rig.Path("slot1.dcm"));
        const QString up = Q(rig.Path("up.dcm"));
        rig.prompter.Then(up).Then("no");
        p.Menus().Item(CardPlace::Slot1, CommandId::UploadDcm)->trigger();
        QCOMPARE(rig.prompter.Messages(),
                 QStringList("Upload " + up +
                             " to the card in slot 1 ? The whole card is replaced: its 3 savers "
                             "will be lost."));
        QVERIFY(ReadFileText(rig.Path("slot1.dcm")) == slot1);
    }

    void AFifoIsRefusedBeforeItIsOpened() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, nullptr);
        CardPresenter& p = Presenter(w);
        const std::string fifo = rig.Path("saver.dci");
        QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);
        const std::string slot1 = ReadFileText(rig.Path("slot1.dcm"));
        // Opening it would wait for a writer that never comes.
        rig.prompter.Then(Q(fifo));
        p.Menus().Item(CardPlace::Slot1, CommandId::ImportDci)->trigger();
        QCOMPARE(rig.prompter.Messages().last(),
                 "File " + Q(fifo) + " is not a regular file; nothing was read.");
        QVERIFY(ReadFileText(rig.Path("slot1.dcm")) == slot1);
    }
};

QTEST_MAIN(SafeListingCommandsTest)
#include "SafeListingCommandsTest.moc"
