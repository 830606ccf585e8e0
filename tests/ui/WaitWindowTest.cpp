#include "ui/dialogs/WaitWindow.h"
#include "ui/main/WaitAsidePrompter.h"
#include "ui/main/WaitWindowShow.h"
#include "ui/support/ScriptedPrompter.h"
#include "ui/widgets/WaitTicker.h"

#include <QElapsedTimer>
#include <QWidget>
#include <QtTest>

class WaitWindowTest : public QObject {
    Q_OBJECT
  private slots:
    // Borderless 200 x 175 "wait", centred over the main window by the
    // truncating rule, painted and named for screen readers.
    void ShowsCentredAndNamed() {
        QWidget main;
        main.setGeometry(101, 57, 665, 561);
        main.show();
        WaitWindow wait;
        wait.ShowOver(&main);
        QVERIFY(wait.isVisible());
        QCOMPARE(wait.windowTitle(), QString("wait"));
        QVERIFY(wait.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(wait.size(), QSize(200, 175));
        const QRect outer = main.frameGeometry();
        QCOMPARE(wait.pos(), QPoint(outer.left() + (outer.width() - 200) / 2,
                                    outer.top() + (outer.height() - 175) / 2));
        QCOMPARE(wait.accessibleDescription(),
                 QString("Please don't remove the card while it is being commuicate ! "));
        QVERIFY(!wait.accessibleName().isEmpty());
        QVERIFY(!wait.Ticker()->accessibleName().isEmpty());
        // The picture is drawn, not left blank.
        const QImage shot = wait.grab().toImage();
        QVERIFY(shot.pixelColor(40, 60) != shot.pixelColor(5, 5));
        wait.hide();
        QVERIFY(!wait.Ticker()->IsScrolling());
    }

    // The modal wait returns by itself when its close timer fires, and the
    // timer is off again afterwards; Escape does not cut it short.
    void ModalRunEndsWithItsTimer() {
        QWidget main;
        main.setGeometry(0, 0, 400, 300);
        WaitWindow wait;
        wait.SetCloseInterval(150);
        bool sawModal = false;
        QTimer::singleShot(20, &wait, [&] {
            sawModal = wait.isVisible() && wait.isModal() && wait.CloseTimerActive();
            QTest::keyClick(&wait, Qt::Key_Escape);
        });
        QElapsedTimer clock;
        clock.start();
        wait.RunModalFor(&main);
        QVERIFY(sawModal);
        QVERIFY(clock.elapsed() >= 140);
        QVERIFY(!wait.isVisible());
        QVERIFY(!wait.CloseTimerActive());
        QCOMPARE(wait.pos(), QPoint(100, 62));
    }

    // A question opens with the wait window down, which is back afterwards
    // where it was; with no wait window up nothing is shown.
    void MessagesOpenWithTheWaitWindowDown() {
        QWidget main;
        main.setGeometry(101, 57, 665, 561);
        WaitWindow wait;
        ScriptedPrompter script;
        WaitAsidePrompter prompts(script);
        WaitWindowShow shown(wait, main);
        prompts.Attach(&shown);
        QList<bool> upAtCall;
        script.OnCall = [&](const ScriptedPrompter::Call&) { upAtCall << wait.isVisible(); };
        prompts.Info("i");
        wait.ShowOver(&main);
        const QPoint at = wait.pos();
        script.Then("yes");
        QVERIFY(prompts.Confirm("c"));
        QVERIFY(wait.isVisible() && wait.pos() == at);
        QCOMPARE(upAtCall, QList<bool>({false, false}));
    }

    // The text moves while the window is active and stops when another
    // window takes over.
    void ScrollsOnlyWhileActive() {
        WaitWindow wait;
        WaitTicker* ticker = wait.Ticker();
        QCOMPARE(ticker->StepInterval(), 10);
        ticker->SetStepInterval(1);
        wait.ShowOver(nullptr);
        wait.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&wait));
        QTRY_VERIFY(ticker->ScrollOffset() > 2);

        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTRY_VERIFY(!ticker->IsScrolling());
        const int stopped = ticker->ScrollOffset();
        QTest::qWait(20);
        QCOMPARE(ticker->ScrollOffset(), stopped);

        // The offset loops round after one text width.
        for (int i = ticker->ScrollOffset(); i < ticker->CycleWidth(); ++i)
            ticker->Step();
        QCOMPARE(ticker->ScrollOffset(), 0);
    }
};

QTEST_MAIN(WaitWindowTest)
#include "WaitWindowTest.moc"
