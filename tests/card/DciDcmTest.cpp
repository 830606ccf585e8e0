#include "card/CardImage.h"
#include "card/DciFile.h"
#include "card/IconBmp.h"
#include "card/SideFiles.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"
#include "link/LinkOption.h"
#include "link/LinkPort.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

using namespace engine_test;
namespace fs = std::filesystem;

namespace {

// A single-saver file made by hand: header fields as given, blocks from seed.
std::vector<uint8_t> MakeDci(uint8_t type, uint8_t byte2, const std::string& name, int size,
                             uint8_t seed) {
    std::vector<uint8_t> dci(32 + 512 * static_cast<size_t>(size));
    dci[0] = type;
    dci[1] = 0x77;
    dci[2] = byte2;
    dci[3] = 0x00;
    std::memcpy(dci.data() + 4, Name12(name).data(), 12);
    const uint8_t stamp[8] = {0x19, 0x99, 0x12, 0x31, 0x23, 0x59, 0x58, 0x05};
    std::memcpy(dci.data() + 16, stamp, 8);
    dci[24] = static_cast<uint8_t>(size);
    dci[25] = 0x00;
    for (int i = 26; i < 32; ++i)
        dci[i] = static_cast<uint8_t>(0xA0 + i);
    for (size_t i = 32; i < dci.size(); ++i)
        dci[i] = static_cast<uint8_t>(seed + i * 11 + (i >> 9));
    return dci;
}

std::vector<uint8_t> DataOf(const std::vector<uint8_t>& dci) {
    return std::vector<uint8_t>(dci.begin() + 32, dci.end());
}

using DciTest = TwoImageTest;

TEST_F(DciTest, ExportWritesEntryThenBlocksInCardOrder) {
    PlaceSaver(*a_, 6, Name12("TWO BLOCKS"), 0x33, {77, 12}, 3);
    const std::string out = dir_.File("two.dci");
    ASSERT_TRUE(ExportDci(out, 6, *a_));
    const auto bytes = ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), 1056u);
    EXPECT_EQ(0, std::memcmp(bytes.data(), a_->Entries()[6].Raw, 32));
    auto blocks = FileBlock(APath(), 77);
    const auto second = FileBlock(APath(), 12);
    blocks.insert(blocks.end(), second.begin(), second.end());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 32, bytes.end()), blocks);
    EXPECT_EQ(ReadDciName(out), Name12("TWO BLOCKS"));

    EXPECT_FALSE(ExportDci(dir_.File("empty.dci"), 0, *a_));
    EXPECT_FALSE(ExportDci(dir_.File("no/such/folder.dci"), 6, *a_));
}

TEST_F(DciTest, ImportPlacesDataSaverAtTheTopThenBesideIt) {
    const auto dci = MakeDci(0x33, 0x05, "THREE", 3, 1);
    const std::string path = Dci("three.dci", dci);
    DciImportResult result{};
    ASSERT_TRUE(ImportDci(path, *a_, &result));
    EXPECT_EQ(result, DciImportResult::Imported);
    ASSERT_TRUE(LoadVolume(*a_));
    ASSERT_TRUE(ImportDci(path, *a_)); // "Append": a second saver of the name
    ASSERT_TRUE(LoadVolume(*a_));

    EXPECT_EQ(a_->Entries()[0].Raw[2], 199);
    EXPECT_EQ(a_->Entries()[1].Raw[2], 196);
    EXPECT_EQ(ChainOf(*a_, 199), (std::vector<uint8_t>{199, 198, 197}));
    EXPECT_EQ(ChainOf(*a_, 196), (std::vector<uint8_t>{196, 195, 194}));
    for (int i = 0; i < 32; ++i) {
        if (i != 2) {
            EXPECT_EQ(a_->Entries()[0].Raw[i], dci[i]) << i;
        }
    }
    EXPECT_EQ(ChainBytes(*a_, {199, 198, 197}), DataOf(dci));
    EXPECT_TRUE(ui_.infos.empty());
}

