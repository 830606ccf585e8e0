#include "ui/dialogs/SettingsDialog.h"
#include "settings/Settings.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

#include <functional>

namespace {

template <typename T> T* Find(SettingsDialog& dialog, const char* name) {
    T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr)
        qFatal("no control %s", name);
    return widget;
}

// Runs the dialog on settings; `inside` works the controls while it is up
// and ends it (OK, EXIT, close box...).
bool RunWith(SettingsDialog& dialog, Settings& settings, const std::function<void()>& inside) {
    QTimer::singleShot(0, &dialog, inside);
    return dialog.Run(settings);
}

void ClickOk(SettingsDialog& dialog) {
    Find<QAbstractButton>(dialog, "okButton")->click();
}
void ClickExit(SettingsDialog& dialog) {
    Find<QAbstractButton>(dialog, "exitButton")->click();
}

bool SameSettings(const Settings& a, const Settings& b) {
    return a.BasePort == b.BasePort && a.ShortDelay == b.ShortDelay && a.LongDelay == b.LongDelay &&
           a.LongestDelay == b.LongestDelay && a.BarMax == b.BarMax && a.DragMode == b.DragMode &&
           a.AutoRefresh == b.AutoRefresh && a.VerifyTransfers == b.VerifyTransfers;
}

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT
  private slots:
    // The first opening with the defaults moves the bar from 0 to 4608, which
    // derives the other two counts; OK hands them back.
    void FirstOpenDerivesFromBar() {
        SettingsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Option"));
        QVERIFY(!dialog.ActivateChecked());
        Settings settings;
        QString scale, mark, edits;
        bool lpt1 = false, copy = false;
        const bool accepted = RunWith(dialog, settings, [&] {
            scale = Find<QLabel>(dialog, "scaleMiddleLabel")->text() + " " +
                    Find<QLabel>(dialog, "scaleEndLabel")->text();
            mark = Find<QLabel>(dialog, "speedMarkLabel")->text();
            for (const char* name :
                 {"shortDelayEdit", "longDelayEdit", "longestDelayEdit", "barMaxEdit"})
                edits += Find<QLineEdit>(dialog, name)->text() + " ";
            lpt1 = Find<QRadioButton>(dialog, "lpt1Radio")->isChecked();
            copy = Find<QRadioButton>(dialog, "copyRadio")->isChecked();
            ClickOk(dialog);
        });
        QVERIFY(accepted);
        QCOMPARE(scale, QString("1200 2400"));
        QCOMPARE(mark, QString("Speed mark: 1200"));
        QCOMPARE(edits, QString("00000120 00001200 00001B00 00002400 "));
        QVERIFY(lpt1 && copy);
        Settings expected;
        expected.ShortDelay = 288;
        expected.LongestDelay = 6912;
        QVERIFY(SameSettings(settings, expected));
        QVERIFY(dialog.ActivateChecked());
    }

    // A "Bar Max" below the bar pulls the bar back, and the counts follow it
    // as for any move of the bar: bar, speed mark and saved counts agree.
    void LowerBarMaxRederivesTheCounts() {
        SettingsDialog dialog;
        Settings settings;
        QString mark;
        QVERIFY(RunWith(dialog, settings, [&] {
            Find<QLineEdit>(dialog, "barMaxEdit")->setText("00000800");
            mark = Find<QLabel>(dialog, "speedMarkLabel")->text();
            ClickOk(dialog);
        }));
        QCOMPARE(mark, QString("Speed mark: 0800"));
        QVERIFY(settings.BarMax == 0x800 && settings.ShortDelay == 0x80 &&
                settings.LongDelay == 0x800 && settings.LongestDelay == 0xC00);
    }

    // Every hexadecimal edit puts its replacement in at once when its text
    // is not a number that reads back the same; nothing reaches the settings
    // on EXIT.
    void InvalidEntriesAreReplaced() {
        SettingsDialog dialog;
        Settings settings;
        const Settings before = settings;
        QStringList texts;
        QString custom;
        const bool accepted = RunWith(dialog, settings, [&] {
            auto* shortEdit = Find<QLineEdit>(dialog, "shortDelayEdit");
            shortEdit->clear();
            texts << shortEdit->text();
            auto* longEdit = Find<QLineEdit>(dialog, "longDelayEdit");
            longEdit->setText("12G");
            texts << longEdit->text();
            auto* longestEdit = Find<QLineEdit>(dialog, "longestDelayEdit");
            longestEdit->setText("0FFFFG");
            texts << longestEdit->text();
            auto* maxEdit = Find<QLineEdit>(dialog, "barMaxEdit");
            maxEdit->setText(" 1");
            texts << maxEdit->text();
            auto* baseEdit = Find<QLineEdit>(dialog, "baseEdit");
            baseEdit->clear();
            texts << baseEdit->text();
            custom = Find<QRadioButton>(dialog, "customPortRadio")->text();
            // FFFF reads back as itself and stays.
            shortEdit->setText("FFFF");
            texts << shortEdit->text();
            const Settings& work = dialog.WorkingCopy();
            texts << QString::number(work.ShortDelay) + " " + QString::number(work.LongDelay) +
                         " " + QString::number(work.LongestDelay) + " " +
                         QString::number(work.BasePort);
            ClickExit(dialog);
        });
        QVERIFY(!accepted);
        QCOMPARE(texts, QStringList({"00000014", "00000100", "00000600", "00002400", "378", "FFFF",
                                     "65535 256 1536 888"}));
        QCOMPARE(custom, QString("I/O 378"));
        QVERIFY(SameSettings(settings, before));
    }

    // An address typed in lower case shows in upper case, picks the custom
    // port and is kept by OK; the next opening shows it again.
    void CustomPortTyped() {
        SettingsDialog dialog;
        Settings settings;
        QString text, caption;
        QVERIFY(RunWith(dialog, settings, [&] {
            auto* baseEdit = Find<QLineEdit>(dialog, "baseEdit");
            baseEdit->setFocus();
            baseEdit->selectAll();
            QTest::keyClicks(baseEdit, "3bc");
            text = baseEdit->text();
            caption = Find<QRadioButton>(dialog, "customPortRadio")->text();
            ClickOk(dialog);
        }));
        QCOMPARE(text, QString("3BC"));
        QCOMPARE(caption, QString("I/O 3BC"));
        QCOMPARE(settings.BasePort, uint16_t(956));

        bool customChecked = false;
        RunWith(dialog, settings, [&] {
            auto* radio = Find<QRadioButton>(dialog, "customPortRadio");
            customChecked = radio->isChecked();
            caption = radio->text();
            ClickExit(dialog);
        });
        QVERIFY(customChecked);
        QCOMPARE(caption, QString("I/O 3BC"));

        settings.BasePort = 632;
        bool lpt2 = false;
        RunWith(dialog, settings, [&] {
            lpt2 = Find<QRadioButton>(dialog, "lpt2Radio")->isChecked();
            caption = Find<QRadioButton>(dialog, "customPortRadio")->text();
            ClickExit(dialog);
        });
        QVERIFY(lpt2);
        QCOMPARE(caption, QString("Custom"));
    }

    // After an OK, EXIT, the close box and Escape all leave the settings as
    // they were, whatever was moved in the meantime.
    void OnlyOkChangesAnything() {
        SettingsDialog dialog;
        Settings settings;
        QVERIFY(RunWith(dialog, settings, [&] {
            Find<QSlider>(dialog, "delayBar")->setValue(1024);
            ClickOk(dialog);
        }));
        QCOMPARE(settings.LongDelay, 1024);
        QCOMPARE(settings.ShortDelay, 64);
        QCOMPARE(settings.LongestDelay, 1536);
        const Settings afterOk = settings;

        const std::function<void()> endings[] = {
            [&] { ClickExit(dialog); },
            [&] { dialog.close(); },
            [&] { QTest::keyClick(&dialog, Qt::Key_Escape); },
        };
        for (const auto& end : endings) {
            const bool accepted = RunWith(dialog, settings, [&] {
                Find<QSlider>(dialog, "delayBar")->setValue(2048);
                Find<QRadioButton>(dialog, "moveRadio")->setChecked(true);
                Find<QCheckBox>(dialog, "verifyBox")->setChecked(false);
                end();
            });
            QVERIFY(!accepted);
            QVERIFY(SameSettings(settings, afterOk));
        }
    }

    // The modes and the verify box reach the settings through OK; every
    // control can be told apart by a screen reader.
    void ModesAndVerifyBox() {
        SettingsDialog dialog;
        Settings settings;
        QString hint;
        QVERIFY(RunWith(dialog, settings, [&] {
            auto* verify = Find<QCheckBox>(dialog, "verifyBox");
            QVERIFY(verify->isChecked());
            hint = verify->toolTip();
            verify->click();
            Find<QRadioButton>(dialog, "moveRadio")->click();
            Find<QCheckBox>(dialog, "autoRefreshBox")->click();
            Find<QRadioButton>(dialog, "lpt2Radio")->click();
            ClickOk(dialog);
        }));
        QCOMPARE(settings.VerifyTransfers, uint8_t(0));
        QCOMPARE(settings.DragMode, uint8_t(1));
        QCOMPARE(settings.AutoRefresh, uint8_t(0));
        QCOMPARE(settings.BasePort, uint16_t(632));
        QVERIFY(!dialog.ActivateChecked());
        QVERIFY(hint.contains("read twice") && hint.contains("read back"));

        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                qobject_cast<QSlider*>(w))
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
    }

    // Ctrl+Alt+E opens the delay editor; counts typed there survive its OK
    // although the bar moves to the new long count. Ctrl+Alt+T toggles the
    // derived counts.
    void HiddenDelayEditorAndTestLabels() {
        SettingsDialog dialog;
        Settings settings;
        bool editorShown = false, editorHidden = false, labelsShown = false, labelsHidden = false;
        int bar = 0;
        QVERIFY(RunWith(dialog, settings, [&] {
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            auto* editor = Find<QWidget>(dialog, "delayEditor");
            QTest::keyClick(&dialog, Qt::Key_E, Qt::ControlModifier | Qt::AltModifier);
            editorShown = editor->isVisible();
            Find<QLineEdit>(dialog, "shortDelayEdit")->setText("00000010");
            Find<QLineEdit>(dialog, "longDelayEdit")->setText("00000800");
            Find<QLineEdit>(dialog, "longestDelayEdit")->setText("00000C00");
            Find<QAbstractButton>(dialog, "delayEditorOkButton")->click();
            editorHidden = !editor->isVisible();
            bar = Find<QSlider>(dialog, "delayBar")->value();

            auto* label = Find<QLabel>(dialog, "shortCountLabel");
            QTest::keyClick(&dialog, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
            labelsShown =
                label->isVisible() && Find<QLabel>(dialog, "longestCountLabel")->isVisible();
            QTest::keyClick(&dialog, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
            labelsHidden = !label->isVisible();
            ClickOk(dialog);
        }));
        QVERIFY(editorShown && editorHidden);
        QVERIFY(labelsShown && labelsHidden);
        QCOMPARE(bar, 0x800);
        QCOMPARE(settings.ShortDelay, 0x10);
        QCOMPARE(settings.LongDelay, 0x800);
        QCOMPARE(settings.LongestDelay, 0xC00);
    }

    // "Find speed" searches with the working copy and puts what it found on
    // the bar, the old and new counts beside it, for OK to keep; a search
    // that found nothing says why and moves nothing.
    void FindSpeedPutsTheResultOnTheBar() {
        SettingsDialog dialog;
        auto* find = Find<QAbstractButton>(dialog, "findSpeedButton");
        QVERIFY(!find->isEnabled()); // nothing to search with
        SpeedResult answer;
        answer.outcome = SpeedOutcome::Found;
        answer.bar = 0x800;
        answer.found = DelayCounts::FromBar(0x800);
        answer.beforeBlockNs = 80000000;
        answer.foundBlockNs = 40000000;
        uint16_t port = 0;
        dialog.SetSpeedFinder([&](const Settings& working) {
            port = working.BasePort;
            answer.before = DelayCounts::Of(working);
            return answer;
        });
        for (SpeedOutcome outcome : {SpeedOutcome::Found, SpeedOutcome::NoCard}) {
            answer.outcome = outcome;
            Settings settings;
            settings.BasePort = 632;
            QString shown;
            QVERIFY(RunWith(dialog, settings, [&] {
                QTest::mouseClick(find, Qt::LeftButton);
                shown = Find<QLabel>(dialog, "speedResultLabel")->text();
                ClickOk(dialog);
            }));
            QCOMPARE(port, uint16_t(632));
            const bool found = outcome == SpeedOutcome::Found;
            QCOMPARE(shown.startsWith("There is no card in the box"), !found);
            if (found)
                QCOMPARE(shown, QString("Old: short 0120, long 1200, longest 1B00 (a 20-saver "
                                        "refresh about 7.60 s)\nNew: short 0080, long 0800, "
                                        "longest 0C00 (a 20-saver refresh about 3.80 s)"));
            QCOMPARE(settings.LongDelay, found ? 0x800 : 4608);
            QCOMPARE(settings.LongestDelay, found ? 0xC00 : 6912);
        }
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"
