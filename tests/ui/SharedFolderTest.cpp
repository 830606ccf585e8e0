// The window started in a folder another user may write to (a group folder,
// a 0777 folder without the sticky bit): that user's links under the names of
// the side files, planted once or put back as fast as the window removes them,
// never make the window write the victim's files. Each refused file is named.
// The other user's steps need root; without it they run as the same user and
// the checks that depend on them are skipped.
#include "card/DemoCards.h"
#include "tools/disasm/qt/CodeWindow.h"
#include "tools/hexedit/qt/HexView.h"
#include "tools/hexedit/qt/MiniEditorWindow.h"
#include "tools/icon/BmpTestFiles.h"
#include "tools/icon/qt/LcdColourDialog.h"
#include "ui/commands/SaverCommands.h"
#include "ui/main/CardMenus.h"
#include "ui/support/MainWindowRig.h"
#include "ui/tools/ToolCommands.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/DetailPanel.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;
using porvane_test::ReadFileText;

namespace {

constexpr char kVictimText[] = "export PATH=$HOME/bin:$PATH\n";

// The rig's folder shared, and the victim's own file in a folder of its own.
struct SharedRig : MainWindowRig {
    SharedRig() {
        porvane_test::ShareFolder(dir.Path());
        std::ofstream(victim) << kVictimText;
    }
    // One step as the other user; false when it could not run as one.
    bool AsOther(const std::function<void()>& step) {
        return porvane_test::RunAsNobody([&] {
                   step();
                   return 0;
               }) == 0;
    }
    bool Plant(const std::string& name, const std::string& to) {
        return AsOther([&] { (void)::symlink(to.c_str(), Path(name).c_str()); });
    }
    bool VictimUntouched() const {
        return ReadFileText(victim) == kVictimText && !fs::exists(home.File("planted"));
    }
    porvane_test::TempDir home;
    std::string victim = home.File("bashrc");
};

// Plays the user once a dialog is shown modally, then closes it.
class WhileShown : public QObject {
  public:
    WhileShown(QDialog& dialog, std::function<void()> play)
        : dialog_(dialog), play_(std::move(play)) {
        dialog.installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show)
            QTimer::singleShot(0, this, [this] {
                play_();
                if (dialog_.isVisible())
                    dialog_.done(QDialog::Rejected);
            });
        return false;
    }

  private:
    QDialog& dialog_;
    std::function<void()> play_;
};

// List position of the demo game on slot 1.
int GamePosition(MainWindow& w) {
    const CardVolume& v = w.Session().Volume(View::Slot1);
    for (int k = 0; k < v.ListedCount; ++k)
        if (v.Entries[v.ListMap[k]].TrimmedName() == "PORVANE_GAME")
            return k;
    return -1;
}

bool AllName(const QStringList& messages, const QString& name) {
    for (const QString& text : messages)
        if (!text.contains(name))
            return false;
    return true;
}

} // namespace