TEST_F(DciTest, GameDciNeedsBlockZeroOnwards) {
    const std::string game = Dci("game.dci", MakeDci(0xCC, 0x00, "GAME", 5, 2));
    PlaceSaver(*a_, 0, Name12("AT ZERO"), 0x33, {0}, 4);
    // A data saver starting at block 0 reads as an empty slot; the block is
    // still taken in the table.
    a_->Listing().SetFreeBlocks(199);
    const auto before = ReadFileBytes(APath());
    DciImportResult result{};
    EXPECT_TRUE(ImportDci(game, *a_, &result));
    EXPECT_EQ(result, DciImportResult::GameBlocksTaken);
    EXPECT_TRUE(ui_.infos.empty());
    EXPECT_EQ(ReadFileBytes(APath()), before);

    ASSERT_TRUE(ImportDci(game, *b_));
    ASSERT_TRUE(LoadVolume(*b_));
    EXPECT_TRUE(b_->Entries()[0].IsGame);
    EXPECT_EQ(ChainOf(*b_, 0), (std::vector<uint8_t>{0, 1, 2, 3, 4}));

    // Type 0xCC is a game whatever byte 2 says: it goes to block 0 with bytes 2
    // and 3 of its entry zero, so that the listing and every walk agree.
    ASSERT_TRUE(DeleteSaver(*b_, 0));
    ASSERT_TRUE(LoadVolume(*b_));
    ASSERT_TRUE(ImportDci(Dci("odd.dci", MakeDci(0xCC, 0x09, "ODD", 2, 3)), *b_));
    ASSERT_TRUE(LoadVolume(*b_));
    const int odd = EntryNamed(*b_, Name12("ODD"));
    ASSERT_GE(odd, 0);
    EXPECT_TRUE(b_->Entries()[odd].IsGame);
    EXPECT_EQ(b_->Entries()[odd].Raw[2], 0);
    EXPECT_EQ(ChainOf(*b_, 0), (std::vector<uint8_t>{0, 1}));
}

TEST_F(DciTest, RefusedImportsTellWhyAndWriteNothing) {
    const auto before = ReadFileBytes(APath());
    DciImportResult result{};

    EXPECT_FALSE(ImportDci(Dci("zero.dci", MakeDci(0x33, 1, "ZERO", 0, 1)), *a_, &result));
    EXPECT_EQ(result, DciImportResult::NoSpace);
    a_->Listing().SetFreeBlocks(2);
    EXPECT_FALSE(ImportDci(Dci("big.dci", MakeDci(0x33, 1, "BIG", 3, 1)), *a_, &result));
    EXPECT_EQ(result, DciImportResult::NoSpace);
    ASSERT_EQ(ui_.infos, (std::vector<std::string>{"NOT ENOUGH SPACE.", "NOT ENOUGH SPACE."}));
    ListVolume(*a_);

    auto cut = MakeDci(0x33, 1, "CUT", 3, 1);
    cut.resize(cut.size() - 1);
    const std::string cutPath = Dci("cut.dci", cut);
    EXPECT_FALSE(ImportDci(cutPath, *a_, &result));
    EXPECT_EQ(result, DciImportResult::TooShort);
    EXPECT_NE(ui_.infos.back().find(cutPath), std::string::npos);
    EXPECT_FALSE(ImportDci(Dci("stub.dci", std::vector<uint8_t>(20, 0x33)), *a_, &result));
    EXPECT_EQ(result, DciImportResult::TooShort);

    const std::string missing = dir_.File("missing.dci");
    EXPECT_FALSE(ImportDci(missing, *a_, &result));
    EXPECT_EQ(result, DciImportResult::Unreadable);
    EXPECT_NE(ui_.infos.back().find(missing), std::string::npos);
    EXPECT_EQ(ReadDciName(missing), "");

    for (int i = 0; i < CardVolume::kListedEntries; ++i)
        a_->Entries()[i].SizeBlocks = 1;
    uint16_t fat[256];
    std::copy(std::begin(a_->Fat()), std::end(a_->Fat()), fat);
    EXPECT_FALSE(ImportDci(Dci("one.dci", MakeDci(0x33, 1, "ONE", 1, 1)), *a_, &result));
    EXPECT_EQ(result, DciImportResult::DirectoryFull);
    EXPECT_TRUE(std::equal(std::begin(fat), std::end(fat), std::begin(a_->Fat())));

    EXPECT_EQ(ReadFileBytes(APath()), before);
}

