// The runner on its own, without a main window: a wait window and a tick that
// only log, the window's prompter wrapper around the scripted one. Every step
// goes into one log with what held at that moment: [L] link work ran, [W]
// the wait window was up.
#include "ui/main/LinkCommandRunner.h"
#include "card/CardSession.h"
#include "card/CardVolume.h"
#include "card/LoadVolume.h"
#include "card/SameCard.h"
#include "support/TestFiles.h"
#include "ui/main/WaitAsidePrompter.h"
#include "ui/main/WaitShow.h"
#include "ui/support/ScriptedPrompter.h"

#include <QtTest>
#include <fstream>

namespace {

class RunnerRig : public WaitShow, public TickHold {
  public:
    RunnerRig() : prompts(script), runner(session, prompts) {
        prompts.Attach(this);
        runner.Attach(this, this, [this](CardPlace view) {
            Note("refresh " + QString::number(PlaceIndex(view)));
            if (onRefresh)
                onRefresh(view);
        });
        script.OnCall = [this](const ScriptedPrompter::Call& call) {
            Note(call.kind + " " + call.text);
        };
    }

    void Note(const QString& what) {
        QString held;
        if (session.LinkBusy())
            held += 'L';
        if (up_)
            held += 'W';
        log << what + " [" + held + "]";
    }
    // The log since the last call.
    QStringList Take() { return std::exchange(log, {}); }

    void Show() override {
        up_ = true;
        log << "show";
    }
    void Hide() override {
        up_ = false;
        log << "hide";
    }
    bool Up() const override { return up_; }
    void RunUntilItCloses() override { log << "modal"; }
    void StopTick() override { log << "stop tick"; }
    void RearmTick() override { log << "rearm tick"; }

    CardSession session;
    ScriptedPrompter script;
    WaitAsidePrompter prompts;
    LinkCommandRunner runner;
    QStringList log;
    std::function<void(CardPlace)> onRefresh;

  private:
    bool up_ = false;
};

} // namespace

class LinkCommandRunnerTest : public QObject {
    Q_OBJECT
  private slots:
    // The question with the tick held and no link work, then the wait
    // window, the check and the work as link work, each view named read
    // again once in the order named, the wait window down before the
    // engine's reports, the tick last.
    void RunsItsStepsInOrder() {
        RunnerRig rig;
        rig.script.Then("yes");
        CardRequest request{.holdTick = true, .wait = true};
        request.ask = [&] { return rig.prompts.Confirm("Delete?"); };
        request.sameCard = [&] {
            rig.Note("same card");
            return true;
        };
        request.work = [&](CardJob& job) {
            rig.Note("work");
            job.Refresh(CardPlace::Slot2);
            job.Refresh(CardPlace::Image);
            job.Refresh(CardPlace::Slot2);
            job.Warn("could not");
            job.Inform("done");
        };
        QCOMPARE(rig.runner.Run(request), RunOutcome::Done);
        QCOMPARE(rig.Take(),
                 QStringList({"stop tick", "confirm Delete? []", "show", "same card [LW]",
                              "work [LW]", "refresh 1 [LW]", "refresh 2 [LW]", "hide",
                              "warning could not []", "info done []", "rearm tick"}));

        // Work that took neither link work nor the wait window still
        // refreshes under both.
        QCOMPARE(rig.runner.Run({.linkWork = false,
                                 .work =
                                     [&](CardJob& job) {
                                         rig.Note("work");
                                         job.Refresh(CardPlace::Slot1);
                                     }}),
                 RunOutcome::Done);
        QCOMPARE(rig.Take(), QStringList({"work []", "show", "refresh 0 [LW]", "hide"}));
    }

    // Every way out of a request takes the wait window down and starts the
    // tick again; a question answered no or a dialog cancelled opens no
    // link work and no wait window, and a card that is not the one listed
    // runs no work.
    void EveryWayOutRearmsTheTick() {
        FileDialogSetup dialog;
        dialog.filter = "DCM file|*.DCM";
        struct Case {
            const char* name;
            QString answer;
            bool dialog;
            bool sameCard;
            RunOutcome outcome;
            QStringList log;
        };
        const QList<Case> cases = {
            {"no",
             "no",
             false,
             true,
             RunOutcome::Declined,
             {"stop tick", "confirm Replace? []", "rearm tick"}},
            {"cancelled",
             "",
             true,
             true,
             RunOutcome::Declined,
             {"stop tick", "open DCM file|*.DCM []", "rearm tick"}},
            {"not the same card",
             "yes",
             false,
             false,
             RunOutcome::NotSameCard,
             {"stop tick", "confirm Replace? []", "show", "same card [LW]", "hide", "rearm tick"}},
            {"done",
             "yes",
             false,
             true,
             RunOutcome::Done,
             {"stop tick", "confirm Replace? []", "show", "same card [LW]", "work [LW]", "hide",
              "rearm tick"}},
        };
        for (const Case& c : cases) {
            RunnerRig rig;
            rig.script.Then(c.answer);
            CardRequest request{.holdTick = true, .wait = true};
            request.ask = [&] {
                return c.dialog ? !rig.prompts.OpenFile(dialog).isEmpty()
                                : rig.prompts.Confirm("Replace?");
            };
            request.sameCard = [&] {
                rig.Note("same card");
                return c.sameCard;
            };
            request.work = [&](CardJob&) { rig.Note("work"); };
            QCOMPARE(rig.runner.Run(request), c.outcome);
            QVERIFY2(rig.Take() == c.log, c.name);
            QVERIFY(!rig.Up() && !rig.runner.Busy());
        }
    }

