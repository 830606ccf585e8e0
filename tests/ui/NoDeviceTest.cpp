// The window while no link box answers: what it tells the user, and how
// little it asks the port until a box is back.
#include "link/LinkPort.h"
#include "link/emu/LinkBox.h"
#include "ui/main/AutoRefresh.h"
#include "ui/support/MainWindowRig.h"

#include <QLabel>
#include <QTimer>
#include <QtTest>

class NoDeviceTest : public QObject {
    Q_OBJECT
  private slots:
    void NoBoxShowsWhatToTryAndTicksBackOffUntilABoxAnswers() {
        MainWindowRig rig;
        rig.WriteConfig(1);
        MainWindow& w = rig.OpenNoBox();
        AutoRefresh& ticks = w.AutoRefresher();
        QVERIFY(w.NoDeviceHint()->isHidden());

        w.DetectDeviceTick();
        QCOMPARE(w.Status(), QString(LinkPort::kNoDeviceText));
        QVERIFY(!w.NoDeviceHint()->isHidden());
        QVERIFY(w.NoDeviceHint()->text().contains("modprobe ppdev"));
        QVERIFY(w.NoDeviceHint()->text().contains("--link emulator:DIR"));
        QVERIFY(ticks.BackedOff());
        QVERIFY(ticks.Timer()->interval() >= AutoRefresh::kNoDeviceIntervalMs);

        // A tick while backed off costs one command that finds no box, not
        // the several of a full tick.
        uint16_t page = 0;
        long before = rig.clock.readings;
        w.Session().Link().GetPage(page);
        const long oneCommand = rig.clock.readings - before;
        before = rig.clock.readings;
        ticks.Tick();
        QCOMPARE(rig.clock.readings - before, oneCommand);
        QVERIFY(ticks.BackedOff());
        QVERIFY(ticks.Timer()->isActive());

        // The box answers again: the next tick lays the window out for it
        // and the hint goes.
        rig.box->Faults().noBox = false;
        ticks.Tick();
        QVERIFY(!ticks.BackedOff());
        QVERIFY(ticks.TwoSlotSeen);
        QCOMPARE(w.Status(), QString("    Ambrel"));
        QVERIFY(w.NoDeviceHint()->isHidden());
        QVERIFY(ticks.Timer()->isActive());
        QVERIFY(rig.prompter.Calls().isEmpty());
    }
};

QTEST_MAIN(NoDeviceTest)
#include "NoDeviceTest.moc"
