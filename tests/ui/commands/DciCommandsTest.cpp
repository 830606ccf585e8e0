// Single-saver files: "Export" from the choice window, and the imports with
// their questions, refusals and the slot read first.
#include "card/DciFile.h"
#include "link/emu/BoxDevice.h"
#include "ui/dialogs/SaverSelectedDialog.h"
#include "ui/support/CommandsRig.h"

#include <QToolButton>
#include <QtTest>
#include <cstring>

namespace {

const std::vector<TestSaver> kThree = {{0, "FIRST", 3, 2}, {1, "SECOND", 4, 1}, {2, "THIRD", 2, 0}};
const std::vector<TestSaver> kNone = {};

// A data saver's file: its header names it and gives its size; `blocks`
// blocks of data follow.
void WriteDci(const std::string& path, const char* name, int size, int blocks) {
    std::string bytes(32 + 512 * blocks, '\x5A');
    std::memset(bytes.data(), 0, 32);
    bytes[0] = '\x33';
    std::memcpy(bytes.data() + 4, (std::string(name) + "            ").data(), 12);
    bytes[24] = static_cast<char>(size);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace

class DciCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void ExportWritesTheSaverAndAsksBeforeReplacing() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, nullptr);
        CardPresenter& p = Presenter(w);
        rig.Answer(rig.commands->Transfers().SaverSelected(), "Export");
        const QString out = Q(rig.Path("third.DCI"));
        rig.prompter.Then(out);
        rig.Select(CardPlace::Slot1, {2}); // THIRD: blocks 192 and 191
        rig.commands->Transfers().Activate(CardPlace::Slot1);
        const std::string file = ReadFileText(rig.Path("third.DCI"));
        const std::string card = ReadFileText(rig.Path("slot1.dcm"));
        QCOMPARE(file.size(), size_t(1056));
        QVERIFY(std::memcmp(file.data(), p.Session().Volume(CardPlace::Slot1).Entries()[2].Raw,
                            32) == 0);
        QVERIFY(file.substr(32, 512) == card.substr(192 * 512, 512));
        QVERIFY(file.substr(544) == card.substr(191 * 512, 512));
        const FileDialogSetup setup = rig.prompter.Calls()[0].setup;
        QCOMPARE(setup.fileName, QString(".DCI"));
        QCOMPARE(setup.defaultExt, QString("*.DCI"));
        QVERIFY(!setup.confirmOverwrite); // the command asks itself
        QCOMPARE(setup.filter,
                 QString("DCI file format|*.DCI|binary file format|*.BIN|ALL format|*.*|VMS + "
                         "VMI pair|*.VMS"));

