// The window while no link box answers: what it tells the user, and how
// little it asks the port until a box is back.
#include "link/LinkPort.h"
#include "link/emu/LinkBox.h"
#include "ui/main/CardPresenter.h"
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
        CardPresenter& p = Presenter(w);
        QVERIFY(w.findChild<QLabel*>("NoDeviceHint")->isHidden());

        p.DetectDeviceTick();
        QCOMPARE(StatusOf(w), QString(LinkPort::kNoDeviceText));
        QVERIFY(!w.findChild<QLabel*>("NoDeviceHint")->isHidden());
        QVERIFY(w.findChild<QLabel*>("NoDeviceHint")->text().contains("modprobe ppdev"));
        QVERIFY(w.findChild<QLabel*>("NoDeviceHint")->text().contains("--link emulator:DIR"));
        QVERIFY(p.BackedOff());
        QVERIFY(p.AutoRefreshTimer()->interval() >= CardPresenter::kNoDeviceIntervalMs);

        // A tick while backed off costs one command that finds no box, not
        // the several of a full tick.
        uint16_t page = 0;
        long before = rig.clock.readings;
        p.Session().Link().GetPage(page);
        const long oneCommand = rig.clock.readings - before;
        before = rig.clock.readings;
        p.AutoRefreshTick();
        QCOMPARE(rig.clock.readings - before, oneCommand);
        QVERIFY(p.BackedOff());
        QVERIFY(p.AutoRefreshTimer()->isActive());

        // The box answers again: the next tick lays the window out for it
        // and the hint goes.
        rig.box->Faults().noBox = false;
        p.AutoRefreshTick();
        QVERIFY(!p.BackedOff());
        QVERIFY(p.TwoSlotSeen());
        QCOMPARE(StatusOf(w), QString("    Ambrel"));
        QVERIFY(w.findChild<QLabel*>("NoDeviceHint")->isHidden());
        QVERIFY(p.AutoRefreshTimer()->isActive());
        QVERIFY(rig.prompter.Calls().isEmpty());
    }
};

QTEST_MAIN(NoDeviceTest)
#include "NoDeviceTest.moc"
