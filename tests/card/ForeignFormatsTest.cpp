#include "card/CardImage.h"
#include "card/CardImageOrder.h"
#include "card/DciFile.h"
#include "card/ImageLock.h"
#include "card/SaverChains.h"
#include "card/ShiftJis.h"
#include "card/VmsVmi.h"
#include "card/support/EngineSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

using namespace engine_test;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Swapped(std::vector<uint8_t> bytes) {
    SwapWords(bytes.data(), bytes.size());
    return bytes;
}

class ForeignFormatsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        card_ = std::make_unique<CardVolume>();
        card_->Ui = &ui_;
        ASSERT_TRUE(MakeImage(*card_, dir_.File("card.dcm")));
    }
    TempDir dir_;
    RecordingUi ui_;
    std::unique_ptr<CardVolume> card_;
};

TEST_F(ForeignFormatsTest, OrderIsReadFromTheRootAndFromTheNameOnlyWhenItDoesNotTell) {
    const auto dcm = ReadFileBytes(dir_.File("card.dcm"));
    WriteFileBytes(dir_.File("dump.dcm"), Swapped(dcm)); // a raw dump under a DCM name
    WriteFileBytes(dir_.File("image.vmu"), dcm);         // a DCM under a dump's name
    const OrderGuess dump = GuessImageFileOrder(dir_.File("dump.dcm"));
    EXPECT_EQ(dump.order, ImageOrder::Natural);
    EXPECT_TRUE(dump.fromContent);
    const OrderGuess image = GuessImageFileOrder(dir_.File("image.vmu"));
    EXPECT_EQ(image.order, ImageOrder::Card);
    EXPECT_TRUE(image.fromContent);

    // A damaged root (14 directory blocks): the table and directory tell,
    // whatever the name; with the table's system links gone too, only the
    // name is left and a formatted card is unsure. An unformatted one (all
    // 0xFF) goes by name and is no less sure in one order than the other.
    PlaceSaver(*card_, 0, Name12("KEPT"), 0x33, {199, 198}, 4);
    std::vector<uint8_t> damaged = ReadFileBytes(dir_.File("card.dcm"));
    damaged[(255 * 512 + 0x4C) ^ 3] = 14;
    std::vector<uint8_t> unsure = damaged;
    for (int b = 241; b < 256; ++b)
        unsure[(254 * 512 + 2 * b) ^ 3] = 0x12;
    const struct {
        std::vector<uint8_t> bytes;
        bool fromContent, isUnsure, natural;
    } cases[] = {
        {damaged, true, false, false},
        {Swapped(damaged), true, false, true},
        {unsure, false, true, false},
        {Swapped(unsure), false, true, false},
        {std::vector<uint8_t>(131072, 0xFF), false, false, false},
    };
    for (const auto& c : cases) {
        for (const char* name : {"x.bin", "x.VMU", "x.dcm", "x"}) {
            WriteFileBytes(dir_.File(name), c.bytes);
            const OrderGuess guess = GuessImageFileOrder(dir_.File(name));
            const std::string n = name;
            const bool byName = n == "x.bin" || n == "x.VMU";
            SCOPED_TRACE(n + " case " + std::to_string(&c - cases));
            EXPECT_EQ(guess.fromContent, c.fromContent);
            EXPECT_EQ(guess.Unsure(), c.isUnsure);
            EXPECT_EQ(guess.order, (c.fromContent ? c.natural : byName) ? ImageOrder::Natural
                                                                        : ImageOrder::Card);
        }
    }
}

TEST_F(ForeignFormatsTest, RawDumpIsListedChangedAndKeptInItsOwnOrder) {
    PlaceSaver(*card_, 0, Name12("KEPT"), 0x33, {199, 198}, 4);
    // The commands that wrote the card are over, and so is their lock.
    UnlockImage(*card_);
    std::string error;
    ASSERT_TRUE(
        ConvertImageFile(dir_.File("card.dcm"), dir_.File("card.bin"), ImageOrder::Natural, error))
        << error;
    EXPECT_EQ(ReadFileBytes(dir_.File("card.bin")), Swapped(ReadFileBytes(dir_.File("card.dcm"))));
    // Saving a card as a raw dump gives the same bytes.
    ASSERT_TRUE(SaveCardImage(dir_.File("saved.vmu"), *card_, ImageOrder::Natural));
    EXPECT_EQ(ReadFileBytes(dir_.File("saved.vmu")), ReadFileBytes(dir_.File("card.bin")));

    // The same change on the DCM and on the dump leaves them in step.
    const std::string dci = dir_.File("new.dci");
    WriteFileBytes(dci, MakeDciBytes(0x33, 0, 0, "ADDED", 3, 9));
    CardVolume dump;
    dump.Ui = &ui_;
    ASSERT_TRUE(dump.OpenImage(dir_.File("card.bin")));
    dump.Device = CardVolume::kImage;
    EXPECT_TRUE(dump.ImageNatural);
    ASSERT_TRUE(LoadVolume(dump));
    EXPECT_EQ(dump.Entries[0].TrimmedName(), "KEPT");
    ASSERT_TRUE(ImportDci(dci, dump));
    ASSERT_TRUE(ImportDci(dci, *card_));
    dump.CloseImage();
    EXPECT_EQ(GuessImageFileOrder(dir_.File("card.bin")).order, ImageOrder::Natural);
    ASSERT_TRUE(
        ConvertImageFile(dir_.File("card.bin"), dir_.File("back.dcm"), ImageOrder::Card, error));
    EXPECT_EQ(ReadFileBytes(dir_.File("back.dcm")), ReadFileBytes(dir_.File("card.dcm")));

    // A dump uploaded onto a card lands in card order.
    CardVolume target;
    ASSERT_TRUE(MakeImage(target, dir_.File("target.dcm")));
    ASSERT_TRUE(UploadCardImage(dir_.File("card.bin"), target));
    EXPECT_EQ(ReadFileBytes(dir_.File("target.dcm")), ReadFileBytes(dir_.File("card.dcm")));

    WriteFileBytes(dir_.File("short.bin"), std::vector<uint8_t>(1000));
    EXPECT_FALSE(
        ConvertImageFile(dir_.File("short.bin"), dir_.File("o.dcm"), ImageOrder::Card, error));
    EXPECT_FALSE(fs::exists(dir_.File("o.dcm")));
}

