// Auto refresh and the pages of the paged card.
#include "link/LinkPort.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/LinkBox.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/CardPresenter.h"
#include "ui/support/MainWindowRig.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/PagePanel.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

class AutoRefreshTest : public QObject {
    Q_OBJECT
  private slots:
    void NoticesCardsInsertedAndRemoved() {
        MainWindowRig rig;
        rig.WriteConfig(1);
        WriteTestCard(rig.Path("slot1.dcm"), 200, {{0, "ONE", 2, 1}});
        WriteTestCard(rig.Path("slot2.dcm"), 200, {{0, "TWO", 2, 1}});
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        QVERIFY(p.AutoRefreshTimer()->isActive());
        rig.twoSlot->SetCardPresent(0, false);

        // Slot 2 waits until the tick has seen the two-slot unit once.
        p.AutoRefreshTick();
        QVERIFY(!p.Session().Loaded(CardPlace::Slot1) && !p.Session().Loaded(CardPlace::Slot2));
        QVERIFY(p.TwoSlotSeen());
        QCOMPARE(StatusOf(w), QString("    Ambrel"));
        p.AutoRefreshTick();
        QVERIFY(p.Session().Loaded(CardPlace::Slot2));
        QCOMPARE(p.ViewOf(CardPlace::Slot2).List()->model()->rowCount(), 1);

        rig.twoSlot->SetCardPresent(0, true);
        p.AutoRefreshTick();
        QVERIFY(p.Session().Loaded(CardPlace::Slot1));
        QVERIFY(p.AutoRefreshTimer()->isActive());

        // Pulled from slot 2 while slot 1 holds a card: no wait.
        rig.twoSlot->SetCardPresent(1, false);
        const long paused = rig.clock.pausedMs;
        p.AutoRefreshTick();
        QVERIFY(!p.Session().Loaded(CardPlace::Slot2));
        QCOMPARE(rig.clock.pausedMs, paused);
        QVERIFY(rig.prompter.Calls().isEmpty());
        p.StateTick();
        QCOMPARE(p.ViewOf(CardPlace::Slot2).List()->model()->rowCount(), 0);
    }

    // A card pulled and pushed back within the wait stays loaded.
    void CardBackWithinTheWaitStaysLoaded() {
        for (int slot = 0; slot < 2; ++slot) {
            MainWindowRig rig;
            rig.WriteConfig(1);
            WriteTestCard(rig.Path(slot == 0 ? "slot1.dcm" : "slot2.dcm"), 200, {{0, "ONE", 2, 1}});
            MainWindow& w = rig.OpenTwoSlot();
            CardPresenter& p = Presenter(w);
            p.SetTwoSlotSeen(true);
            const CardPlace view = slot == 0 ? CardPlace::Slot1 : CardPlace::Slot2;
            p.ReadAgain(view);
            QVERIFY(p.Session().Loaded(view));
            rig.twoSlot->SetCardPresent(slot, false);
            rig.clock.onPause = [&](int) {
                QVERIFY(WaitOf(w).isVisible());
                rig.twoSlot->SetCardPresent(slot, true);
            };
            const long paused = rig.clock.pausedMs;
            p.AutoRefreshTick();
            QCOMPARE(rig.clock.pausedMs - paused, 3800L);
            QVERIFY(p.Session().Loaded(view));
            QVERIFY(!WaitOf(w).isVisible());

            // Gone for good this time.
            rig.clock.onPause = nullptr;
            rig.twoSlot->SetCardPresent(slot, false);
            p.AutoRefreshTick();
            QVERIFY(!p.Session().Loaded(view));
        }
    }

    void PageChangeRereadsSlot1() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenPaged(16);
        CardPresenter& p = Presenter(w);
        p.DetectDeviceTick();
        p.RefreshCommand(CardPlace::Slot1);
        CardListWidget* list = p.ViewOf(CardPlace::Slot1).List();
        QCOMPARE(list->model()->index(0, 0).data(Qt::AccessibleTextRole).toString(),
                 QString("PAGE0       , 2 blocks"));
        PagePanel& pages = PagesOf(w);
        p.Session().Config().AutoRefresh = 1;
        p.RearmTick();
        const long paused = rig.clock.pausedMs;
        p.ShowPagePanel();
        QVERIFY(pages.IsIn());
        QVERIFY(!p.AutoRefreshTimer()->isActive()); // a card above 4 pages
        QCOMPARE(rig.clock.pausedMs - paused, 330L);

        pages.Spin()->setValue(256 + 5); // the low 8 bits
        QCOMPARE(int(rig.paged->CurrentPage()), 5);
        QCOMPARE(pages.Spin()->value(), 5);
        QCOMPARE(int(p.Session().CurrentPage()), 5);
        QCOMPARE(int(p.Session().ShownPage()), 0);
        p.HidePagePanel();
        QVERIFY(pages.IsOut());
        QVERIFY(p.AutoRefreshTimer()->isActive());
        QCOMPARE(int(p.Session().ShownPage()), 5);
        QCOMPARE(list->model()->index(0, 0).data(Qt::AccessibleTextRole).toString(),
                 QString("PAGE5       , 2 blocks"));
        QCOMPARE(pages.PageLabel()->text(), QString("Current Page : 5"));
        QVERIFY(rig.prompter.Calls().isEmpty());

        // Refreshing slot 2 on the paged card does nothing.
        p.RefreshCommand(CardPlace::Slot2);
        QVERIFY(!p.Session().Loaded(CardPlace::Slot2));
        QVERIFY(rig.prompter.Calls().isEmpty());
    }

    void Set16MPageWaitsForTheCard() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenPaged(16, 2);
        CardPresenter& p = Presenter(w);
        p.DetectDeviceTick();
        WaitOf(w).SetCloseInterval(1);
        QPushButton* button = PagesOf(w).Set16MButton();
        QVERIFY(!button->isHidden());
        button->click();
        QVERIFY(button->isHidden());
        QVERIFY(!WaitOf(w).isVisible());
        QVERIFY(rig.prompter.Calls().isEmpty());

        rig.box->Faults().noBox = true;
        p.Set16MPage();
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({" link error, please check is 16M Card , Connection speed in "
                              "Setup, DC power and cable connection. "}));
    }
};

QTEST_MAIN(AutoRefreshTest)
#include "AutoRefreshTest.moc"