    // Nothing starts inside link work, a refresh included, and a refused
    // request asks nothing and holds nothing. Work that only shows a window
    // lets requests of its own run; the tick stays held until the outer
    // one ends.
    void RefusesWhileLinkWorkRuns() {
        RunnerRig rig;
        bool asked = false;
        const CardRequest inner{.ask = [&] { return asked = true; },
                                .holdTick = true,
                                .wait = true,
                                .work = [&](CardJob&) { rig.Note("inner work"); }};
        rig.runner.Run({.work = [&](CardJob&) {
            QVERIFY(rig.runner.Busy());
            QCOMPARE(rig.runner.Run(inner), RunOutcome::Busy);
        }});
        rig.onRefresh = [&](CardPlace) { QCOMPARE(rig.runner.Run(inner), RunOutcome::Busy); };
        rig.runner.Run(
            {.linkWork = false, .work = [](CardJob& job) { job.Refresh(CardPlace::Image); }});
        rig.onRefresh = nullptr;
        QVERIFY(!asked);
        QCOMPARE(rig.Take(), QStringList({"show", "refresh 2 [LW]", "hide"}));

        rig.runner.Run({.holdTick = true, .linkWork = false, .work = [&](CardJob&) {
                            QVERIFY(!rig.runner.Busy());
                            QCOMPARE(rig.runner.Run(inner), RunOutcome::Done);
                        }});
        QVERIFY(asked);
        QCOMPARE(rig.Take(),
                 QStringList({"stop tick", "show", "inner work [LW]", "hide", "rearm tick"}));
    }

    // A message during the work opens with the wait window down and puts it
    // back; one with the wait window down leaves it down. Work that puts the
    // wait window up itself finds it down again at the end.
    void MessagesOpenWithTheWaitWindowDown() {
        RunnerRig rig;
        rig.script.Then("yes");
        rig.runner.Run({.wait = true, .work = [&](CardJob&) {
                            rig.prompts.Confirm("Overwrite?");
                            rig.Note("work");
                        }});
        QCOMPARE(rig.Take(), QStringList({"show", "hide", "confirm Overwrite? [L]", "show",
                                          "work [LW]", "hide"}));

        rig.runner.Run({.work = [&](CardJob& job) {
            rig.prompts.Info("picture");
            job.WaitWindowUp(true);
            rig.Note("import");
            rig.prompts.Warning("too big");
        }});
        QCOMPARE(rig.Take(), QStringList({"info picture [L]", "show", "import [LW]", "hide",
                                          "warning too big [L]", "show", "hide"}));
    }

    // The same-card check reads the card again: an image another program
    // changed since it was listed runs no work and is left as it is.
    void SameCardRefusesAChangedImage() {
        porvane_test::TempDir dir;
        RunnerRig rig;
        CardVolume& image = rig.session.Volume(CardPlace::Image);
        image.SetPlace(CardPlace::Image);
        const std::string path = dir.File("card.dcm");
        QVERIFY(image.OpenImage(path));
        QVERIFY(image.FormatVolume(200));
        QVERIFY(LoadVolume(image));
        bool ran = false;
        const CardRequest request{.wait = true,
                                  .sameCard = [&] { return ReadyToWrite(image); },
                                  .work = [&](CardJob&) { ran = true; }};
        QCOMPARE(rig.runner.Run(request), RunOutcome::Done);
        QVERIFY(ran);

        {
            // The first directory entry, written by another program.
            std::fstream other(path, std::ios::binary | std::ios::in | std::ios::out);
            other.seekp(253 * CardVolume::kBlockSize);
            other.write("\x33\x00\x10\x00", 4);
        }
        const std::vector<uint8_t> changed = porvane_test::ReadFileBytes(path);
        ran = false;
        QCOMPARE(rig.runner.Run(request), RunOutcome::NotSameCard);
        QVERIFY(!ran && !rig.Up());
        QVERIFY(porvane_test::ReadFileBytes(path) == changed);
    }
};

QTEST_MAIN(LinkCommandRunnerTest)
#include "LinkCommandRunnerTest.moc"