        std::ofstream(rig.Path("third.DCI"), std::ios::trunc) << "keep";
        rig.prompter.Then(out).Then("no");
        rig.commands->Transfers().Activate(CardPlace::Slot1);
        QCOMPARE(rig.prompter.Messages(), QStringList({" File " + out + " Exisit overwrite it ?"}));
        QCOMPARE(ReadFileText(rig.Path("third.DCI")), std::string("keep"));
    }

    void ImportAsksToOverwriteThenToAppend() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, nullptr);
        CardPresenter& p = Presenter(w);
        rig.OpenImage("image.dcm", {{0, "SECOND", 1, 1}});
        const QString dci = Q(rig.Path("second.dci"));
        QVERIFY(ExportDci(rig.Path("second.dci"), 1, p.Session().Volume(CardPlace::Slot1)));
        rig.prompter.Then(dci).Then("no").Then("yes");
        p.ViewOf(CardPlace::Image).DciButton()->click();
        QCOMPARE(rig.prompter.Messages(), QStringList({"Saver SECOND       Exisit overwrite it ?",
                                                       "Saver SECOND       Exisit Append it ?"}));
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"SECOND", "SECOND"}));
        QCOMPARE(p.Session().Volume(CardPlace::Image).Entries()[1].SizeBlocks, uint16_t(4));
        QCOMPARE(int(p.Session().Volume(CardPlace::Image).Entries()[1].Raw[2]),
                 198); // below the first saver's block
        const FileDialogSetup setup = rig.prompter.Calls()[0].setup;
        QCOMPARE(setup.fileName, QString("*.DCI"));
        QCOMPARE(setup.filter,
                 QString("DCI file format|*.DCI|binary file format|*.BIN|ALL format |*.*|VMS + "
                         "VMI pair|*.VMS;*.VMI"));

        // Yes replaces the first of that name, in its place.
        rig.prompter.Clear();
        rig.prompter.Then(dci).Then("yes");
        p.Menus().Item(CardPlace::Image, CommandId::ImportDci)->trigger();
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"SECOND", "SECOND"}));
        QCOMPARE(p.Session().Volume(CardPlace::Image).Entries()[0].SizeBlocks, uint16_t(4));
        QCOMPARE(p.ViewOf(CardPlace::Image).SizePanel()->text(), QString("192 BLOCKS FREE"));
        QCOMPARE(rig.prompter.AnswersLeft(), 0);
    }

    void RefusedImportsLeaveTheCardAsItWas() {
        CommandsRig rig;
        MainWindow& w = rig.Open(nullptr, nullptr);
        for (CardPlace view : kCardPlaces)
            rig.commands->Dci().Import(view);
        QCOMPARE(rig.prompter.Log(),
                 QStringList({"info: CARD REFRESH FIRST.", "info: Card refresh first.",
                              "info: Please load a DCM file First."}));
        rig.prompter.Clear();
        rig.OpenImage("image.dcm", {{0, "BIG", 190, 1}, {1, "SMALL", 2, 1}});
        const std::string before = ReadFileText(rig.Path("image.dcm"));
        WriteDci(rig.Path("big.dci"), "SMALL", 20, 20); // 8 free + 2 of its own: too few
        WriteDci(rig.Path("short.dci"), "NEW", 3, 1);
        const QString missing = Q(rig.Path("missing.dci"));
        rig.prompter.Then(Q(rig.Path("big.dci"))).Then("yes").Then(missing);
        rig.prompter.Then(Q(rig.Path("short.dci")));
        for (int i = 0; i < 3; ++i)
            rig.commands->Dci().Import(CardPlace::Image);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Saver SMALL        Exisit overwrite it ?", "NOT ENOUGH SPACE.",
                              "File " + missing + " not found.",
                              "File " + Q(rig.Path("short.dci")) +
                                  " is shorter than its header says; nothing imported."}));
        QVERIFY(ReadFileText(rig.Path("image.dcm")) == before);
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"BIG", "SMALL"}));
    }

    void ImportIntoASlotReadsTheCardFirst() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone);
        CardPresenter& p = Presenter(w);
        const QString dci = Q(rig.Path("first.dci"));
        QVERIFY(ExportDci(rig.Path("first.dci"), 0, p.Session().Volume(CardPlace::Slot1)));
        // Another card goes in behind the view's back, with a saver of that name.
        rig.twoSlot->SetCardPresent(1, false);
        WriteTestCard(rig.Path("slot2.dcm"), 200, {{4, "FIRST", 1, 1}});
        rig.twoSlot->SetCardPresent(1, true);
        rig.prompter.Then(dci).Then("yes");
        // The question is asked with the wait window out of its way.
        QStringList waitUp;
        rig.prompter.OnCall = [&](const ScriptedPrompter::Call& call) {
            if (WaitOf(w).isVisible())
                waitUp << call.text;
        };
        p.Menus().Item(CardPlace::Slot2, CommandId::ImportDci)->trigger();
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Saver FIRST        Exisit overwrite it ?"}));
        QCOMPARE(waitUp, QStringList());
        QVERIFY(!WaitOf(w).isVisible());
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"FIRST"}));
        QCOMPARE(p.Session().Volume(CardPlace::Slot2).Entries()[0].SizeBlocks, uint16_t(3));
        QCOMPARE(rig.refreshes, std::vector<int>({1, 1}));
    }
};

QTEST_MAIN(DciCommandsTest)
#include "DciCommandsTest.moc"
