// The tool commands of the main window: "DisAsm." and "Edit..." with their
// round trip through the work file, and the caption-logo import.
#include "ui/tools/ToolCommands.h"

#include "card/DemoCards.h"
#include "card/IconBmp.h"
#include "card/SameCard.h"
#include "link/LinkPort.h"
#include "link/emu/BoxDevice.h"
#include "tools/disasm/qt/CodeWindow.h"
#include "tools/hexedit/qt/HexView.h"
#include "tools/hexedit/qt/MiniEditorWindow.h"
#include "tools/icon/BmpTestFiles.h"
#include "tools/icon/LogoPicture.h"
#include "tools/icon/qt/LcdColourDialog.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/CardMenus.h"
#include "ui/main/CardPresenter.h"
#include "ui/support/MainWindowRig.h"
#include "ui/support/WhileShown.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/DetailPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

using porvane_test::ReadFileText;

// Where byte i of a block in natural order stands in a card file.
size_t CardOffset(int block, int i) {
    return static_cast<size_t>(block) * 512 + static_cast<size_t>((i & ~3) + 3 - (i & 3));
}

// The demo cards in both slots, read, with the tool commands attached.
struct ToolsRig : MainWindowRig {
    MainWindow& Open() {
        if (!EnsureDemoCards(dir.Path().string()))
            return *window;
        MainWindow& w = OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        tools = &ToolsOf(w);
        p.RefreshCommand(CardPlace::Slot1);
        p.RefreshCommand(CardPlace::Slot2);
        return w;
    }
    void SelectSaver(CardPlace view, const QString& name) {
        Select(view, {static_cast<int>(Listed(view).indexOf(name))});
    }
    QStringList Listed(CardPlace view) {
        QStringList names;
        CardVolume& v = Presenter(*window).Session().Volume(view);
        for (int k = 0; k < v.ListedCount(); ++k)
            names << QString::fromStdString(v.Entries()[v.ListMap()[k]].TrimmedName());
        return names;
    }
    ToolCommands* tools = nullptr;
};

QString Bmp(ToolsRig& rig, const char* name, int bits) {
    icontest::BmpLayout setup;
    setup.bitsPerPixel = bits;
    for (int i = 0; i < (1 << bits); ++i)
        setup.palette.push_back({static_cast<uint8_t>(i * 17), 40, static_cast<uint8_t>(255 - i)});
    setup.index = [bits](int y, int x) { return (y + x) % (1 << bits); };
    icontest::WriteBmp(rig.Path(name), setup);
    return QString::fromStdString(rig.Path(name));
}

// Line 0 of the listing chosen, its first byte set to hex and written.
void PatchFirstLine(CodeWindow& code, const QString& hex) {
    code.Listing()->setCurrentRow(0);
    code.ShowSelectedLine();
    code.ByteField(0)->setText(hex);
    code.PatchSelectedLine();
}

} // namespace

class ToolCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    // "DisAsm." lists the game's code; a patch saved there is on the card,
    // and nothing else changed. "Exit", No, Yes leaves the card alone.
    void CodeWindowPatchReachesTheCardOnlyWhenSaved() {
        ToolsRig rig;
        MainWindow& w = rig.Open();
        CardPresenter& p = Presenter(w);
        CodeWindow& code = rig.tools->Code();
        const std::string card = rig.Path("slot1.dcm");
        const std::string before = ReadFileText(card);
        rig.SelectSaver(CardPlace::Slot1, "PORVANE_GAME");
        QVERIFY(p.Detail().DisasmButton()->isEnabled());

        QStringList seen;
        WhileShown saved(code, [&] {
            seen << code.windowTitle() << code.Listing()->item(0)->text();
            PatchFirstLine(code, "12");
            code.ExitAndSave();
        });
        p.Detail().DisasmButton()->click();
        QCOMPARE(saved.shown, 1);
        QCOMPARE(seen[0], QString("File :PORVANE_GAME"));
        QVERIFY2(seen[1].startsWith("$0000 21 00 54"), qPrintable(seen[1]));
        std::string expected = before;
        expected[CardOffset(0, 0)] = '\x12';
        QVERIFY(ReadFileText(card) == expected);
        QVERIFY(rig.prompter.Calls().isEmpty());
        QVERIFY(!WaitOf(w).isVisible());

        // Patched, then "Exit": not saved, yes, leave without saving.
        code.removeEventFilter(&saved);
        rig.prompter.Then("no").Then("yes");
        WhileShown unsaved(code, [&] {
            PatchFirstLine(code, "34");
            code.ExitAsking();
        });
        p.Detail().DisasmButton()->click();
        QCOMPARE(unsaved.shown, 1);
        QCOMPARE(rig.prompter.Messages(), QStringList({"save data ?", "Not save exit ?"}));
        QVERIFY(ReadFileText(card) == expected);
    }

    // No card in the saver's slot: the message, the slot no longer loaded,
    // no window. A card pulled or swapped while the window is open gets
    // nothing written, and the user is told which saver was not saved.
    void CardsGoneOrSwappedAreNeverWritten() {
        ToolsRig rig;
        MainWindow& w = rig.Open();
        CardPresenter& p = Presenter(w);
        CodeWindow& code = rig.tools->Code();
        rig.SelectSaver(CardPlace::Slot1, "PORVANE_GAME");
        rig.twoSlot->SetCardPresent(0, false);
        int shown = 0;
        WhileShown never(code, [&] { ++shown; });
        p.Detail().DisasmButton()->click();
        QCOMPARE(rig.prompter.Messages(), QStringList({" no card in slot 1 "}));
        QVERIFY(!p.Session().Loaded(CardPlace::Slot1));
        QVERIFY(p.Session().SelectedName().empty());
        QCOMPARE(shown, 0);
        code.removeEventFilter(&never);

        const std::string card = rig.Path("slot1.dcm");
        const QString kept = " The edited data is kept in " + rig.tools->WorkFile() + ".";
        std::string other;
        const auto visit = [&](bool swap) {
            rig.twoSlot->SetCardPresent(0, true);
            p.RefreshCommand(CardPlace::Slot1);
            rig.prompter.Clear();
            rig.SelectSaver(CardPlace::Slot1, "PORVANE_GAME");
            WhileShown play(code, [&] {
                PatchFirstLine(code, "12");
                rig.twoSlot->SetCardPresent(0, false);
                if (swap) {
                    WriteTestCard(card, 200, {{0, "PORVANE_GAME", 3, 1, true}});
                    other = ReadFileText(card);
                    rig.twoSlot->SetCardPresent(0, true);
                }
                code.ExitAndSave();
            });
            p.Detail().DisasmButton()->click();
            code.removeEventFilter(&play);
            return play.shown;
        };
        const std::string before = ReadFileText(card);
        QCOMPARE(visit(false), 1);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Saver PORVANE_GAME was not written back: there is no card in "
                              "slot 1." +
                              kept}));
        QVERIFY(!p.Session().Loaded(CardPlace::Slot1));
        QVERIFY(ReadFileText(card) == before);

        QCOMPARE(visit(true), 1);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Saver PORVANE_GAME was not written back: the card in slot 1 "
                              "has changed since it was read." +
                              kept}));
        QVERIFY(ReadFileText(card) == other);
        QVERIFY(p.Session().Loaded(CardPlace::Slot1));
        // The view has read the new card at once: the next visit works on it.
        QVERIFY(!p.Session().Volume(CardPlace::Slot1).Listing().Copy().changed);
        QCOMPARE(CompareWithListing(p.Session().Volume(CardPlace::Slot1)), ListingMatch::Same);
    }

    // "Edit..." on a saver of the card image: an edit saved in the hex editor
    // is in the image afterwards, even with a link failure left over from
    // earlier; a write-back that fails is told, naming the saver.
    void HexEditorEditReachesTheImage() {
        ToolsRig rig;
        rig.WriteConfig(1);
        MainWindow& w = rig.Open();
        CardPresenter& p = Presenter(w);
        const std::string image = rig.Path("image.dcm");
        WriteTestCard(image, 200, {{0, "NOTES", 2, 1}});
        QVERIFY(p.Session().Volume(CardPlace::Image).OpenImage(image));
        p.Session().Volume(CardPlace::Image).Store().SetImageName(image);
        p.ReadAgain(CardPlace::Image);
        QVERIFY(p.Session().Loaded(CardPlace::Image));
        p.Session().Link().LinkFailed = true;
        rig.SelectSaver(CardPlace::Image, "NOTES");
        QVERIFY(p.AutoRefreshTimer()->isActive());

        MiniEditorWindow& editor = rig.tools->HexEditor();
        QString title;
        bool tickStopped = false;
        bool readOnly = false;
        WhileShown play(editor, [&] {
            title = editor.windowTitle();
            tickStopped = !p.AutoRefreshTimer()->isActive();
            QTest::keyClicks(editor.Grid(), "ab");
            editor.Menus().save->trigger();
            p.Session().Volume(CardPlace::Image).Store().SetImageReadOnly(readOnly);
            editor.reject();
        });
        std::string expected = ReadFileText(image);
        expected[CardOffset(199, 0)] = '\xAB';
        p.Detail().EditButton()->click();
        QCOMPARE(play.shown, 1);
        QCOMPARE(title, QString("File :NOTES       "));
        QVERIFY(tickStopped);
        QVERIFY(p.AutoRefreshTimer()->isActive());
        QVERIFY(ReadFileText(image) == expected);
        QVERIFY(rig.prompter.Calls().isEmpty());

        readOnly = true;
        p.Detail().EditButton()->click();
        QCOMPARE(play.shown, 2);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Saver NOTES could not be written back to the card. The edited "
                              "data is kept in " +
                              rig.tools->WorkFile() + "."}));
        QVERIFY(ReadFileText(image) == expected);
        p.Session().Volume(CardPlace::Image).Store().SetImageReadOnly(false);

        // A work file that can't be written: told, and no window on half a saver.
        rig.prompter.Clear();
        std::filesystem::remove(rig.tools->WorkFile().toStdString());
        std::filesystem::create_directory(rig.tools->WorkFile().toStdString());
        p.Detail().EditButton()->click();
        QCOMPARE(play.shown, 2);
        QCOMPARE(rig.prompter.Messages(), QStringList({"Saver NOTES could not be copied to " +
                                                       rig.tools->WorkFile() + "."}));
    }

    // The editor opens with "Fixed File size" on, and data of another length
    // than the saver's never reaches the card.
    void HexEditorKeepsTheSaversLength() {
        ToolsRig rig;
        MainWindow& w = rig.Open();
        CardPresenter& p = Presenter(w);
        const std::string image = rig.Path("image.dcm");
        WriteTestCard(image, 200, {{0, "NOTES", 2, 1}});
        QVERIFY(p.Session().Volume(CardPlace::Image).OpenImage(image));
        p.ReadAgain(CardPlace::Image);
        rig.SelectSaver(CardPlace::Image, "NOTES");
        MiniEditorWindow& editor = rig.tools->HexEditor();
        QString size;
        bool fixed = false;
        WhileShown play(editor, [&] {
            fixed = editor.Grid()->Options().NoSizeChange;
            QTest::keyClick(editor.Grid(), Qt::Key_Delete);
            size = editor.PanelText(5);
            std::ofstream(rig.tools->WorkFile().toStdString(), std::ios::app) << 'x';
            editor.SetSaveRequested(true);
            editor.done(QDialog::Rejected);
        });
        const std::string before = ReadFileText(image);
        p.Detail().EditButton()->click();
        QVERIFY(fixed);
        QCOMPARE(size, QString("Size : 1024"));
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Saver NOTES was not written back: the edited data holds 1025 "
                              "bytes, the saver 1024. The edited data is kept in " +
                              rig.tools->WorkFile() + "."}));
        QVERIFY(ReadFileText(image) == before);
        QCOMPARE(std::filesystem::file_size(rig.tools->WorkFile().toStdString()), uintmax_t{1025});
    }

    // "Import BMP picture": a 32 x 32 8-bit picture becomes "ICONDATA_VMS" on
    // the card and the view shows it. A card swapped while the colour dialog
    // is up gets the logo beside its own savers, which stay whole.
    void BmpImportPutsTheLogoOnTheCard() {
        ToolsRig rig;
        MainWindow& w = rig.Open();
        CardPresenter& p = Presenter(w);
        const QString bmp = Bmp(rig, "logo.bmp", 8);
        p.StateTick();
        QAction* item = p.Menus().Item(CardPlace::Slot2, CommandId::ImportBmp);
        QVERIFY(item->isEnabled());
        LcdColourDialog& colours = rig.tools->Colours();
        rig.prompter.Then(bmp);
        WhileShown ok(colours, [&] {
            colours.ColourBox(1)->click();
            colours.OkButton()->click();
        });
        item->trigger();
        QCOMPARE(ok.shown, 1);
        QCOMPARE(rig.Listed(CardPlace::Slot2), QStringList({"ICONDATA_VMS"}));
        const SaverEntry& logo = p.Session().Volume(CardPlace::Slot2).Entries()[0];
        QCOMPARE(QString::fromStdString(logo.Description), QString("VMU CAPTION LOGO"));

        const std::string card = rig.Path("slot2.dcm");
        rig.prompter.Then(bmp);
        std::string keep;
        WhileShown swap(colours, [&] {
            rig.twoSlot->SetCardPresent(1, false);
            WriteTestCard(card, 200, {{0, "KEEPME", 3, 1}});
            keep = ReadFileText(card).substr(197 * 512, 3 * 512);
            rig.twoSlot->SetCardPresent(1, true);
            colours.OkButton()->click();
        });
        item->trigger();
        QCOMPARE(rig.Listed(CardPlace::Slot2), QStringList({"KEEPME", "ICONDATA_VMS"}));
        QVERIFY(ReadFileText(card).substr(197 * 512, 3 * 512) == keep);
    }

    // A card that holds a caption logo is asked before it takes another: No
    // writes nothing, Yes puts the new logo in the old one's place.
    void ASecondLogoReplacesTheFirstWhenTheUserSaysSo() {
        ToolsRig rig;
        MainWindow& w = rig.Open();
        CardPresenter& p = Presenter(w);
        const QString bmp = Bmp(rig, "logo.bmp", 8);
        p.StateTick();
        LcdColourDialog& colours = rig.tools->Colours();
        int box = 1;
        WhileShown ok(colours, [&] {
            colours.ColourBox(box)->click();
            colours.OkButton()->click();
        });
        rig.prompter.Then(bmp);
        rig.tools->ImportCaptionBmp(CardPlace::Slot2);
        const std::string card = rig.Path("slot2.dcm");
        const std::string first = ReadFileText(card);

        box = 2;
        rig.prompter.Clear();
        rig.prompter.Then(bmp).Then("no");
        rig.tools->ImportCaptionBmp(CardPlace::Slot2);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({"Saver ICONDATA_VMS Exisit overwrite it ?"}));
        QVERIFY(ReadFileText(card) == first);

        rig.prompter.Then(bmp).Then("yes");
        rig.tools->ImportCaptionBmp(CardPlace::Slot2);
        QCOMPARE(rig.prompter.AnswersLeft(), 0);
        QCOMPARE(rig.Listed(CardPlace::Slot2), QStringList({"ICONDATA_VMS"}));
        QVERIFY(ReadFileText(card) != first);
        QCOMPARE(p.ViewOf(CardPlace::Slot2).SizePanel()->text(), QString("198 BLOCKS FREE"));
    }

    // A 4-bit picture is refused with its warning and the card is left byte
    // for byte; nothing is offered for a view that isn't loaded.
    void RefusedPictureLeavesTheCard() {
        ToolsRig rig;
        rig.Open();
        const std::string card = rig.Path("slot2.dcm");
        const std::string before = ReadFileText(card);
        rig.prompter.Then(Bmp(rig, "four.bmp", 4));
        int shown = 0;
        WhileShown never(rig.tools->Colours(), [&] { ++shown; });
        rig.tools->ImportCaptionBmp(CardPlace::Slot2);
        QCOMPARE(rig.prompter.Messages(),
                 QStringList(
                     {QString(kLogoPictureWarning) + "\nIt is 32 x 32 pixels, 4 bits per pixel."}));
        QCOMPARE(shown, 0);
        QVERIFY(ReadFileText(card) == before);

        rig.prompter.Clear();
        rig.tools->ImportCaptionBmp(CardPlace::Image);
        QVERIFY(rig.prompter.Calls().isEmpty());
    }
};

QTEST_MAIN(ToolCommandsTest)
#include "ToolCommandsTest.moc"