TEST_F(ForeignFormatsTest, VmsVmiExportThenImportGivesTheSameSaver) {
    PlaceSaver(*card_, 0, Name12("DATA SAVE"), 0x33, {199, 150, 198}, 0xFF);
    PlaceSaver(*card_, 1, Name12("A GAME"), 0xCC, {0, 1}, 0);
    CardVolume empty;
    empty.Ui = &ui_;
    ASSERT_TRUE(MakeImage(empty, dir_.File("empty.dcm")));
    for (int index : {0, 1}) {
        const std::string base = index == 0 ? "Data1" : "game";
        std::string error;
        ASSERT_TRUE(ExportVmsVmi(dir_.File(base + ".VMS"), dir_.File(base + ".VMI"), base, index,
                                 *card_, error))
            << error;
        const auto vmi = ReadFileBytes(dir_.File(base + ".VMI"));
        ASSERT_EQ(vmi.size(), 108u);
        EXPECT_EQ(vmi[0], base[0] & 'S');
        EXPECT_EQ(vmi[3], base[3] & 'A');
        EXPECT_EQ(std::memcmp(vmi.data() + 0x50, base.data(), base.size()), 0);
        EXPECT_EQ(vmi[0x64], index == 0 ? 1 : 2); // copy protected / game
        // The VMS is found by the resource name whatever the case.
        fs::rename(dir_.File(base + ".VMS"), dir_.File(base + ".vms"));
        VmsPair pair;
        ASSERT_TRUE(FindVmsPair(dir_.File(base + ".VMI"), pair, error)) << error;
        TempSaverFile dci;
        ASSERT_TRUE(BuildDciFromVms(pair, dci.Path(), 0, error)) << error;
        ASSERT_TRUE(ImportDci(dci.Path(), empty));
        ASSERT_TRUE(LoadVolume(empty));
        const SaverEntry& in = empty.Entries[index];
        const SaverEntry& out = card_->Entries[index];
        EXPECT_EQ(in.IsGame, index == 1);
        EXPECT_EQ(std::memcmp(in.Raw, out.Raw, 2), 0);
        EXPECT_EQ(std::memcmp(in.Raw + 4, out.Raw + 4, 22), 0);
        EXPECT_EQ(ChainBytes(empty, ChainOf(empty, ChainStart(in))),
                  ChainBytes(*card_, ChainOf(*card_, ChainStart(out))));
    }
    EXPECT_EQ(ChainOf(empty, 0), (std::vector<uint8_t>{0, 1}));
    // A VMS alone takes its name from the file, padded with blanks as on a card.
    fs::rename(dir_.File("Data1.vms"), dir_.File("lone.vms"));
    std::string error;
    TempSaverFile dci;
    ASSERT_TRUE(BuildDciFromVms(VmsPair{dir_.File("lone.vms"), ""}, dci.Path(), 0, error)) << error;
    const auto built = ReadFileBytes(dci.Path());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(built.data()) + SaverEntry::kNameOffset,
                          SaverEntry::kNameLength),
              "LONE        ");
}

TEST_F(ForeignFormatsTest, WrongVmiIsRefusedWithItsReasonAndNothingIsBuilt) {
    PlaceSaver(*card_, 0, Name12("SAVE"), 0x33, {199}, 0);
    std::string error;
    ASSERT_TRUE(ExportVmsVmi(dir_.File("S.VMS"), dir_.File("S.VMI"), "S", 0, *card_, error));
    const auto good = ReadFileBytes(dir_.File("S.VMI"));
    struct Case {
        int offset;
        uint8_t value;
        const char* says;
    };
    for (const Case& c : {Case{0, 0x00, "checksum"}, Case{0x69, 0x03, "bytes of data"},
                          Case{0x5A, 0x07, "saver name"}, Case{0x51, 0x0A, "resource name"}}) {
        auto bad = good;
        bad[c.offset] = c.value;
        WriteFileBytes(dir_.File("bad.vmi"), bad);
        VmsPair pair{dir_.File("S.VMS"), dir_.File("bad.vmi")};
        const std::string dci = dir_.File("out.dci");
        EXPECT_FALSE(BuildDciFromVms(pair, dci, 0, error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(dci));
    }
    std::string resource;
    EXPECT_FALSE(ResourceNameOf("/x/NINECHARS.VMS", resource, error));
    EXPECT_TRUE(ResourceNameOf("/x/EIGHTCHR.vms", resource, error));
    EXPECT_EQ(resource, "EIGHTCHR");
}

TEST(ShiftJisTest, DescriptionsDecodeAndBadBytesBecomeReplacementCharacters) {
    const uint8_t save[] = {'D',  'D',  'R',  ' ',  0x83, 0x5A, 0x81, 0x5B,
                            0x83, 0x75, 0xB6, 0xC0, 0x00, ' ',  ' '};
    EXPECT_EQ(DecodeShiftJis(save, sizeof save), "DDR セーブｶﾀ");
    const uint8_t bad[] = {'A', 0x81, 0x20, 'B', 0x83};
    EXPECT_EQ(DecodeShiftJis(bad, sizeof bad), "A\xEF\xBF\xBD B\xEF\xBF\xBD");
}

} // namespace