TEST_F(DciTest, FormatImportCopyDeleteExportCycleOnImages) {
    const auto first = MakeDci(0x33, 0x10, "FIRST", 4, 5);
    const auto second = MakeDci(0x33, 0x20, "SECOND", 2, 6);
    ASSERT_TRUE(ImportDci(Dci("first.dci", first), *a_));
    ASSERT_TRUE(LoadVolume(*a_));
    ASSERT_TRUE(ImportDci(Dci("second.dci", second), *a_));
    ASSERT_TRUE(LoadVolume(*a_));

    const int f = EntryNamed(*a_, Name12("FIRST"));
    ASSERT_GE(f, 0);
    ASSERT_TRUE(CopySaver(*a_, f, *b_));
    ASSERT_TRUE(LoadVolume(*b_));
    ASSERT_TRUE(DeleteSaver(*a_, f));
    ASSERT_TRUE(LoadVolume(*a_));
    EXPECT_EQ(EntryNamed(*a_, Name12("FIRST")), -1);
    EXPECT_EQ(a_->FreeBlocks(), 198);

    const int g = EntryNamed(*b_, Name12("FIRST"));
    ASSERT_GE(g, 0);
    ASSERT_TRUE(ExportDci(dir_.File("back.dci"), g, *b_));
    auto back = ReadFileBytes(dir_.File("back.dci"));
    ASSERT_EQ(back.size(), first.size());
    EXPECT_EQ(back[2], 199);
    back[2] = first[2];
    EXPECT_EQ(back, first);

    // The saver left on the first card is untouched by the delete.
    const int s = EntryNamed(*a_, Name12("SECOND"));
    ASSERT_GE(s, 0);
    ASSERT_TRUE(ExportDci(dir_.File("second-back.dci"), s, *a_));
    EXPECT_EQ(DataOf(ReadFileBytes(dir_.File("second-back.dci"))), DataOf(second));
}

TEST_F(DciTest, DciCarriesIdenticalBlocksBetweenImages) {
    PlaceSaver(*a_, 2, Name12("TRAVELLER"), 0x33, {13, 180, 7, 42}, 8);
    ASSERT_TRUE(ExportDci(dir_.File("t.dci"), 2, *a_));
    PlaceSaver(*b_, 0, Name12("RESIDENT"), 0x33, {199, 198}, 9);
    ASSERT_TRUE(ImportDci(dir_.File("t.dci"), *b_));
    ASSERT_TRUE(LoadVolume(*b_));
    const int t = EntryNamed(*b_, Name12("TRAVELLER"));
    ASSERT_EQ(t, 1);
    EXPECT_EQ(ChainBytes(*b_, ChainOf(*b_, b_->Entries()[t].FirstBlock)),
              ChainBytes(*a_, {13, 180, 7, 42}));
}

// The two-slot unit of the emulated box, backed by slot1.dcm and slot2.dcm.
class EmulatedBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto card = std::make_unique<CardVolume>();
        ASSERT_TRUE(MakeImage(*card, dir_.File("slot1.dcm")));
        PlaceSaver(*card, 0, Name12("ON SLOT ONE"), 0x33, {199, 198, 150}, 11);
        PlaceSaver(*card, 1, Name12("GAME"), 0xCC, {0, 1}, 12);
        card->CloseImage();
        WriteFileBytes(dir_.File("slot2.dcm"), std::vector<uint8_t>(131072, 0xFF));

        std::string error;
        auto backend = MakePortBackend("emulator:" + dir_.Path().string(), error);
        ASSERT_NE(backend, nullptr) << error;
        link_ = std::make_unique<LinkPort>(std::move(backend), nullptr);
        link_->ShortDelay = 0;
        link_->LongDelay = 0;
        link_->LongestDelay = 0;
        ASSERT_TRUE(link_->DetectDevice());
        for (int s = 0; s < 2; ++s) {
            slot_[s] = std::make_unique<CardVolume>();
            slot_[s]->SetPlace(kCardPlaces[static_cast<size_t>(s)]);
            slot_[s]->Store().SetLink(link_.get());
            slot_[s]->Store().SetFeedback(&ui_);
        }
    }

    TempDir dir_;
    RecordingFeedback ui_;
    std::unique_ptr<LinkPort> link_;
    std::unique_ptr<CardVolume> slot_[2];
};

