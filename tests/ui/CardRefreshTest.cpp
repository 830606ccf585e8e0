// Card refresh and the card views: listings, pictures, animation, the
// selection display, erased and missing cards, link errors and formatting.
#include "link/SocketBackend.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/LinkBox.h"
#include "link/support/LinkTestSupport.h"
#include "ui/dialogs/CheckCardDialog.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/CardMenus.h"
#include "ui/support/MainWindowRig.h"
#include "ui/support/WhileShown.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/DetailPanel.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

namespace {

QColor Shown(const QModelIndex& item) {
    return item.data(Qt::DecorationRole).value<QIcon>().pixmap(32, 32).toImage().pixelColor(16, 16);
}

using porvane_test::ReadFileText;

// Sets the table value of block in a card file.
void SetTable(const std::string& path, int block, uint16_t value) {
    CardVolume card;
    card.SetPlace(CardPlace::Image);
    card.OpenImage(path);
    card.ReadFat();
    card.Fat()[block] = value;
    card.WriteFat();
}

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
        CardPresenter& p = Presenter(w);
        p.RefreshCommand(CardPlace::Slot1);
        QVERIFY(p.Session().Loaded(CardPlace::Slot1));
        QCOMPARE(rig.prompter.Calls().size(), 0);
        // What the refresh read is not kept for the next command.
        QVERIFY(!p.Session().Volume(CardPlace::Slot1).Store().Cache().IsOpen() &&
                !p.Session().Volume(CardPlace::Slot2).Store().Cache().IsOpen());
        QVERIFY(!WaitOf(w).isVisible());
        QCOMPARE(w.findChild<QProgressBar*>("ProgressBar")->value(), 0);
        CardListWidget* list = p.ViewOf(CardPlace::Slot1).List();
        QCOMPARE(list->model()->rowCount(), 4);
        const QStringList captions = {"3", "10", "4", "3"};
        const int entries[] = {0, 2, 5, 6};
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(list->model()->index(k, 0).data().toString(), captions[k]);
            QCOMPARE(p.ViewOf(CardPlace::Slot1).DirectoryIndexAt(k), entries[k]);
        }
        QCOMPARE(p.ViewOf(CardPlace::Slot1).DirectoryIndexAt(4), -1);
        QCOMPARE(int(p.Session().Volume(CardPlace::Slot1).ListMap()[4]), 0xFF);
        QCOMPARE(list->model()->index(1, 0).data(Qt::AccessibleTextRole).toString(),
                 QString("NOICONS     , 10 blocks"));
        QCOMPARE(p.ViewOf(CardPlace::Slot1).SizePanel()->text(), QString("180 BLOCKS FREE"));
        // Pictures: frame 0 of each saver, "NA.bmp" for the one without icons.
        QCOMPARE(Shown(list->model()->index(0, 0)), FrameColour(0));
        QCOMPARE(p.ViewOf(CardPlace::Slot1).CurrentPicture(2).toImage(),
                 QPixmap(QString::fromStdString(rig.Path("NA.bmp"))).toImage());
        QCOMPARE(p.ViewOf(CardPlace::Slot1).PictureCount(), 2 + 1 + 3 + 1);
    }

    void AnimatesIconsAndWrapsAtTheFrameCount() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        p.RefreshCommand(CardPlace::Slot1);
        CardListWidget* list = p.ViewOf(CardPlace::Slot1).List();
        const QColor na = Shown(list->model()->index(1, 0));
        const int expectFirst[] = {0, 1, 0, 1, 0};
        const int expectThird[] = {0, 1, 2, 0, 1};
        for (int tick = 0; tick < 5; ++tick) {
            p.StateTick();
            QCOMPARE(Shown(list->model()->index(0, 0)), FrameColour(expectFirst[tick]));
            QCOMPARE(Shown(list->model()->index(2, 0)), FrameColour(expectThird[tick]));
            QCOMPARE(Shown(list->model()->index(1, 0)), na);
            QCOMPARE(Shown(list->model()->index(3, 0)), FrameColour(0));
        }
    }

    void SelectionShowsTheSaverOrTheTotals() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot2.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        p.RefreshCommand(CardPlace::Slot2);
        DetailPanel& d = p.Detail();
        QVERIFY(d.IsDown());
        rig.Select(CardPlace::Slot2, {2});
        QVERIFY(d.IsUp());
        QCOMPARE(d.NamePanel()->text(), QString("Slot 2 : THIRD       "));
        QCOMPARE(d.DateTime()->text(), QString("2024/03/15   09:41:07"));
        QCOMPARE(p.Session().SelectedName(), std::string("THIRD       "));
        QCOMPARE(int(p.Session().SelectedEntry()), 5);
        QVERIFY(p.Session().SelectedVolume() == &p.Session().Volume(CardPlace::Slot2));
        QVERIFY(!d.DisasmButton()->isEnabled());
        rig.Select(CardPlace::Slot2, {3});
        QVERIFY(d.DisasmButton()->isEnabled()); // a game saver
        QVERIFY(!d.SelectionCount()->isVisible());

        rig.Select(CardPlace::Slot2, {1, 2});
        QCOMPARE(d.SelectionCount()->text(), QString("Slot 2 : 2 Saver Selected"));
        QCOMPARE(d.SelectionTotal()->text(), QString("14 Blocks Total"));
        QVERIFY(!d.SelectionCount()->isHidden());
        QVERIFY(d.IsDown());
        QVERIFY(p.Session().SelectedVolume() == nullptr);
        QCOMPARE(d.NamePanel()->text(), QString("NO SAVER SELECTED"));

        // The open card image is named by its file.
        WriteTestCard(rig.Path("mine.dcm"), 200, kSavers);
        p.Session().Volume(CardPlace::Image).OpenImage(rig.Path("mine.dcm"));
        p.ReadAgain(CardPlace::Image);
        QVERIFY(p.Session().Loaded(CardPlace::Image));
        rig.Select(CardPlace::Image, {0});
        QCOMPARE(d.NamePanel()->text(), QString("mine.dcm : FIRST       "));
    }

    void ErasedEmptyAndMissingCards() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 0, {});
        WriteTestCard(rig.Path("slot2.dcm"), 200, {});
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        p.RefreshCommand(CardPlace::Slot1);
        QVERIFY(p.Session().Loaded(CardPlace::Slot1)); // so that it can be formatted
        QCOMPARE(p.ViewOf(CardPlace::Slot1).SizePanel()->text(), QString("Not a formated Card"));
        QCOMPARE(p.ViewOf(CardPlace::Slot1).List()->model()->rowCount(), 0);
        p.StateTick();
        QVERIFY(p.Menus().Item(CardPlace::Slot1, CommandId::Format)->isEnabled());
        QVERIFY(!p.Menus().Item(CardPlace::Slot1, CommandId::ImportDci)->isEnabled());
        QVERIFY(!p.Menus().Item(CardPlace::Slot1, CommandId::ImportBmp)->isEnabled());

        p.RefreshCommand(CardPlace::Slot2);
        QVERIFY(p.Session().Loaded(CardPlace::Slot2));
        QCOMPARE(p.ViewOf(CardPlace::Slot2).SizePanel()->text(), QString("200 BLOCKS FREE"));
        QCOMPARE(p.ViewOf(CardPlace::Slot2).List()->model()->rowCount(), 0);

        rig.twoSlot->SetCardPresent(1, false);
        p.RefreshCommand(CardPlace::Slot2);
        QCOMPARE(rig.prompter.Messages(), QStringList({" no card in slot 2 "}));
        QVERIFY(!p.Session().Loaded(CardPlace::Slot2));
        p.StateTick();
        QVERIFY(!p.Menus().Item(CardPlace::Slot2, CommandId::SaveAsDcm)->isEnabled());
    }

    void LinkFailuresAreReported() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenNoBox();
        CardPresenter& p = Presenter(w);
        p.RefreshCommand(CardPlace::Slot1);
        p.RefreshCommand(CardPlace::Slot2);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({" link error 1, please check Connection speed in Setup, DC power "
                              "and cable connection. ",
                              " link error , please check Connection speed in Setup, DC power "
                              "and cable connection. "}));
        QCOMPARE(StatusOf(w), QString("No Device"));
        QVERIFY(!p.Session().Loaded(CardPlace::Slot1) && !p.Session().Loaded(CardPlace::Slot2));
    }

    // A socket box that closes and comes back is found by the next refresh
    // and by device detection: the port is opened anew.
    void ABoxThatComesBackIsFoundAgain() {
        // Both ends on one core: the box answers in time however busy the
        // machine is.
        const linktest::SameCpu pin;
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 200, kSavers);
        const std::string socket = rig.Path("box.sock");
        const std::string spec = "emulator:" + rig.dir.Path().string();
        auto box = std::make_unique<linktest::LinkboxProcess>(spec, socket);
        QVERIFY(box->Started());
        MainWindow& w = rig.Open(std::make_unique<SocketBackend>(socket));
        CardPresenter& p = Presenter(w);
        p.RefreshCommand(CardPlace::Slot1);
        QVERIFY(p.Session().Loaded(CardPlace::Slot1));

        box.reset();
        p.RefreshCommand(CardPlace::Slot1);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({" link error 1, please check Connection speed in Setup, DC power "
                              "and cable connection. "}));
        p.DetectDeviceTick();
        QCOMPARE(StatusOf(w), QString(LinkPort::kNoDeviceText));

        box = std::make_unique<linktest::LinkboxProcess>(spec, socket);
        QVERIFY(box->Started());
        p.DetectDeviceTick();
        QCOMPARE(StatusOf(w), QString("Ambrel"));
        // Gone and back again while nothing used the link: the refresh finds
        // the connection dead, and a new one.
        box.reset();
        box = std::make_unique<linktest::LinkboxProcess>(spec, socket);
        rig.prompter.Clear();
        p.RefreshCommand(CardPlace::Slot1);
        QCOMPARE(rig.prompter.Messages(), QStringList());
        QVERIFY(p.Session().Loaded(CardPlace::Slot1));
        QCOMPARE(p.ViewOf(CardPlace::Slot1).List()->model()->rowCount(), 4);
    }

    // A card whose listing shows damage is marked in its header and on its
    // free-space line until it reads clean again; the mark asks for the
    // check when clicked.
    void ADamagedCardIsMarkedUntilItReadsClean() {
        MainWindowRig rig;
        const std::string card = rig.Path("slot1.dcm");
        WriteTestCard(card, 200, kSavers);
        WriteTestCard(rig.Path("slot2.dcm"), 200, kSavers);
        SetTable(card, 198, CardVolume::kFatFree); // FIRST breaks after 2 of its 3 blocks
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        p.RefreshCommand(CardPlace::Slot1);
        p.RefreshCommand(CardPlace::Slot2);
        CardView& damaged = p.ViewOf(CardPlace::Slot1);
        QVERIFY(damaged.ProblemsShown() && !p.ViewOf(CardPlace::Slot2).ProblemsShown());
        QToolButton* mark = damaged.ProblemsButton();
        QVERIFY(mark->isVisible());
        QCOMPARE(mark->toolTip(), QString("This card has problems: Check card..."));
        QCOMPARE(damaged.SizePanel()->accessibleDescription(), mark->toolTip());
        QCOMPARE(damaged.SizePanel()->text(), QString("180 BLOCKS FREE"));
        QSignalSpy check(p.Menus().CheckCard(CardPlace::Slot1), &QAction::triggered);
        // The check window it opens is closed again at once.
        WhileShown closed(*w.findChild<CheckCardDialog*>(), [] {});
        QTest::mouseClick(mark, Qt::LeftButton);
        QCOMPARE(check.count(), 1);
        QCOMPARE(closed.shown, 1);

        SetTable(card, 198, 197);
        p.RefreshCommand(CardPlace::Slot1);
        QVERIFY(!damaged.ProblemsShown() && !mark->isVisible());
        QVERIFY(damaged.SizePanel()->accessibleDescription().isEmpty());
    }

    // The three cards: slot 1 blank, slot 2 and the image with savers.
    static void OpenThreeCards(MainWindowRig& rig) {
        WriteTestCard(rig.Path("slot1.dcm"), 0, {});
        WriteTestCard(rig.Path("slot2.dcm"), 200, kSavers);
        WriteTestCard(rig.Path("file.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        p.RefreshCommand(CardPlace::Slot1);
        p.RefreshCommand(CardPlace::Slot2);
        p.Session().Volume(CardPlace::Image).OpenImage(rig.Path("file.dcm"));
        p.ReadAgain(CardPlace::Image);
    }

    void FormatRefusedChangesNothing() {
        MainWindowRig rig;
        OpenThreeCards(rig);
        MainWindow& w = *rig.window;
        CardPresenter& p = Presenter(w);
        const std::string before = ReadFileText(rig.Path("slot2.dcm"));
        rig.prompter.Then("no");
        p.FormatCommand(CardPlace::Slot2, 200);
        QCOMPARE(rig.prompter.Messages(), QStringList({"Delete all saver? "}));
        QVERIFY(ReadFileText(rig.Path("slot2.dcm")) == before);
    }

    void FormatsWithTheDesignedQuestions_data() {
        QTest::addColumn<int>("view");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<QString>("question");
        const QString large = "Delete all saver? (Over 200 blocks is ONLY for Velmor memory card)";
        QTest::newRow("slot 1, 241") << 0 << 241 << large;
        QTest::newRow("slot 1, 240")
            << 0 << 240 << "elete all saver? (Over 200 blocks is ONLY for Velmor memory card)?";
        QTest::newRow("slot 1, 200") << 0 << 200 << "Delete all saver?";
        QTest::newRow("slot 2, 241") << 1 << 241 << large;
        QTest::newRow("slot 2, 240") << 1 << 240 << large;
        QTest::newRow("slot 2, 200") << 1 << 200 << "Delete all saver? ";
        QTest::newRow("file, 241") << 2 << 241 << large;
        QTest::newRow("file, 240") << 2 << 240 << large;
        QTest::newRow("file, 200") << 2 << 200 << "Delete all saver?";
    }

    // Each of the nine menu items asks its question and formats its card.
    void FormatsWithTheDesignedQuestions() {
        QFETCH(int, view);
        QFETCH(int, blocks);
        QFETCH(QString, question);
        MainWindowRig rig;
        OpenThreeCards(rig);
        MainWindow& w = *rig.window;
        CardPresenter& p = Presenter(w);
        const CardPlace shown = kCardPlaces[static_cast<size_t>(view)];
        rig.prompter.Clear();
        rig.prompter.Then("yes");
        p.Menus().FormatItem(shown, blocks)->trigger();
        QCOMPARE(rig.prompter.Messages(), QStringList({question}));
        QVERIFY(p.Session().Loaded(shown));
        QCOMPARE(p.ViewOf(shown).List()->model()->rowCount(), 0);
        QCOMPARE(p.ViewOf(shown).SizePanel()->text(), QString::number(blocks) + " BLOCKS FREE");
        QVERIFY(!WaitOf(w).isVisible());
    }

    void AnUnreadableNoIconPictureStopsTheRefresh() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 200, kSavers);
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        std::filesystem::remove(rig.Path("NA.bmp"));
        std::filesystem::create_directory(rig.Path("NA.bmp"));
        p.RefreshCommand(CardPlace::Slot1);
        QCOMPARE(rig.prompter.Calls().size(), 1);
        QCOMPARE(rig.prompter.Calls()[0].kind, QString("error"));
        QVERIFY(rig.prompter.Calls()[0].text.startsWith(
            "Cannot open file \"" + QString::fromStdString(rig.Path("NA.bmp"))));
        QVERIFY(!p.Session().Loaded(CardPlace::Slot1));
        QVERIFY(!WaitOf(w).isVisible());
        QCOMPARE(w.findChild<QProgressBar*>("ProgressBar")->value(), 0);
    }
};

QTEST_MAIN(CardRefreshTest)
#include "CardRefreshTest.moc"
