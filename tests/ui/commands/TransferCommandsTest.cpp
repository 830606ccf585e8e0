// Savers between the views: the double click and its choice windows, drops
// of savers and of files, and "Delete Selected".
#include "card/DciFile.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/LinkBox.h"
#include "ui/dialogs/CopyToDialog.h"
#include "ui/dialogs/DeleteDialog.h"
#include "ui/dialogs/SaverSelectedDialog.h"
#include "ui/main/CardPresenter.h"
#include "ui/main/WindowFeedback.h"
#include "ui/support/CommandsRig.h"

#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <QtTest>

namespace {

const std::vector<TestSaver> kThree = {{0, "FIRST", 3, 2}, {1, "SECOND", 4, 1}, {2, "THIRD", 2, 0}};
const std::vector<TestSaver> kNone = {};

QMimeData* Files(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    return data;
}

} // namespace

class TransferCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void DoubleClickRulesAndTheChoiceWindows() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kThree);
        CardPresenter& p = Presenter(w);
        TransferCommands& t = rig.commands->Transfers();
        rig.Answer(t.SaverSelected(), "");
        rig.Select(CardPlace::Slot1, {0, 1});
        t.Activate(CardPlace::Slot1); // slot 1 wants exactly one saver
        QVERIFY(rig.shown.isEmpty());
        rig.Select(CardPlace::Slot2, {1, 2});
        QTest::keyClick(p.ViewOf(CardPlace::Slot2).List(),
                        Qt::Key_Return); // Enter is the double click
        QCOMPARE(rig.shown.size(), 1);
        QCOMPARE(rig.shown[0].section('|', 2), QString("SECOND         2024/03/15   09:41:07"));
        QCOMPARE(t.SaverSelected().Title(), QString("SAVER  SELECTED"));
        QCOMPARE(t.Delete().windowTitle(), QString("Delete "));
        QVERIFY(t.Delete().windowFlags() & Qt::WindowSystemMenuHint);
        QVERIFY(!(t.Delete().windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(t.CopyTo().windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(t.Delete().SecondLine(), QString("2024/03/15   09:41:07"));
        // Wide enough for its texts.
        auto* first = t.SaverSelected().findChild<QLabel*>("FirstLine");
        QVERIFY(first->fontMetrics().horizontalAdvance(first->text()) <= first->width());
        QCOMPARE(t.SaverSelected().Button("Export")->toolTip(),
                 QString("Save saver as a DCI file"));
        QCOMPARE(t.SaverSelected().Picture().toImage(),
                 p.ViewOf(CardPlace::Slot2).CurrentPicture(1).toImage());
        // Copy To offers the two other views, open or not; nothing was done.
        QCOMPARE(t.CopyTo().FirstTarget()->text(), QString("SLOT 1"));
        QVERIFY(t.CopyTo().FirstTarget()->isEnabled());
        QCOMPARE(t.CopyTo().SecondTarget()->text(), QString("FILE"));
        QVERIFY(!t.CopyTo().SecondTarget()->isEnabled());
        QCOMPARE(t.CopyTo().SecondTarget()->toolTip(),
                 QString("Copy Selected Saver to File - Window"));
        QVERIFY(rig.refreshes.empty());
        // The auto-refresh tick rests while a slot's saver is being acted on.
        p.Session().Config().AutoRefresh = 1;
        p.RearmTick();
        bool ticking = true;
        t.SaverSelected().RunHook = [&](ChoiceDialog&) {
            ticking = p.AutoRefreshTimer()->isActive();
        };
        t.Activate(CardPlace::Slot2);
        QVERIFY(!ticking);
        QVERIFY(p.AutoRefreshTimer()->isActive());
        p.Session().Config().AutoRefresh = 0;
        p.Stop();

        // Delete from the dialog: "Delete " Yes, and the view read again.
        rig.Answer(t.SaverSelected(), "Delete");
        rig.Answer(t.Delete(), "Yes");
        t.Activate(CardPlace::Slot2);
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"FIRST", "THIRD"}));
        QCOMPARE(rig.refreshes, std::vector<int>({1}));
    }

    void CopyToCopiesEvenInMoveModeAndPlacesGamesAtBlockZero() {
        const std::vector<TestSaver> slot1 = {{0, "FIRST", 3, 2}, {1, "PLAYME", 3, 1, true}};
        CommandsRig rig;
        MainWindow& w = rig.Open(&slot1, &kNone, 1);
        CardPresenter& p = Presenter(w);
        rig.OpenImage("image.dcm", {});
        TransferCommands& t = rig.commands->Transfers();
        rig.Answer(t.SaverSelected(), "Copy to");
        rig.Answer(t.CopyTo(), "FILE");
        rig.Select(CardPlace::Slot1, {1});
        t.Activate(CardPlace::Slot1);
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"FIRST", "PLAYME"}));
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"PLAYME"}));
        const SaverEntry& game = p.Session()
                                     .Volume(CardPlace::Image)
                                     .Entries()[p.Session().Volume(CardPlace::Image).ListMap()[0]];
        QCOMPARE(int(game.Raw[2]), 0);
        QCOMPARE(int(game.Raw[3]), 0);
        QCOMPARE(int(p.Session().Volume(CardPlace::Image).Fat()[0]), 1);
        QCOMPARE(rig.refreshes, std::vector<int>({2, 2})); // the image first, then after
        QCOMPARE(rig.prompter.Calls().size(), 0);
    }

    void MoveOfThreeSaversRefreshesInOrder() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone, 1);
        CardPresenter& p = Presenter(w);
        rig.OpenImage("image.dcm", {});
        rig.Select(CardPlace::Slot1, {0, 1, 2});
        QVERIFY(rig.DropOn(CardPlace::Image, rig.commands->Drags().DragData(CardPlace::Slot1)));
        // The image read first (empty), slot 1 once all are gone, the image again.
        QCOMPARE(rig.refreshes, std::vector<int>({2, 0, 2}));
        QCOMPARE(rig.listed, std::vector<int>({0, 0, 3}));
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"FIRST", "SECOND", "THIRD"}));
        QCOMPARE(p.ViewOf(CardPlace::Image).SizePanel()->text(), QString("191 BLOCKS FREE"));
        QCOMPARE(rig.prompter.Calls().size(), 0);
        QVERIFY(!WaitOf(w).isVisible());
    }

    void NameClashAnsweredNoKeepsThatSaverOnTheSource() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone, 1);
        CardPresenter& p = Presenter(w);
        rig.OpenImage("image.dcm", {{0, "SECOND", 1, 1}});
        rig.prompter.Then("no");
        rig.Select(CardPlace::Slot1, {0, 1, 2});
        QVERIFY(rig.DropOn(CardPlace::Image, rig.commands->Drags().DragData(CardPlace::Slot1)));
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Saver SECOND       Exisit overwrite it ?"}));
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"SECOND"}));
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"SECOND", "FIRST", "THIRD"}));
        QCOMPARE(p.Session().Volume(CardPlace::Image).Entries()[0].SizeBlocks, uint16_t(1));
    }

    void RefusedCopiesKeepTheSourceOnAMove() {
        const std::vector<TestSaver> slot1 = {{0, "FIRST", 3, 2}, {1, "PLAYME", 3, 1, true}};
        const std::vector<TestSaver> full = {{0, "BIG", 198, 1}}; // blocks 0 and 1 free
        CommandsRig rig;
        MainWindow& w = rig.Open(&slot1, &full, 1);
        const std::string before = ReadFileText(rig.Path("slot2.dcm"));
        rig.Select(CardPlace::Slot1, {0, 1});
        QVERIFY(rig.DropOn(CardPlace::Slot2, rig.commands->Drags().DragData(CardPlace::Slot1)));
        QCOMPARE(rig.prompter.Calls().size(), 0); // refused without a word, as ever
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"FIRST", "PLAYME"}));
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"BIG"}));
        QVERIFY(ReadFileText(rig.Path("slot2.dcm")) == before);
        QCOMPARE(rig.refreshes, std::vector<int>({0, 1}));
    }

    void MoveFromADamagedDirectoryCopiesNothing() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone, 1);
        CardPresenter& p = Presenter(w);
        const std::string before = ReadFileText(rig.Path("slot2.dcm"));
        p.Session().Volume(CardPlace::Slot1).Fat()[CardVolume::kDirFirstBlock] =
            100; // the chain runs into saver blocks
        rig.Select(CardPlace::Slot1, {0});
        QVERIFY(rig.DropOn(CardPlace::Slot2, rig.commands->Drags().DragData(CardPlace::Slot1)));
        QCOMPARE(rig.prompter.Messages().size(), 1);
        QVERIFY(rig.prompter.Messages().first().startsWith("Saver FIRST"));
        QVERIFY(ReadFileText(rig.Path("slot2.dcm")) == before);
    }

    void DragOverTakesOnlyWhatAViewMayTake() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone);
        CardPresenter& p = Presenter(w);
        SaverDrags& d = rig.commands->Drags();
        rig.Select(CardPlace::Slot1, {0});
        QVERIFY(rig.DragOver(CardPlace::Slot2, d.DragData(CardPlace::Slot1)));
        QVERIFY(!rig.DragOver(CardPlace::Slot1, d.DragData(CardPlace::Slot1))); // its own savers
        QVERIFY(!rig.DragOver(CardPlace::Image, d.DragData(CardPlace::Slot1))); // no image open
        // Another program's drag of the same kind is not one of ours.
        auto* foreign = new QMimeData;
        foreign->setData(SaverDrags::kMimeType, "1:ffff\n0");
        CardPlace source = CardPlace::Slot1;
        QVERIFY(!d.SourceOf(foreign, source));
        QVERIFY(!rig.DropOn(CardPlace::Slot2, foreign));
        // The view with the focus is the one the drag started in.
        w.show();
        QApplication::setActiveWindow(&w);
        p.ViewOf(CardPlace::Slot2).List()->setFocus();
        QVERIFY(p.ViewOf(CardPlace::Slot2).List()->hasFocus());
        QVERIFY(!rig.DragOver(CardPlace::Slot2, d.DragData(CardPlace::Slot1)));

        const QString dci = Q(rig.Path("a.DCI"));
        const QString dcm = Q(rig.Path("card.dcm"));
        QVERIFY(rig.DragOver(CardPlace::Slot1, Files({dci})));
        QVERIFY(!rig.DragOver(CardPlace::Slot1, Files({dcm}))); // uploads stay a menu command
        QVERIFY(rig.DragOver(CardPlace::Image, Files({dcm})));  // the file view opens images
        QVERIFY(!rig.DragOver(CardPlace::Image, Files({dci}))); // but imports only into an open one
        QVERIFY(!rig.DragOver(CardPlace::Slot2, Files({Q(rig.Path("notes.txt"))})));
        QVERIFY(rig.refreshes.empty());
    }

    void DroppedFilesRunTheMenuCommands() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone);
        CardPresenter& p = Presenter(w);
        const std::string dci = rig.Path("second.DCI");
        QVERIFY(ExportDci(dci, 1, p.Session().Volume(CardPlace::Slot1)));
        WriteTestCard(rig.Path("card.Dcm"), 200, {{3, "SECOND", 4, 1}});
        // A card image onto the file view opens it; a saver file imports,
        // with the questions of the menu command.
        rig.prompter.Then("no").Then("yes");
        QVERIFY(rig.DropOn(CardPlace::Image, Files({Q(dci), Q(rig.Path("card.Dcm"))})));
        QVERIFY(p.Session().Loaded(CardPlace::Image));
        QCOMPARE(rig.prompter.Messages(), QStringList({"Saver SECOND       Exisit overwrite it ?",
                                                       "Saver SECOND       Exisit Append it ?"}));
        QCOMPARE(Listed(w, CardPlace::Image), QStringList({"SECOND", "SECOND"}));
        // Onto a slot: the slot is read again before the import.
        QVERIFY(rig.DropOn(CardPlace::Slot2, Files({Q(dci)})));
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"SECOND"}));
        QCOMPARE(rig.refreshes, std::vector<int>({2, 2, 1, 1}));
    }

    void DeleteSelectedAsksOnceAndRefreshesOnce() {
        const std::vector<TestSaver> four = {
            {0, "A", 1, 1}, {1, "B", 2, 1}, {3, "C", 1, 0}, {4, "D", 3, 1}, {5, "E", 1, 1}};
        CommandsRig rig;
        MainWindow& w = rig.Open(&four, &kNone);
        CardPresenter& p = Presenter(w);
        p.ViewOf(CardPlace::Slot1).List()->clearSelection();
        rig.commands->Transfers().DeleteSelected(CardPlace::Slot1);
        QCOMPARE(rig.prompter.Calls().size(), 0); // nothing selected, nothing asked
        rig.prompter.Then("yes");
        rig.Select(CardPlace::Slot1, {0, 1, 3, 4});
        p.Menus().DeleteSelected(CardPlace::Slot1)->trigger();
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Are you sure to delete Slot 1 selected saver?"}));
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"C"}));
        QCOMPARE(rig.refreshes, std::vector<int>({0}));
    }

    // The refresh that ends a delete reads only what the delete did not:
    // each system block once for the same-card check (the two written ones
    // once more, read back), then the other savers' header and icon blocks.
    // A verified transfer that fails for good sends the user to "Find speed".
    void DeleteReadsTheCardOnceAndALinkFailurePointsToFindSpeed() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kThree, &kNone);
        CardPresenter& p = Presenter(w);
        rig.prompter.Then("yes");
        rig.Select(CardPlace::Slot1, {2});
        rig.box->Tally() = BoxTally{};
        p.Menus().DeleteSelected(CardPlace::Slot1)->trigger();
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"FIRST", "SECOND"}));
        for (int b = 241; b <= 255; ++b)
            QCOMPARE(rig.box->Tally().timesRead[b], b == 253 || b == 254 ? 2u : 1u);
        QVERIFY(rig.box->Tally().MostReadsOfOneBlock() <= 2);
        QCOMPARE(StatusOf(w), QString("Ambrel"));

        rig.twoSlot->SetCardPresent(0, false);
        rig.prompter.Then("yes");
        rig.Select(CardPlace::Slot1, {0});
        p.Menus().DeleteSelected(CardPlace::Slot1)->trigger();
        QVERIFY(rig.prompter.Messages().contains(CardBlockStore::kReadErrorText));
        QCOMPARE(StatusOf(w), QString(WindowFeedback::kFindSpeedHint));
    }

    void SaveBmpWritesThePictureTheViewShows() {
        CommandsRig rig;
        rig.Open(&kThree, &kNone);
        TransferCommands& t = rig.commands->Transfers();
        rig.Answer(t.SaverSelected(), "Save BMP to");
        const QString first = Q(rig.Path("first.bmp"));
        const QString third = Q(rig.Path("third.bmp"));
        rig.prompter.Then(first).Then(third);
        rig.Select(CardPlace::Slot1, {0});
        t.Activate(CardPlace::Slot1);
        QCOMPARE(QImage(first).pixelColor(16, 16), FrameColour(0));
        rig.Select(CardPlace::Slot1, {2}); // no icons of its own: the picture for none
        t.Activate(CardPlace::Slot1);
        QVERIFY(ReadFileText(rig.Path("third.bmp")) == ReadFileText(rig.Path("NA.bmp")));
        QCOMPARE(rig.prompter.Calls()[0].setup.fileName, QString("*.BMP"));
        QCOMPARE(rig.prompter.Calls()[1].setup.fileName, first); // the last name chosen
    }
};

QTEST_MAIN(TransferCommandsTest)
#include "TransferCommandsTest.moc"