TEST_F(EmulatedBoxTest, SavedCardUploadedAndSavedAgainIsIdentical) {
    const std::string first = dir_.File("first.dcm");
    const std::string again = dir_.File("again.dcm");
    ASSERT_TRUE(SaveCardImage(first, *slot_[0]));
    EXPECT_EQ(ui_.lastMax, 255);
    EXPECT_EQ(ReadFileBytes(first), ReadFileBytes(dir_.File("slot1.dcm")));
    ASSERT_TRUE(UploadCardImage(first, *slot_[1]));
    ASSERT_TRUE(SaveCardImage(again, *slot_[1]));
    EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(first));
    ASSERT_TRUE(LoadVolume(*slot_[1]));
    EXPECT_EQ(EntryNamed(*slot_[1], Name12("ON SLOT ONE")), 0);
    EXPECT_TRUE(ui_.infos.empty());
}

TEST_F(EmulatedBoxTest, UploadRefusesOtherSizesAndSaveStopsAtAFailedRead) {
    const auto slot2Before = ReadFileBytes(dir_.File("slot2.dcm"));
    const std::string longer = dir_.File("long.dcm");
    WriteFileBytes(longer, std::vector<uint8_t>(131073, 0));
    EXPECT_FALSE(UploadCardImage(longer, *slot_[1]));
    EXPECT_FALSE(UploadCardImage(dir_.File("missing.dcm"), *slot_[1]));
    EXPECT_EQ(ReadFileBytes(dir_.File("slot2.dcm")), slot2Before);

    // The link goes away after ten blocks: the file ends with the failed
    // block, and the block store has told the user once.
    ui_.onProgress = [&](int position) {
        if (position == 10)
            slot_[0]->Store().SetLink(nullptr);
    };
    const std::string partial = dir_.File("partial.dcm");
    EXPECT_FALSE(SaveCardImage(partial, *slot_[0]));
    EXPECT_EQ(ReadFileBytes(partial).size(), 11u * 512);
    EXPECT_EQ(ui_.infos.size(), 1u);
}

TEST_F(EmulatedBoxTest, FormatImportCopyDeleteExportCycleOverTheLink) {
    ASSERT_TRUE(slot_[1]->FormatVolume(200));
    ASSERT_TRUE(LoadVolume(*slot_[0]));
    ASSERT_TRUE(LoadVolume(*slot_[1]));
    EXPECT_EQ(slot_[0]->FreeBlocks(), 195);

    const auto dci = MakeDci(0x33, 0x30, "VIA LINK", 3, 13);
    WriteFileBytes(dir_.File("in.dci"), dci);
    ASSERT_TRUE(ImportDci(dir_.File("in.dci"), *slot_[0]));
    ASSERT_TRUE(LoadVolume(*slot_[0]));
    const int on1 = EntryNamed(*slot_[0], Name12("VIA LINK"));
    ASSERT_GE(on1, 0);
    EXPECT_EQ(ChainOf(*slot_[0], slot_[0]->Entries()[on1].FirstBlock),
              (std::vector<uint8_t>{197, 196, 195}));

    CardVolume* volumes[3] = {slot_[0].get(), slot_[1].get(), nullptr};
    ASSERT_TRUE(CopySaverBetween(volumes, 0, 1, on1));
    const int game = EntryNamed(*slot_[0], Name12("GAME"));
    ASSERT_TRUE(CopySaverBetween(volumes, 0, 1, game));
    ASSERT_TRUE(DeleteSaver(*slot_[0], on1));
    ASSERT_TRUE(LoadVolume(*slot_[0]));
    ASSERT_TRUE(LoadVolume(*slot_[1]));
    EXPECT_EQ(EntryNamed(*slot_[0], Name12("VIA LINK")), -1);

    const int on2 = EntryNamed(*slot_[1], Name12("VIA LINK"));
    ASSERT_GE(on2, 0);
    ASSERT_TRUE(ExportDci(dir_.File("out.dci"), on2, *slot_[1]));
    auto out = ReadFileBytes(dir_.File("out.dci"));
    EXPECT_EQ(out[2], 199);
    out[2] = dci[2];
    EXPECT_EQ(out, dci);
    EXPECT_EQ(ChainBytes(*slot_[1], {0, 1}), ChainBytes(*slot_[0], {0, 1}));
    EXPECT_TRUE(ui_.infos.empty());
}

