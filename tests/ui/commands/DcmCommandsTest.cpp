// Card images: open, new and close in the file view; whole slots saved and
// uploaded; the open image never written over.
#include "link/emu/LinkBox.h"
#include "ui/main/ImageWatch.h"
#include "ui/support/CommandsRig.h"

#include <QFile>
#include <QToolButton>
#include <QtTest>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const std::vector<TestSaver> kThree = {{0, "FIRST", 3, 2}, {1, "SECOND", 4, 1}, {2, "THIRD", 2, 0}};
const std::vector<TestSaver> kNone = {};

void WriteBytes(const std::string& path, size_t size, char fill) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(size, fill);
}

} // namespace

class DcmCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void OpenNewAndCloseTheFileView() {
        CommandsRig rig;
        MainWindow& w = rig.Open(nullptr, nullptr);
        CardPresenter& p = Presenter(w);
        DcmCommands& d = rig.commands->Dcm();
        const QString big = Q(rig.Path("big.dcm"));
        const QString card = Q(rig.Path("card.dcm"));
        WriteBytes(rig.Path("big.dcm"), 131073, '\0');
        WriteTestCard(rig.Path("card.dcm"), 200, {{0, "FIRST", 3, 2}});
        rig.prompter.Then(big).Then(card).Then(big).Then(Q(rig.Path("missing.dcm")));
        d.Open();
        QVERIFY(!p.Session().Loaded(CardPlace::Image));
        p.Menus().Item(CardPlace::Image, CommandId::OpenDcm)->trigger();
        QVERIFY(p.Session().Loaded(CardPlace::Image));
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"FIRST"}));
        QVERIFY(p.Menus().Item(CardPlace::Image, CommandId::CloseDcm)->isEnabled());
        // A second image that is refused leaves the first open; a missing
        // one says nothing.
        p.ViewOf(CardPlace::Image).DcmButton()->click();
        d.Open();
        QCOMPARE(p.Session().Volume(CardPlace::Image).ImageName(), rig.Path("card.dcm"));
        QVERIFY(p.Session().Loaded(CardPlace::Image));
        const QString refused = "FILE : " + big + " IS NOT SUPPORTED !!!! ";
        QCOMPARE(rig.prompter.Messages(), QStringList({refused, refused}));
        const FileDialogSetup open = rig.prompter.Calls()[0].setup;
        QCOMPARE(
            open.filter,
            QString("1M SAVER  File Format |*.DCM|Single SAVER file format|*.DCI|Binary "
                    "File Format|*.BIN|ALL File Format|*.*|Card dump (emulators)|*.vmu;*.bin"));
        QCOMPARE(open.fileName, QString("*.DCM"));

        rig.prompter.Clear();
        rig.prompter.Then(Q(rig.Path("new.dcm")));
        p.Menus().Item(CardPlace::Image, CommandId::NewDcm)->trigger();
        QCOMPARE(p.Session().Volume(CardPlace::Image).ImageName(), rig.Path("new.dcm"));
        QVERIFY(ReadFileText(rig.Path("new.dcm")) == ReadFileText(rig.Path("dpnw.dc")));
        QCOMPARE(p.ViewOf(CardPlace::Image).SizePanel()->text(), QString("200 BLOCKS FREE"));
        const FileDialogSetup save = rig.prompter.Calls()[0].setup;
        QVERIFY(save.confirmOverwrite);
        QCOMPARE(save.defaultExt, QString("*.DCM"));
        QCOMPARE(save.filter, QString("DCM file format|*.DCM|BIN file format|*.BIN|ALL "
                                      "format|*.*|Card dump (emulators)|*.vmu;*.bin"));

        p.Menus().Item(CardPlace::Image, CommandId::CloseDcm)->trigger();
        QVERIFY(!p.Session().Loaded(CardPlace::Image));
        QVERIFY(!p.Session().Volume(CardPlace::Image).ImageOpen());
        QCOMPARE(p.ViewOf(CardPlace::Image).List()->model()->rowCount(), 0);
        QCOMPARE(p.ViewOf(CardPlace::Image).SizePanel()->text(), QString());
        QVERIFY(!p.Menus().Item(CardPlace::Image, CommandId::CloseDcm)->isEnabled());
    }

    // Another program changes the open image, in place or by putting a new
    // file under its name: the view reads it again. The program's own
    // writes bring no second reading.
    void AnImageChangedByAnotherProgramIsReadAgain() {
        CommandsRig rig;
        MainWindow& w = rig.Open(nullptr, nullptr);
        CardPresenter& p = Presenter(w);
        rig.OpenImage("image.dcm", {{0, "FIRST", 3, 2}, {1, "SECOND", 1, 1}});
        const std::string image = rig.Path("image.dcm");
        QCOMPARE(p.WatchedImage().Watched(), Q(image));

        rig.prompter.Then("yes");
        rig.Select(CardPlace::Image, {1});
        p.Menus().DeleteSelected(CardPlace::Image)->trigger();
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"FIRST"}));
        QTest::qWait(ImageWatch::kSettleMs * 3);
        QCOMPARE(rig.refreshes, std::vector<int>({2}));

        WriteTestCard(rig.Path("other.dcm"), 200, {{0, "INPLACE", 2, 1}});
        std::ofstream(image, std::ios::binary | std::ios::trunc)
            << ReadFileText(rig.Path("other.dcm"));
        QTRY_COMPARE(Listed(w, CardPlace::Image), QStringList({"INPLACE"}));

        WriteTestCard(rig.Path("third.dcm"), 200, {{0, "RENAMED", 2, 1}});
        std::filesystem::rename(rig.Path("third.dcm"), image);
        QTRY_COMPARE(Listed(w, CardPlace::Image), QStringList({"RENAMED"}));
        QCOMPARE(p.Session().Volume(CardPlace::Image).ImageName(), image);
    }

    void SavedSlotUploadedAndSavedAgainIsTheSameFile() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone);
        CardPresenter& p = Presenter(w);
        const QString a = Q(rig.Path("a.dcm"));
        const QString b = Q(rig.Path("b.dcm"));
        rig.prompter.Then(a).Then(a).Then(b);
        p.Menus().Item(CardPlace::Slot1, CommandId::SaveAsDcm)->trigger();
        p.ViewOf(CardPlace::Slot2).DcmButton()->click(); // "Upload a VMU page."
        p.Menus().Item(CardPlace::Slot2, CommandId::SaveAsDcm)->trigger();
        QCOMPARE(rig.prompter.Messages(), QStringList());
        QVERIFY(ReadFileText(rig.Path("a.dcm")) == ReadFileText(rig.Path("slot1.dcm")));
        QVERIFY(ReadFileText(rig.Path("b.dcm")) == ReadFileText(rig.Path("a.dcm")));
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"FIRST", "SECOND", "THIRD"}));
        // Each save reads its slot again first; the upload reads slot 2 after.
        QCOMPARE(rig.refreshes, std::vector<int>({0, 1, 1}));

        // A file that is there is replaced only on Yes.
        WriteBytes(rig.Path("b.dcm"), 10, 'x');
        rig.prompter.Then(b).Then("no");
        p.Menus().Item(CardPlace::Slot1, CommandId::SaveAsDcm)->trigger();
        QCOMPARE(rig.prompter.Messages().last(), " File " + b + " Exisit overwrite it ?");
        QCOMPARE(ReadFileText(rig.Path("b.dcm")), std::string(10, 'x'));
    }

    void TheOpenImageIsNeverWrittenOver() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, nullptr);
        CardPresenter& p = Presenter(w);
        rig.OpenImage("image.dcm", {{0, "FIRST", 3, 2}});
        const std::string image = rig.Path("image.dcm");
        const std::string before = ReadFileText(image);
        const QString sameFile = Q(rig.dir.Path().string() + "/./image.dcm");
        rig.prompter.Then(Q(image)).Then(sameFile).Then(Q(rig.Path("copy.dcm")));
        p.Menus().Item(CardPlace::Image, CommandId::SaveAsDcm)->trigger(); // onto itself
        p.Menus().Item(CardPlace::Slot1, CommandId::SaveAsDcm)->trigger();
        QCOMPARE(rig.prompter.Messages(), QStringList({"File " + Q(image) + " in Used .",
                                                       "File " + sameFile + " in Used ."}));
        QVERIFY(ReadFileText(image) == before);
        // A copy keeps the card as it was; the view goes on with the image.
        p.Menus().Item(CardPlace::Image, CommandId::SaveAsDcm)->trigger();
        QVERIFY(ReadFileText(rig.Path("copy.dcm")) == before);
        rig.prompter.Then("yes");
        rig.Select(CardPlace::Image, {0});
        p.Menus().Item(CardPlace::Image, CommandId::DeleteSelected)->trigger();
        QVERIFY(ReadFileText(image) != before);
        QVERIFY(ReadFileText(rig.Path("copy.dcm")) == before);
        QCOMPARE(p.Session().Volume(CardPlace::Image).ImageName(), image);
    }

    void AnImageIsReadUnderItsLockAndNeverWrittenInAGuessedOrder() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, nullptr);
        CardPresenter& p = Presenter(w);
        DcmCommands& d = rig.commands->Dcm();
        // A raw dump whose root and table links are damaged: nothing tells
        // its order. It is listed as read; a format is refused.
        WriteTestCard(rig.Path("odd.dcm"), 200, {{0, "FIRST", 3, 2}});
        std::string odd = ReadFileText(rig.Path("odd.dcm"));
        SwapWords(reinterpret_cast<uint8_t*>(odd.data()), odd.size());
        odd[255 * 512 + 0x4C] = 14;
        for (int b = 241; b < 256; ++b)
            odd[254 * 512 + 2 * b] = 0x12;
        std::ofstream(rig.Path("odd.dcm"), std::ios::binary | std::ios::trunc) << odd;
        QVERIFY(d.OpenFile(Q(rig.Path("odd.dcm"))));
        QVERIFY(p.ViewOf(CardPlace::Image).Header()->toolTip().contains("read only"));
        rig.prompter.Then("yes");
        p.Menus().Item(CardPlace::Image, CommandId::Format200)->trigger();
        QVERIFY(rig.prompter.Messages().last().startsWith("The byte order of " +
                                                          Q(rig.Path("odd.dcm"))));
        QVERIFY(ReadFileText(rig.Path("odd.dcm")) == odd);

        // Another program writes image.dcm: it is neither opened, saved as
        // nor uploaded meanwhile.
        rig.OpenImage("image.dcm", {{0, "FIRST", 3, 2}});
        const std::string slot1 = ReadFileText(rig.Path("slot1.dcm"));
        const int fd = ::open(rig.Path("image.dcm").c_str(), O_RDWR);
        QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX) == 0);
        rig.prompter.Clear();
        const QString image = Q(rig.Path("image.dcm"));
        rig.prompter.Then(Q(rig.Path("copy.dcm"))).Then(image).Then("yes");
        p.Menus().Item(CardPlace::Image, CommandId::SaveAsDcm)->trigger();
        p.Menus().Item(CardPlace::Slot1, CommandId::UploadDcm)->trigger();
        QVERIFY(!d.OpenFile(image));
        const QString busy = "The card image " + image + " is in use by another program";
        QCOMPARE(rig.prompter.Messages().size(), 4); // the upload's question too
        for (const QString& message :
             rig.prompter.Messages().mid(0, 1) + rig.prompter.Messages().mid(2))
            QVERIFY2(message.contains(busy), qPrintable(message));
        QVERIFY(!QFile::exists(Q(rig.Path("copy.dcm"))));
        QVERIFY(ReadFileText(rig.Path("slot1.dcm")) == slot1);
        ::close(fd);
        // The window's own hold on the open image keeps no reader of it out.
        QVERIFY(d.OpenFile(image));
        p.RefreshCommand(CardPlace::Slot1); // dropped after the refused upload
        rig.prompter.Then(image).Then("yes");
        p.Menus().Item(CardPlace::Slot1, CommandId::UploadDcm)->trigger();
        QVERIFY(ReadFileText(rig.Path("slot1.dcm")) == ReadFileText(rig.Path("image.dcm")));
    }

    void FailedUploadDropsSlot1AndRereadsSlot2() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone);
        CardPresenter& p = Presenter(w);
        const std::string slot1 = ReadFileText(rig.Path("slot1.dcm"));
        WriteBytes(rig.Path("a.dcm"), 131072, '\0');
        rig.box->Faults().noBox = true;
        // Slot 1 holds savers: the upload asks first.
        rig.prompter.Then(Q(rig.Path("a.dcm"))).Then("yes").Then(Q(rig.Path("a.dcm")));
        p.Menus().Item(CardPlace::Slot1, CommandId::UploadDcm)->trigger();
        QVERIFY(!p.Session().Loaded(CardPlace::Slot1));
        QVERIFY(rig.refreshes.empty()); // not read again
        QVERIFY(ReadFileText(rig.Path("slot1.dcm")) == slot1);
        p.Menus().Item(CardPlace::Slot2, CommandId::UploadDcm)->trigger();
        // Read again, and not loaded when that failed: a listing of the card
        // as it was must not be written back over the new one.
        QVERIFY(rig.prompter.Messages().last().startsWith(" link error , please check"));
        QVERIFY(!p.Session().Loaded(CardPlace::Slot2));
    }
};

QTEST_MAIN(DcmCommandsTest)
#include "DcmCommandsTest.moc"