class SharedFolderTest : public QObject {
    Q_OBJECT
  private slots:
    // The frame picture "Bmp.bmp" with the other user putting the link back
    // as fast as the window removes it, four refreshes; "NA.bmp" a dangling
    // link planted before the start.
    void IconPicturesNeverWriteThroughAnotherUsersLinks() {
        if (!porvane_test::CanActAsAnotherUser())
            QSKIP("needs root for a second user");
        SharedRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 200,
                      {{0, "FRAMES", 3, 3}, {1, "MORE", 2, 3}, {2, "NOICON", 1, 0}});
        fs::remove(rig.Path("NA.bmp"));
        QVERIFY(rig.Plant("NA.bmp", rig.home.File("planted")));
        MainWindow& w = rig.OpenTwoSlot();
        QVERIFY(rig.VictimUntouched());
        const std::string frame = rig.Path("Bmp.bmp");
        const std::string victim = rig.victim;
        {
            porvane_test::NobodyLoop other([&] { (void)::symlink(victim.c_str(), frame.c_str()); });
            for (int run = 0; run < 4; ++run) {
                w.RefreshCommand(View::Slot1);
                QVERIFY(rig.VictimUntouched());
            }
            QVERIFY(other.Stop());
        }
        for (const QString& text : rig.prompter.Messages())
            QVERIFY2(text.contains("Bmp.bmp") || text.contains("NA.bmp"), qPrintable(text));
        // The last link planted stays and is refused; without it the refresh
        // reaches the saver without icons.
        fs::remove(frame);
        rig.prompter.Clear();
        w.RefreshCommand(View::Slot1);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Cannot open file \"" + QString::fromStdString(rig.Path("NA.bmp")) +
                              "\". It is a symbolic link, which is not followed"}));
        QVERIFY(rig.VictimUntouched());
    }

    // The work file "~ico._": a link there stops the export; one put there
    // while the hex editor or the code window is open is not written
    // through, and nothing of the victim's reaches the card. The colour
    // dialog's "~ico2.bmp" likewise.
    void WorkFileAndPreviewNeverWriteThroughAnotherUsersLinks() {
        if (!porvane_test::CanActAsAnotherUser())
            QSKIP("needs root for a second user");
        SharedRig rig;
        QVERIFY(EnsureDemoCards(rig.dir.Path().string()));
        MainWindow& w = rig.OpenTwoSlot();
        ToolCommands* tools = AttachToolCommands(w);
        w.RefreshCommand(View::Slot1);
        w.RefreshCommand(View::Slot2);
        const std::string card = rig.Path("slot1.dcm");
        const std::string before = ReadFileText(card);
        rig.Select(View::Slot1, {GamePosition(w)});
        const QString work = tools->WorkFile();

        QVERIFY(rig.Plant("~ico._", rig.victim));
        w.Detail().EditButton()->click();
        QVERIFY(rig.VictimUntouched());
        QCOMPARE(rig.prompter.Messages().size(), 1);
        QVERIFY(rig.prompter.Messages()[0].endsWith("could not be copied to " + work + "."));

        fs::remove(work.toStdString());
        MiniEditorWindow& editor = tools->HexEditor();
        WhileShown edit(editor, [&] {
            fs::remove(work.toStdString());
            rig.Plant("~ico._", rig.victim);
            QTest::keyClicks(editor.Grid(), "ab");
            editor.Menus().save->trigger();
        });
        rig.prompter.Clear();
        w.Detail().EditButton()->click();
        QVERIFY(rig.VictimUntouched());
        QVERIFY(ReadFileText(card) == before);
        QCOMPARE(rig.prompter.Messages().size(), 2);
        QVERIFY(AllName(rig.prompter.Messages(), work));

        fs::remove(work.toStdString());
        CodeWindow& code = tools->Code();
        rig.Select(View::Slot1, {GamePosition(w)});
        WhileShown patch(code, [&] {
            fs::remove(work.toStdString());
            rig.Plant("~ico._", rig.victim);
            code.Listing()->setCurrentRow(0);
            code.ShowSelectedLine();
            code.ByteField(0)->setText("12");
            code.PatchSelectedLine();
            code.ExitAndSave();
        });
        w.Detail().DisasmButton()->click();
        QVERIFY(rig.VictimUntouched());
        QVERIFY(ReadFileText(card) == before);

        rig.prompter.Clear();
        fs::remove(work.toStdString());
        QVERIFY(rig.Plant("~ico2.bmp", rig.victim));
        icontest::BmpLayout picture;
        for (int i = 0; i < 256; ++i)
            picture.palette.push_back({static_cast<uint8_t>(i), 40, 90});
        picture.index = [](int y, int x) { return (y + x) % 256; };
        icontest::WriteBmp(rig.home.File("logo.bmp"), picture);
        rig.prompter.Then(QString::fromStdString(rig.home.File("logo.bmp")));
        WhileShown ok(tools->Colours(), [&] { tools->Colours().OkButton()->click(); });
        w.Menus().slot2.importBmp->trigger();
        QVERIFY(rig.VictimUntouched());
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Cannot write " + QString::fromStdString(rig.Path("~ico2.bmp")) +
                              ". It is a symbolic link, which is not followed"}));
    }

    // "RUD2.cfg" and the template "dpnw.dc": a link is not replaced nor
    // written through, and the message names the file.
    void SettingsAndTemplateNeverWriteThroughAnotherUsersLinks() {
        if (!porvane_test::CanActAsAnotherUser())
            QSKIP("needs root for a second user");
        SharedRig rig;
        MainWindow& w = rig.OpenTwoSlot();
        AttachSaverCommands(w);
        fs::remove(rig.Path("RUD2.cfg"));
        fs::remove(rig.Path("dpnw.dc"));
        QVERIFY(rig.Plant("RUD2.cfg", rig.victim));
        QVERIFY(rig.Plant("dpnw.dc", rig.home.File("planted")));
        w.RunSettings();
        rig.prompter.Then(QString::fromStdString(rig.Path("new.dcm")));
        w.Menus().file.newDcm->trigger();
        QVERIFY(rig.VictimUntouched());
        const QStringList messages = rig.prompter.Messages();
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[0].contains("RUD2.cfg: cannot write") &&
                     messages[0].endsWith("It is a symbolic link, which is not followed"),
                 qPrintable(messages[0]));
        QVERIFY2(messages[1].contains("dpnw.dc: It is a symbolic link"), qPrintable(messages[1]));
        QVERIFY(!fs::exists(rig.Path("new.dcm")));
    }
};

QTEST_MAIN(SharedFolderTest)
#include "SharedFolderTest.moc"
