// Emulators' card dumps and VMS + VMI pairs in the window, and descriptions
// in Shift-JIS.
#include "card/CardImageOrder.h"
#include "card/DciFile.h"
#include "ui/dialogs/SaverSelectedDialog.h"
#include "ui/support/CommandsRig.h"

#include <QMimeData>
#include <QUrl>
#include <QtTest>

namespace {

const std::vector<TestSaver> kThree = {{0, "FIRST", 3, 2}, {1, "SECOND", 4, 1}, {2, "THIRD", 2, 0}};
const std::vector<TestSaver> kNone = {};

} // namespace

class ForeignFilesTest : public QObject {
    Q_OBJECT
  private slots:
    void DumpOpensAndAPairTravelsByExportAndDrop() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone);
        CardPresenter& p = Presenter(w);
        std::string error;
        QVERIFY(ConvertImageFile(rig.Path("slot1.dcm"), rig.Path("card.vmu"), ImageOrder::Natural,
                                 error));
        QVERIFY(rig.commands->Dcm().OpenFile(Q(rig.Path("card.vmu"))));
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"FIRST", "SECOND", "THIRD"}));
        QCOMPARE(w.windowTitle(), QString("Porvane"));
        QCOMPARE(p.ViewOf(CardPlace::Image).Header()->toolTip(), QString("card.vmu (raw dump)"));

        // "Export" to a VMS writes the pair.
        rig.Answer(rig.commands->Transfers().SaverSelected(), "Export");
        rig.prompter.Then(Q(rig.Path("second.VMS")));
        rig.Select(CardPlace::Image, {1});
        rig.commands->Transfers().Activate(CardPlace::Image);
        std::string vms = ReadFileText(rig.Path("second.VMS"));
        QCOMPARE(vms.size(), size_t(4 * 512));
        QCOMPARE(ReadFileText(rig.Path("second.VMI")).size(), size_t(108));

        // A description in Shift-JIS ("セーブ"), then both files dropped on
        // slot 2: one saver, the data as the VMS holds it.
        vms.replace(0, 6, "\x83\x5A\x81\x5B\x83\x75");
        std::ofstream(rig.Path("second.VMS"), std::ios::binary | std::ios::trunc) << vms;
        QMimeData* files = new QMimeData;
        files->setUrls({QUrl::fromLocalFile(Q(rig.Path("second.VMS"))),
                        QUrl::fromLocalFile(Q(rig.Path("second.VMI")))});
        QVERIFY(rig.DropOn(CardPlace::Slot2, files));
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"SECOND"}));
        QVERIFY(ExportDci(rig.Path("back.dci"), 0, p.Session().Volume(CardPlace::Slot2)));
        std::string back = ReadFileText(rig.Path("back.dci")).substr(32);
        SwapWords(reinterpret_cast<uint8_t*>(back.data()), back.size());
        QVERIFY(back == vms);
        const QString decoded = QString::fromUtf8("セーブ");
        QVERIFY(p.ViewOf(CardPlace::Slot2)
                    .List()
                    ->model()
                    ->index(0, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(decoded));
        QVERIFY(p.ViewOf(CardPlace::Slot2)
                    .List()
                    ->model()
                    ->index(0, 0)
                    .data(Qt::AccessibleDescriptionRole)
                    .toString()
                    .startsWith(decoded));
        rig.Answer(rig.commands->Transfers().SaverSelected(), "");
        rig.Select(CardPlace::Slot2, {0});
        rig.commands->Transfers().Activate(CardPlace::Slot2);
        QVERIFY(rig.commands->Transfers().SaverSelected().DecodedLine().startsWith(decoded));

        // A VMS alone: the question says game (Yes) or data (No); a game
        // lands at block 0. A VMI the console's browser wrote (a fixed
        // checksum) comes in, and the status line says so.
        std::ofstream(rig.Path("solo.vms"), std::ios::binary) << std::string(600, '\0');
        rig.prompter.Clear();
        rig.prompter.Then("cancel").Then("yes");
        rig.commands->Dci().ImportFile(CardPlace::Slot2, Q(rig.Path("solo.vms")));
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"SECOND"}));
        rig.commands->Dci().ImportFile(CardPlace::Slot2, Q(rig.Path("solo.vms")));
        QCOMPARE(rig.prompter.Messages(),
                 QStringList(2, DciCommands::LoneVmsQuestion(Q(rig.Path("solo.vms")))));
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"SECOND", "SOLO"}));
        const SaverEntry& solo = p.Session().Volume(CardPlace::Slot2).Entries()[1];
        QVERIFY(solo.IsGame);
        QCOMPARE(int(solo.SizeBlocks), 2);
        std::string vmi = ReadFileText(rig.Path("second.VMI"));
        vmi.replace(0, 4, "ADD@");
        std::ofstream(rig.Path("second.VMI"), std::ios::binary | std::ios::trunc) << vmi;
        rig.prompter.Clear();
        rig.prompter.Then("no").Then("yes"); // not over SECOND, beside it
        rig.commands->Dci().ImportFile(CardPlace::Slot2, Q(rig.Path("second.VMI")));
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"SECOND", "SOLO", "SECOND"}));
        QVERIFY(StatusOf(w).contains("second.VMI: its checksum does not match"));

        // A changed dump stays a dump.
        QCOMPARE(GuessImageFileOrder(rig.Path("card.vmu")).order, ImageOrder::Natural);
        QVERIFY(GuessImageFileOrder(rig.Path("card.vmu")).fromContent);
    }
};

QTEST_MAIN(ForeignFilesTest)
#include "ForeignFilesTest.moc"
