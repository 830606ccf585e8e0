// The window started in a folder another user may write to (0777, no sticky
// bit): that user's links under the side files' names never make it write
// the victim's files, and each refused file is named. Needs root for the
// second user. (scripts/check-two-users.sh runs the icon pictures' case,
// "Bmp.bmp" put back as fast as it is removed, with the real program.)
#include "card/DemoCards.h"
#include "tools/hexedit/qt/HexView.h"
#include "tools/hexedit/qt/MiniEditorWindow.h"
#include "tools/icon/BmpTestFiles.h"
#include "tools/icon/qt/LcdColourDialog.h"
#include "ui/commands/SaverCommands.h"
#include "ui/main/CardMenus.h"
#include "ui/support/MainWindowRig.h"
#include "ui/support/WhileShown.h"
#include "ui/tools/ToolCommands.h"
#include "ui/widgets/DetailPanel.h"

#include <QAction>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr char kVictimText[] = "export PATH=$HOME/bin:$PATH\n";
const QString kRefused = "It is a symbolic link, which is not followed";

struct SharedRig : MainWindowRig {
    SharedRig() {
        porvane_test::ShareFolder(dir.Path());
        std::ofstream(victim) << kVictimText;
    }
    bool Plant(const std::string& name, const std::string& to) {
        return porvane_test::RunAsNobody(
                   [&] { return ::symlink(to.c_str(), Path(name).c_str()); }) == 0;
    }
    bool VictimUntouched() const {
        return porvane_test::ReadFileText(victim) == kVictimText &&
               !fs::exists(home.File("planted"));
    }
    QString Q(const std::string& name) const { return QString::fromStdString(Path(name)); }
    porvane_test::TempDir home;
    std::string victim = home.File("bashrc");
};

} // namespace

class SharedFolderTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        if (!porvane_test::CanActAsAnotherUser())
            QSKIP("needs root for a second user");
    }

    // The work file "~ico._" (its export, and the hex editor's save with a
    // link put there while it is open), the LCD preview "~ico2.bmp", "RUD2.cfg"
    // and the template "dpnw.dc": nothing written through, the card as it
    // was, every refusal naming its file.
    void SideFilesNeverWriteThroughAnotherUsersLinks() {
        SharedRig rig;
        QVERIFY(EnsureDemoCards(rig.dir.Path().string()));
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        ToolCommands* tools = &ToolsOf(w);
        p.RefreshCommand(CardPlace::Slot1);
        p.RefreshCommand(CardPlace::Slot2);
        const std::string card = porvane_test::ReadFileText(rig.Path("slot1.dcm"));
        rig.Select(CardPlace::Slot1, {0});
        QVERIFY(rig.Plant("~ico._", rig.victim));
        p.Detail().EditButton()->click();
        fs::remove(rig.Path("~ico._"));
        MiniEditorWindow& editor = tools->HexEditor();
        WhileShown edit(editor, [&] {
            fs::remove(rig.Path("~ico._"));
            rig.Plant("~ico._", rig.victim);
            QTest::keyClicks(editor.Grid(), "ab");
            editor.Menus().save->trigger();
        });
        p.Detail().EditButton()->click();
        QVERIFY(porvane_test::ReadFileText(rig.Path("slot1.dcm")) == card);
        QCOMPARE(rig.prompter.Messages().size(), 3);
        for (const QString& text : rig.prompter.Messages())
            QVERIFY2(text.contains(rig.Q("~ico._")), qPrintable(text));

        rig.prompter.Clear();
        fs::remove(rig.Path("~ico._"));
        QVERIFY(rig.Plant("~ico2.bmp", rig.victim));
        icontest::BmpLayout picture;
        picture.palette.assign(256, {40, 90, 200});
        icontest::WriteBmp(rig.home.File("logo.bmp"), picture);
        rig.prompter.Then(QString::fromStdString(rig.home.File("logo.bmp")));
        WhileShown ok(tools->Colours(), [&] { tools->Colours().OkButton()->click(); });
        p.Menus().Item(CardPlace::Slot2, CommandId::ImportBmp)->trigger();

        fs::remove(rig.Path("RUD2.cfg"));
        fs::remove(rig.Path("dpnw.dc"));
        QVERIFY(rig.Plant("RUD2.cfg", rig.victim));
        QVERIFY(rig.Plant("dpnw.dc", rig.home.File("planted")));
        w.findChild<QPushButton*>("SetupButton")->click();
        rig.prompter.Then(rig.Q("new.dcm"));
        p.Menus().Item(CardPlace::Image, CommandId::NewDcm)->trigger();
        QVERIFY(rig.VictimUntouched());
        const QStringList messages = rig.prompter.Messages();
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages[0], "Cannot write " + rig.Q("~ico2.bmp") + ". " + kRefused);
        QVERIFY2(messages[1].contains("RUD2.cfg: cannot write") && messages[1].endsWith(kRefused),
                 qPrintable(messages[1]));
        QCOMPARE(messages[2], rig.Q("dpnw.dc") + ": " + kRefused);
        QVERIFY(!fs::exists(rig.Path("new.dcm")));
    }
};

QTEST_MAIN(SharedFolderTest)
#include "SharedFolderTest.moc"
