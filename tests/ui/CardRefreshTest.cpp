// Card refresh and the card views: listings, pictures, animation, the
// selection display, erased and missing cards, link errors and formatting.
#include "link/emu/BoxDevice.h"
#include "link/emu/LinkBox.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/CardMenus.h"
#include "ui/support/MainWindowRig.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/DetailPanel.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

namespace {

QColor Shown(QListWidgetItem* item) {
    return item->icon().pixmap(32, 32).toImage().pixelColor(16, 16);
}

using porvane_test::ReadFileText;

const std::vector<TestSaver> kSavers = {
    {0, "FIRST", 3, 2}, {2, "NOICONS", 10, 0}, {5, "THIRD", 4, 3}, {6, "PLAYME", 3, 1, true}};

} // namespace

class CardRefreshTest : public QObject {
    Q_OBJECT
  private slots:
    void ListsSaversInDirectoryOrder() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        w.RefreshSlot1Command();
        QVERIFY(w.Loaded(0));
        QCOMPARE(rig.prompter.Calls().size(), 0);
        QVERIFY(!w.Wait().isVisible());
        QCOMPARE(w.Progress()->value(), 0);
        CardListWidget* list = w.View(0).List();
        QCOMPARE(list->count(), 4);
        const QStringList captions = {"3", "10", "4", "3"};
        const int entries[] = {0, 2, 5, 6};
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(list->item(k)->text(), captions[k]);
            QCOMPARE(w.View(0).DirectoryIndexAt(k), entries[k]);
        }
        QCOMPARE(w.View(0).DirectoryIndexAt(4), -1);
        QCOMPARE(int(w.Volume(0).ListMap[4]), 0xFF);
        QCOMPARE(list->item(1)->data(Qt::AccessibleTextRole).toString(),
                 QString("NOICONS     , 10 blocks"));
        QCOMPARE(w.View(0).SizePanel()->text(), QString("180 BLOCKS FREE"));
        // Pictures: frame 0 of each saver, "NA.bmp" for the one without icons.
        QCOMPARE(Shown(list->item(0)), FrameColour(0));
        QCOMPARE(w.View(0).CurrentPicture(2).toImage(),
                 QPixmap(QString::fromStdString(rig.Path("NA.bmp"))).toImage());
        QCOMPARE(w.View(0).PictureCount(), 2 + 1 + 3 + 1);
    }

    void AnimatesIconsAndWrapsAtTheFrameCount() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        w.RefreshSlot1Command();
        CardListWidget* list = w.View(0).List();
        const QColor na = Shown(list->item(1));
        const int expectFirst[] = {0, 1, 0, 1, 0};
        const int expectThird[] = {0, 1, 2, 0, 1};
        for (int tick = 0; tick < 5; ++tick) {
            w.StateTick();
            QCOMPARE(Shown(list->item(0)), FrameColour(expectFirst[tick]));
            QCOMPARE(Shown(list->item(2)), FrameColour(expectThird[tick]));
            QCOMPARE(Shown(list->item(1)), na);
            QCOMPARE(Shown(list->item(3)), FrameColour(0));
        }
    }

    void SelectionShowsTheSaverOrTheTotals() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot2.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        w.RefreshSlot2Command();
        DetailPanel& d = w.Detail();
        QVERIFY(d.IsDown());
        rig.Select(1, {2});
        QVERIFY(d.IsUp());
        QCOMPARE(d.NamePanel()->text(), QString("Slot 2 : THIRD       "));
        QCOMPARE(d.DateTime()->text(), QString("2024/03/15   09:41:07"));
        QCOMPARE(w.SelectedName, std::string("THIRD       "));
        QCOMPARE(int(w.SelectedEntry), 5);
        QVERIFY(w.SelectedVolume == &w.Volume(1));
        QVERIFY(!d.DisasmButton()->isEnabled());
        rig.Select(1, {3});
        QVERIFY(d.DisasmButton()->isEnabled()); // a game saver
        QVERIFY(!d.SelectionCount()->isVisible());

        rig.Select(1, {1, 2});
        QCOMPARE(d.SelectionCount()->text(), QString("Slot 2 : 2 Saver Selected"));
        QCOMPARE(d.SelectionTotal()->text(), QString("14 Blocks Total"));
        QVERIFY(!d.SelectionCount()->isHidden());
        QVERIFY(d.IsDown());
        QVERIFY(w.SelectedVolume == nullptr);
        QCOMPARE(d.NamePanel()->text(), QString("NO SAVER SELECTED"));

        // The open card image is named by its file.
        WriteTestCard(rig.Path("mine.dcm"), 200, kSavers);
        w.Volume(2).OpenImage(rig.Path("mine.dcm"));
        w.RefreshFile();
        QVERIFY(w.Loaded(2));
        rig.Select(2, {0});
        QCOMPARE(d.NamePanel()->text(), QString("mine.dcm : FIRST       "));
    }

    void ErasedEmptyAndMissingCards() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 0, {});
        WriteTestCard(rig.Path("slot2.dcm"), 200, {});
        MainWindow& w = rig.OpenTwoSlot();
        w.RefreshSlot1Command();
        QVERIFY(w.Loaded(0)); // so that it can be formatted
        QCOMPARE(w.View(0).SizePanel()->text(), QString("Not a formated Card"));
        QCOMPARE(w.View(0).List()->count(), 0);
        w.StateTick();
        QVERIFY(w.Menus().slot1.format->isEnabled());
        QVERIFY(!w.Menus().slot1.importDci->isEnabled());
        QVERIFY(!w.Menus().slot1.importBmp->isEnabled());

        w.RefreshSlot2Command();
        QVERIFY(w.Loaded(1));
        QCOMPARE(w.View(1).SizePanel()->text(), QString("200 BLOCKS FREE"));
        QCOMPARE(w.View(1).List()->count(), 0);

        rig.twoSlot->SetCardPresent(1, false);
        w.RefreshSlot2Command();
        QCOMPARE(rig.prompter.Messages(), QStringList({" no card in slot 2 "}));
        QVERIFY(!w.Loaded(1));
        w.StateTick();
        QVERIFY(!w.Menus().slot2.saveAsDcm->isEnabled());
    }

    void LinkFailuresAreReported() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenNoBox();
        w.RefreshSlot1Command();
        w.RefreshSlot2Command();
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({" link error 1, please check Connection speed in Setup, DC power "
                              "and cable connection. ",
                              " link error , please check Connection speed in Setup, DC power "
                              "and cable connection. "}));
        QCOMPARE(w.Status(), QString("No Device"));
        QVERIFY(!w.Loaded(0) && !w.Loaded(1));
    }

    void FormatsWithTheDesignedQuestions() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 0, {});
        WriteTestCard(rig.Path("slot2.dcm"), 200, kSavers);
        WriteTestCard(rig.Path("file.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        w.RefreshSlot1Command();
        w.RefreshSlot2Command();
        w.Volume(2).OpenImage(rig.Path("file.dcm"));
        w.RefreshFile();

        // No changes nothing, byte for byte.
        const std::string before = ReadFileText(rig.Path("slot2.dcm"));
        rig.prompter.Then("no");
        w.FormatCommand(1, 200);
        QCOMPARE(rig.prompter.Messages(), QStringList({"Delete all saver? "}));
        QVERIFY(ReadFileText(rig.Path("slot2.dcm")) == before);

        struct Case {
            int index;
            int blocks;
            QString question;
        };
        const QString large = "Delete all saver? (Over 200 blocks is ONLY for Velmor memory card)";
        const Case cases[] = {
            {0, 241, large},
            {0, 240, "elete all saver? (Over 200 blocks is ONLY for Velmor memory card)?"},
            {0, 200, "Delete all saver?"},
            {1, 241, large},
            {1, 240, large},
            {2, 240, large},
            {2, 200, "Delete all saver?"},
        };
        for (const Case& c : cases) {
            rig.prompter.Clear();
            rig.prompter.Then("yes");
            w.FormatCommand(c.index, c.blocks);
            QCOMPARE(rig.prompter.Messages(), QStringList({c.question}));
            QVERIFY(w.Loaded(c.index));
            QCOMPARE(w.View(c.index).List()->count(), 0);
            QCOMPARE(w.View(c.index).SizePanel()->text(),
                     QString::number(c.blocks) + " BLOCKS FREE");
        }
        QVERIFY(!w.Wait().isVisible());
    }

    void AnUnreadableNoIconPictureStopsTheRefresh() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        std::filesystem::remove(rig.Path("NA.bmp"));
        std::filesystem::create_directory(rig.Path("NA.bmp"));
        w.RefreshSlot1Command();
        QCOMPARE(rig.prompter.Calls().size(), 1);
        QCOMPARE(rig.prompter.Calls()[0].kind, QString("error"));
        QVERIFY(rig.prompter.Calls()[0].text.startsWith(
            "Cannot open file \"" + QString::fromStdString(rig.Path("NA.bmp"))));
        QVERIFY(!w.Loaded(0));
        QVERIFY(!w.Wait().isVisible());
        QCOMPARE(w.Progress()->value(), 0);
    }
};

QTEST_MAIN(CardRefreshTest)
#include "CardRefreshTest.moc"
