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
#include <ctime>
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
        card_->Store().SetFeedback(&ui_);
        ASSERT_TRUE(MakeImage(*card_, dir_.File("card.dcm")));
    }
    TempDir dir_;
    RecordingFeedback ui_;
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
    dump.Store().SetFeedback(&ui_);
    ASSERT_TRUE(dump.OpenImage(dir_.File("card.bin")));
    dump.SetPlace(CardPlace::Image);
    EXPECT_TRUE(dump.Store().ImageNatural());
    ASSERT_TRUE(LoadVolume(dump));
    EXPECT_EQ(dump.Entries()[0].TrimmedName(), "KEPT");
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
    empty.Store().SetFeedback(&ui_);
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
        const SaverEntry& in = empty.Entries()[index];
        const SaverEntry& out = card_->Entries()[index];
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
    for (const Case& c : {Case{0x69, 0x03, "bytes of data"}, Case{0x5A, 0x07, "saver name"},
                          Case{0x51, 0x0A, "resource name"}, Case{-1, 0, "107 bytes long"}}) {
        auto bad = good;
        if (c.offset < 0)
            bad.pop_back();
        else
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

// A VMS + VMI pair as web archives hold them, made field by field.
struct HandPair {
    VmiFields vmi;
    std::vector<uint8_t> vms;
    std::vector<uint8_t> extra; // bytes after the VMI's 108
    const char* checksum = nullptr;

    HandPair() {
        std::memcpy(vmi.resource, "HAND", 4);
        std::memcpy(vmi.name, "HAND_SAVE.SY", 12);
        vmi.year = 2024, vmi.month = 1, vmi.day = 1, vmi.hour = 12, vmi.weekday = 1; // Monday
        vms.assign(1024, 0);
        for (size_t i = 0; i < vms.size(); ++i)
            vms[i] = static_cast<uint8_t>(i * 7 + 3);
        vms[0x40] = 0; // no icons
        vmi.dataBytes = static_cast<uint32_t>(vms.size());
    }
    // Writes DIR/HAND.VMS and DIR/HAND.VMI and builds their single-saver file.
    bool Build(TempDir& dir, VmsBuild& build, std::vector<uint8_t>& dci, std::string& error) {
        WriteFileBytes(dir.File("HAND.VMS"), vms);
        std::vector<uint8_t> bytes(kVmiSize);
        EncodeVmi(vmi, bytes.data());
        if (checksum != nullptr)
            std::memcpy(bytes.data(), checksum, 4);
        bytes.insert(bytes.end(), extra.begin(), extra.end());
        WriteFileBytes(dir.File("HAND.VMI"), bytes);
        const bool built = BuildDciFromVms(VmsPair{dir.File("HAND.VMS"), dir.File("HAND.VMI")},
                                           dir.File("hand.dci"), build, error);
        dci = built ? ReadFileBytes(dir.File("hand.dci")) : std::vector<uint8_t>();
        return built;
    }
};

// Local noon of a date, as the card's clock would read it.
std::time_t LocalNoon(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day, t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

// What the console's browser and other writers put in VMIs crosses to the
// card and back: the weekday counted from Sunday there and from Monday on the
// card, the copy byte, the file-screen description, the mode and the size.
TEST_F(ForeignFormatsTest, VmiFieldsCrossToTheCardAndBack) {
    for (const bool protect : {false, true}) {
        HandPair pair;
        pair.checksum = "ADD@"; // the console's own browser
        pair.vmi.mode = protect ? VmiFields::kModeProtected : 0;
        VmsBuild build;
        std::vector<uint8_t> dci;
        std::string error;
        ASSERT_TRUE(pair.Build(dir_, build, dci, error)) << error;
        EXPECT_NE(build.advice.find("checksum"), std::string::npos) << build.advice;
        const uint8_t stamp[8] = {0x20, 0x24, 0x01, 0x01, 0x12, 0x00, 0x00, 0x00};
        EXPECT_EQ(std::memcmp(dci.data() + 16, stamp, 8), 0); // Monday is 0 on the card
        EXPECT_EQ(dci[1], protect ? 0xFF : 0x00);
    }
    // On the card: a Wednesday (02, as the template root) saver, byte 1 0x80
    // as a real card holds it, a Shift-JIS file-screen text in the header.
    PlaceSaver(*card_, 0, Name12("WEDNESDAY"), 0x33, {199, 198}, 0x80);
    uint8_t header[512];
    ASSERT_TRUE(card_->ReadRawBlock(card_->Device(), 199, header));
    SwapWords(header);
    const char text[] = "\x83\x5A\x81\x5B\x83\x75 FILE SCREEN TEXT";
    std::memcpy(header + 0x10, text, sizeof text - 1);
    SwapWords(header);
    ASSERT_TRUE(card_->WriteRawBlock(card_->Device(), 199, header));
    const uint8_t wednesday[8] = {0x19, 0x99, 0x10, 0x27, 0x04, 0x54, 0x52, 0x02};
    std::memcpy(card_->Entries()[0].Raw + 16, wednesday, 8);
    card_->WriteDirectory();
    ASSERT_TRUE(LoadVolume(*card_));
    std::string error;
    ASSERT_TRUE(ExportVmsVmi(dir_.File("W.VMS"), dir_.File("W.VMI"), "W", 0, *card_, error));
    const auto vmiBytes = ReadFileBytes(dir_.File("W.VMI"));
    VmiFields back;
    VmiAdvice advice;
    ASSERT_TRUE(DecodeVmi(vmiBytes.data(), vmiBytes.size(), back, advice, error)) << error;
    EXPECT_FALSE(advice.Any());
    EXPECT_EQ(back.weekday, 3); // Wednesday counted from Sunday
    EXPECT_EQ(back.year, 1999);
    EXPECT_EQ(back.mode, 0); // 0x80 is no protection
    EXPECT_EQ(std::memcmp(back.description, text, sizeof text - 1), 0);
    // ... and the pair comes back in with the stamp it left with.
    TempSaverFile dci;
    ASSERT_TRUE(
        BuildDciFromVms(VmsPair{dir_.File("W.VMS"), dir_.File("W.VMI")}, dci.Path(), 0, error));
    EXPECT_EQ(std::memcmp(ReadFileBytes(dci.Path()).data() + 16, wednesday, 8), 0);
}

// The time fields at their limits and just past them, a file longer than 108
// bytes and a VMS that is not whole blocks: imported (with a word where
// something was gone past), never with an impossible stamp on the card.
TEST_F(ForeignFormatsTest, VmiAtItsLimitsImportsDatedNowOrIsRefused) {
    const std::time_t now = LocalNoon(2024, 1, 3); // a Wednesday
    const std::vector<uint8_t> nowStamp = {0x20, 0x24, 0x01, 0x03, 0x12, 0x00, 0x00, 0x02};
    struct Case {
        uint16_t year;
        uint8_t month, day, hour, minute, second, weekday;
        std::vector<uint8_t> stamp; // empty: impossible, dated now
    };
    const Case cases[] = {
        {9999, 12, 31, 23, 59, 59, 6, {0x99, 0x99, 0x12, 0x31, 0x23, 0x59, 0x59, 0x05}},
        {2000, 2, 29, 0, 0, 0, 2, {0x20, 0x00, 0x02, 0x29, 0x00, 0x00, 0x00, 0x01}},
        {288, 5, 39, 0, 0, 0, 0, {}},
        {39193, 16, 1, 0, 0, 0, 0, {}},
        {1900, 2, 29, 0, 0, 0, 0, {}},
        {2024, 1, 1, 24, 0, 0, 0, {}},
        {2024, 1, 1, 0, 0, 60, 0, {}},
        {2024, 1, 1, 0, 0, 0, 7, {}},
    };
    for (const Case& c : cases) {
        HandPair pair;
        VmiFields& f = pair.vmi;
        f.year = c.year, f.month = c.month, f.day = c.day, f.hour = c.hour, f.minute = c.minute;
        f.second = c.second, f.weekday = c.weekday;
        VmsBuild build;
        build.now = now;
        std::vector<uint8_t> dci;
        std::string error;
        ASSERT_TRUE(pair.Build(dir_, build, dci, error)) << c.year << ": " << error;
        EXPECT_EQ(std::vector<uint8_t>(dci.begin() + 16, dci.begin() + 24),
                  c.stamp.empty() ? nowStamp : c.stamp)
            << c.year;
        EXPECT_EQ(build.advice.find("impossible") != std::string::npos, c.stamp.empty()) << c.year;
    }
    HandPair longer;
    longer.extra.assign(4, 0xEE);
    VmsBuild build;
    std::vector<uint8_t> dci;
    std::string error;
    ASSERT_TRUE(longer.Build(dir_, build, dci, error)) << error;
    EXPECT_NE(build.advice.find("112 bytes long"), std::string::npos) << build.advice;
    // A 600-byte VMS is two blocks on the card and 1024 bytes out again.
    HandPair odd;
    odd.vms.resize(600);
    odd.vmi.dataBytes = 600;
    ASSERT_TRUE(odd.Build(dir_, build, dci, error));
    EXPECT_EQ(dci[24], 2);
    ASSERT_TRUE(ImportDci(dir_.File("hand.dci"), *card_));
    ASSERT_TRUE(LoadVolume(*card_));
    ASSERT_TRUE(ExportVmsVmi(dir_.File("O.VMS"), dir_.File("O.VMI"), "O", 0, *card_, error));
    odd.vms.resize(1024);
    EXPECT_EQ(ReadFileBytes(dir_.File("O.VMS")), odd.vms);
}

TEST(ShiftJisTest, DescriptionsDecodeAndBadBytesBecomeReplacementCharacters) {
    const uint8_t save[] = {'D',  'D',  'R',  ' ',  0x83, 0x5A, 0x81, 0x5B,
                            0x83, 0x75, 0xB6, 0xC0, 0x00, ' ',  ' '};
    EXPECT_EQ(DecodeShiftJis(save, sizeof save), "DDR セーブｶﾀ");
    const uint8_t bad[] = {'A', 0x81, 0x20, 'B', 0x83};
    EXPECT_EQ(DecodeShiftJis(bad, sizeof bad), "A\xEF\xBF\xBD B\xEF\xBF\xBD");
}

} // namespace
