// Whole folders in and out of the window's cards, and card images saved as
// the designed formats mean them.
#include "ui/commands/FolderCommands.h"
#include "card/CardImageOrder.h"
#include "ui/support/CommandsRig.h"

#include <QtTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

const std::vector<TestSaver> kSavers = {
    {0, "GAME", 3, 2, true}, {1, "SAVE/ONE", 4, 1}, {2, "SAVE ONE", 2, 0}, {3, "LAST", 1, 3}};
const std::vector<TestSaver> kNone = {};

// Every saver of a volume: its entry without the first block, then its
// blocks in chain order, sorted.
std::vector<std::string> Savers(CardVolume& volume) {
    std::vector<std::string> savers;
    for (int k = 0; k < volume.ListedCount(); ++k) {
        const SaverEntry& e = volume.Entries()[volume.ListMap()[k]];
        std::string saver(reinterpret_cast<const char*>(e.Raw), SaverEntry::kSize);
        saver[2] = 0;
        uint8_t block[512];
        int at = e.IsGame ? 0 : e.FirstBlock;
        for (int n = 0; n < e.SizeBlocks && at < 241; ++n, at = volume.Fat()[at]) {
            volume.ReadRawBlock(volume.Device(), static_cast<uint8_t>(at), block);
            saver.append(reinterpret_cast<const char*>(block), sizeof block);
        }
        savers.push_back(saver);
    }
    std::sort(savers.begin(), savers.end());
    return savers;
}

// porvane-cli in the rig's folder, on the rig's emulated cards.
int Cli(MainWindowRig& rig, const std::string& args) {
    const std::string command = "cd '" + rig.dir.Path().string() +
                                "' && '" PORVANE_BIN_DIR "/porvane-cli' --link emulator:. " + args +
                                " >/dev/null 2>&1";
    return std::system(command.c_str());
}

} // namespace

class FolderCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    // A card out to a folder and into an empty image holds the same savers,
    // entries and blocks byte for byte but for the first block; a summary
    // ends each command.
    void ExportAllThenImportTheFolderGivesTheSameSavers() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kSavers, &kNone);
        CardPresenter& p = Presenter(w);
        rig.OpenImage("empty.dcm", {});
        CardMenus& m = p.Menus();
        rig.prompter.Then(Q(rig.Path("out")));
        std::filesystem::create_directories(rig.Path("out"));
        m.ExportAll(CardPlace::Slot1)->trigger();
        QCOMPARE(rig.prompter.Calls()[0].kind, QString("folder"));
        QCOMPARE(rig.prompter.Messages().join("\n"),
                 QString("Exported 4 of 4 savers.\n  exported GAME.DCI (GAME)\n  exported "
                         "SAVE_ONE.DCI (SAVE/ONE)\n  exported SAVE_ONE~2.DCI (SAVE ONE)\n  "
                         "exported LAST.DCI (LAST)"));
        // Again: the files that exist are asked about first.
        rig.prompter.Clear();
        rig.prompter.Then(Q(rig.Path("out"))).Then("no");
        m.ExportAll(CardPlace::Slot1)->trigger();
        QCOMPARE(rig.prompter.Messages(),
                 QStringList({FolderCommands::ReplaceQuestion(
                     Q(rig.Path("out")), {rig.Path("out/GAME.DCI"), "", "", ""})}));

        rig.prompter.Clear();
        rig.prompter.Then(Q(rig.Path("out")));
        m.ImportFolder(CardPlace::Image)->trigger();
        QVERIFY(rig.prompter.Messages().value(0).startsWith("Imported 4 of 4 files."));
        QCOMPARE(Listed(w, CardPlace::Image).size(), 4);
        QVERIFY(Savers(p.Session().Volume(CardPlace::Image)) ==
                Savers(p.Session().Volume(CardPlace::Slot1)));
        // Into a card holding them already: the questions of an import, one
        // saver replaced, the others refused and named.
        rig.prompter.Clear();
        rig.prompter.Then(Q(rig.Path("out"))).Then("yes").Then("no").Then("no");
        m.ImportFolder(CardPlace::Image)->trigger();
        const QStringList said = rig.prompter.Messages();
        QCOMPARE(said.value(0), QString("Saver GAME         Exisit overwrite it ?"));
        QVERIFY(said.last().startsWith("Imported 1 of 4 files."));
        QVERIFY(said.last().contains("refused  LAST.DCI (LAST): a saver of that name"));
    }

    // "Save as DCM file" keeps the designed filter and its meaning: ".BIN"
    // through "BIN file format" is card order as the DCM is, a raw dump only
    // through the entry added after them, or for a ".vmu" name. The command
    // line writes the same bytes for the same request.
    void SavedImagesMeanWhatTheDesignedFormatsMeanAndTheCliAgrees() {
        CommandsRig rig;
        MainWindow& w = rig.Open(&kSavers, &kNone);
        const std::string card = ReadFileText(rig.Path("slot1.dcm"));
        std::string raw = card;
        SwapWords(reinterpret_cast<uint8_t*>(raw.data()), raw.size());
        struct Case {
            CardPlace view;
            const char* file;
            const char* filter; // "" leaves the dialog on its first entry
            const char* cli;    // the same request on the command line
            bool natural;
        };
        const Case cases[] = {
            {CardPlace::Slot1, "slot.BIN", "BIN file format", "save-card slot1 cli.BIN", false},
            {CardPlace::Slot1, "dump.bin", "Card dump (emulators)",
             "save-card slot1 cli.bin --to raw", true},
            {CardPlace::Slot1, "slot.vmu", "", "save-card slot1 cli.vmu", true},
            {CardPlace::Image, "image.BIN", "BIN file format", "convert image.dcm cli.BIN", false},
            {CardPlace::Image, "image.bin", "Card dump (emulators)",
             "convert image.dcm cli.bin --to raw", true},
        };
        rig.OpenImage("image.dcm", kSavers);
        for (const Case& c : cases) {
            rig.prompter.Clear();
            rig.prompter.Then(Q(rig.Path(c.file)));
            if (*c.filter != '\0')
                rig.prompter.WithFilter(c.filter);
            rig.commands->Dcm().SaveAs(c.view);
            QCOMPARE(rig.prompter.Calls()[0].text,
                     QString("DCM file format|*.DCM|BIN file format|*.BIN|ALL format|*.*|Card "
                             "dump (emulators)|*.vmu;*.bin"));
            const std::string saved = ReadFileText(rig.Path(c.file));
            QVERIFY2(saved == (c.natural ? raw : card), c.file);
            const std::string cliFile = std::string(c.cli).substr(std::string(c.cli).find("cli."));
            std::filesystem::remove(rig.Path(cliFile.substr(0, cliFile.find(' '))));
            QCOMPARE(Cli(rig, c.cli), 0);
            QVERIFY2(ReadFileText(rig.Path(cliFile.substr(0, cliFile.find(' ')))) == saved, c.cli);
        }
        // Read back, each is the card again, its order found by content.
        for (const char* file : {"slot.BIN", "dump.bin"}) {
            QVERIFY(rig.commands->Dcm().OpenFile(Q(rig.Path(file))));
            QCOMPARE(Listed(w, CardPlace::Image),
                     QStringList({"GAME", "SAVE/ONE", "SAVE ONE", "LAST"}));
        }
    }
};

QTEST_MAIN(FolderCommandsTest)
#include "FolderCommandsTest.moc"