TEST(SideFilesTest, MissingSideFilesAreWrittenAndExistingOnesKept) {
    TempDir dir;
    const std::string folder = dir.Path().string() + "/";
    ASSERT_TRUE(EnsureSideFiles(folder));
    const auto tpl = ReadFileBytes(dir.File("dpnw.dc"));
    ASSERT_EQ(tpl.size(), 131072u);
    for (size_t i = 0; i < 241u * 512; ++i)
        ASSERT_EQ(tpl[i], 0xFF) << i;

    auto card = std::make_unique<CardVolume>();
    card->SetPlace(CardPlace::Image);
    ASSERT_TRUE(card->OpenImage(dir.File("dpnw.dc")));
    ASSERT_TRUE(LoadVolume(*card));
    EXPECT_EQ(card->UserBlocks(), 200);
    EXPECT_EQ(card->ListedCount(), 0);
    EXPECT_EQ(card->FreeBlocks(), 200);
    card->CloseImage();

    uint8_t drawn[IconArea::kSize];
    uint8_t read[IconArea::kSize] = {};
    DrawNoIconPicture(drawn);
    EXPECT_EQ(ReadFileBytes(dir.File("NA.bmp")).size(), 2102u);
    ASSERT_TRUE(ReadIconBmp(read, dir.File("NA.bmp")));
    EXPECT_EQ(0, std::memcmp(drawn, read, IconArea::kSize));

    RecordingFeedback ui;
    ASSERT_TRUE(CreateImageFromTemplate(folder, dir.File("new.dcm"), &ui));
    EXPECT_EQ(ReadFileBytes(dir.File("new.dcm")), tpl);

    // A template of the user's own is never replaced; a short one is refused.
    WriteFileBytes(dir.File("dpnw.dc"), std::vector<uint8_t>(100, 0));
    ASSERT_TRUE(EnsureSideFiles(folder));
    EXPECT_EQ(ReadFileBytes(dir.File("dpnw.dc")).size(), 100u);
    EXPECT_FALSE(CreateImageFromTemplate(folder, dir.File("other.dcm"), &ui));
    EXPECT_EQ(ui.infos,
              (std::vector<std::string>{"FILE : " + dir.File("dpnw.dc") + " IS INVAILD! "}));
    EXPECT_FALSE(fs::exists(dir.File("other.dcm")));

    // In a folder without a template the first new image writes one.
    TempDir bare;
    ASSERT_TRUE(CreateImageFromTemplate(bare.Path().string(), bare.File("x.dcm"), &ui));
    EXPECT_EQ(ReadFileBytes(bare.File("x.dcm")), tpl);
}

} // namespace

TEST(ImageFileCheckTest, OnlyARegularFileOfAWholeCardIsAnImage) {
    TempDir dir;
    const std::string image = dir.File("card.dcm");
    WriteFileBytes(image, std::vector<uint8_t>(CardVolume::kCardBytes, 0xFF));
    EXPECT_EQ(CheckImageFile(image), ImageFileCheck::Fits);
    fs::create_symlink(image, dir.File("link.dcm"));
    EXPECT_EQ(CheckImageFile(dir.File("link.dcm")), ImageFileCheck::Fits);
    WriteFileBytes(dir.File("short.dcm"), std::vector<uint8_t>(CardVolume::kCardBytes - 1, 0));
    EXPECT_EQ(CheckImageFile(dir.File("short.dcm")), ImageFileCheck::WrongSize);
    ASSERT_EQ(::mkfifo(dir.File("fifo.dcm").c_str(), 0600), 0);
    EXPECT_EQ(CheckImageFile(dir.File("fifo.dcm")), ImageFileCheck::NotRegular);
    fs::create_directory(dir.File("folder.dcm"));
    EXPECT_EQ(CheckImageFile(dir.File("folder.dcm")), ImageFileCheck::NotRegular);
}
