// The paths a write takes when it must not go ahead: an image another
// program holds, a write of ours left in doubt, a shared lock that must
// become exclusive, and blocks kept from another page of the paged card.
#include "card/CardCheck.h"
#include "card/DciFile.h"
#include "card/ImageLock.h"
#include "card/JournalCommands.h"
#include "card/SameCard.h"
#include "card/TransferEngine.h"
#include "card/support/EngineSupport.h"
#include "link/LinkPort.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

using namespace engine_test;

namespace {

// Another program's hold on a file: a descriptor of its own.
struct OtherProgram {
    explicit OtherProgram(const std::string& path) : fd(::open(path.c_str(), O_RDWR)) {}
    ~OtherProgram() { ::close(fd); }
    bool Lock(int operation) const { return ::flock(fd, operation | LOCK_NB) == 0; }
    int fd;
};

} // namespace

TEST(FailurePaths, EveryWriterRefusesAnImageHeldElsewhereOrLeftInDoubt) {
    TempDir dir;
    RecordingFeedback ui;
    CardJournal journal(dir.Path().string());
    CardVolume card;
    card.Store().SetFeedback(&ui);
    const std::string path = dir.File("card.dcm");
    ASSERT_TRUE(MakeImage(card, path));
    PlaceSaver(card, 0, Name12("ALPHA"), 0x33, {199, 198}, 1);
    PlaceSaver(card, 1, Name12("BRAVO"), 0x33, {197}, 2);
    DamageTable(card, {{50, CardVolume::kFatEnd}}); // a leak for the repair
    card.Store().SetRecorder(&journal);
    ASSERT_TRUE(DeleteSaver(card, 0)); // for undo and recover
    ASSERT_TRUE(LoadVolume(card));
    const std::string dci = dir.File("new.dci");
    WriteFileBytes(dci, MakeDciBytes(0x33, 0, 0, "NEW", 2, 7));

    const struct {
        const char* name;
        bool inDoubtToo;
        std::function<bool()> write;
    } writers[] = {
        {"repair", false,
         [&] {
             CardRepairReport r;
             return RepairCard(card, r) && !r.repairs.empty();
         }},
        {"import", true, [&] { return ImportDci(dci, card); }},
        {"delete", true, [&] { return DeleteSaver(card, EntryNamed(card, Name12("BRAVO"))); }},
        {"format", true, [&] { return card.FormatVolume(200); }},
        {"undo", false, [&] { return UndoLastChange(card, journal).done; }},
        {"recover", false, [&] { return RecoverSavers(card, journal, "").outcome.done; }},
    };
    const auto before = ReadFileBytes(path);
    for (const auto& w : writers) {
        SCOPED_TRACE(w.name);
        // The command before is over: it let its lock go.
        UnlockImage(card);
        {
            // Even a reader keeps every writer out.
            OtherProgram other(path);
            ASSERT_TRUE(other.Lock(LOCK_SH));
            EXPECT_FALSE(w.write());
            EXPECT_EQ(ReadFileBytes(path), before);
        }
        ASSERT_TRUE(LoadVolume(card));
        if (!w.inDoubtToo)
            continue;
        // A table write of ours that failed: the card holds who knows what.
        card.Store().SetImageReadOnly(true);
        EXPECT_FALSE(card.WriteFat());
        card.Store().SetImageReadOnly(false);
        EXPECT_FALSE(w.write());
        EXPECT_EQ(ReadFileBytes(path), before);
        ASSERT_TRUE(LoadVolume(card));
    }
    // Free again, they go through (the undo takes back a delete: undoing the
    // repair would bring its damage back, which is refused whatever the lock).
    UnlockImage(card);
    EXPECT_TRUE(writers[0].write());
    EXPECT_TRUE(writers[2].write());
    EXPECT_TRUE(writers[4].write());
}

TEST(FailurePaths, ASharedLockRaisedToExclusiveKeepsItOrSeesWhatCameBetween) {
    TempDir dir;
    RecordingFeedback ui;
    CardVolume card;
    card.Store().SetFeedback(&ui);
    const std::string path = dir.File("card.dcm");
    ASSERT_TRUE(MakeImage(card, path));
    PlaceSaver(card, 0, Name12("ALPHA"), 0x33, {199, 198}, 1);
    UnlockImage(card);
    // Readers wait for a writer, and then read nothing.
    {
        OtherProgram writer(path);
        ASSERT_TRUE(writer.Lock(LOCK_EX));
        EXPECT_EQ(LoadVolume(card).state, VolumeLoad::Failed);
        CardCheckReport report;
        EXPECT_FALSE(CheckCard(card, report));
        EXPECT_TRUE(report.busy);
        EXPECT_EQ(ui.warnings.size(), 1u);
    }
    ASSERT_TRUE(LoadVolume(card)); // read under a shared lock
    ASSERT_EQ(card.Store().ImageLockHeld(), 1);

    // Another reader stays: the raise fails, and the shared lock is still ours.
    {
        OtherProgram reader(path);
        ASSERT_TRUE(reader.Lock(LOCK_SH));
        EXPECT_EQ(CompareWithListing(card), ListingMatch::Busy);
    }
    EXPECT_EQ(card.Store().ImageLockHeld(), 1);
    EXPECT_FALSE(OtherProgram(path).Lock(LOCK_EX));

    // A writer that comes in while the lock is raised is seen afterwards.
    OtherProgram writer(path);
    ASSERT_TRUE(writer.Lock(LOCK_SH));
    std::thread between([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!writer.Lock(LOCK_EX))
            return;
        auto bytes = ReadFileBytes(path);
        bytes[254 * 512 + 40] ^= 0xFF;
        WriteFileBytes(path, bytes);
        ::flock(writer.fd, LOCK_UN);
    });
    const ListingMatch raised = CompareWithListing(card);
    between.join();
    EXPECT_EQ(raised, ListingMatch::Changed);
    EXPECT_EQ(card.Store().ImageLockHeld(), 2);

    // One that keeps the image past the wait: no lock is ours, none claimed.
    UnlockImage(card);
    ASSERT_TRUE(LoadVolume(card));
    ASSERT_TRUE(writer.Lock(LOCK_SH));
    std::thread keeps([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        writer.Lock(LOCK_EX);
    });
    EXPECT_EQ(CompareWithListing(card), ListingMatch::Busy);
    keeps.join();
    EXPECT_EQ(card.Store().ImageLockHeld(), 0);
}

TEST(FailurePaths, TheBlockCacheNeverServesAnotherPage) {
    TempDir dir;
    RecordingFeedback ui;
    CardVolume a, b;
    ASSERT_TRUE(MakeImage(a, dir.File("a.dcm")));
    PlaceSaver(a, 0, Name12("ON PAGE 0"), 0x33, {199, 198}, 1);
    ASSERT_TRUE(MakeImage(b, dir.File("b.dcm")));
    PlaceSaver(b, 0, Name12("ON PAGE 1"), 0x33, {199}, 2);
    auto pages = ReadFileBytes(dir.File("a.dcm"));
    const auto second = ReadFileBytes(dir.File("b.dcm"));
    pages.insert(pages.end(), second.begin(), second.end());
    const std::string file = dir.File("paged.bin");
    WriteFileBytes(file, pages);
    LinkPort link(std::make_unique<EmulatorBackend>(std::make_unique<PagedDevice>(file)), nullptr);
    link.ShortDelay = link.LongDelay = link.LongestDelay = 0;
    ASSERT_TRUE(link.DetectDevice());
    ASSERT_TRUE(link.SetPage(0));
    Settings settings;
    CardVolume vol;
    vol.SetPlace(CardPlace::Slot1);
    vol.Store().SetLink(&link);
    vol.Store().SetConfig(&settings);
    vol.Store().SetFeedback(&ui);
    const auto block = [&](int page, int n) {
        const size_t at = static_cast<size_t>(page) * 131072 + static_cast<size_t>(n) * 512;
        return std::vector<uint8_t>(pages.begin() + at, pages.begin() + at + 512);
    };

    BlockCacheScope command(vol);
    ASSERT_TRUE(LoadVolume(vol));
    std::vector<uint8_t> got(512);
    ASSERT_TRUE(vol.ReadRawBlock(0, 199, got.data()));
    ASSERT_EQ(got, block(0, 199));
    ASSERT_TRUE(link.SetPage(1));
    ASSERT_TRUE(vol.ReadRawBlock(0, 199, got.data()));
    EXPECT_EQ(got, block(1, 199));
    EXPECT_EQ(CompareWithListing(vol), ListingMatch::Changed);
    // A write on page 1 of page 0's bytes: what page 0 held is no guide to
    // what this page holds, so the block is sent whole.
    const auto data = block(0, 198);
    ASSERT_TRUE(link.SetPage(0));
    ASSERT_TRUE(vol.ReadRawBlock(0, 198, got.data()));
    ASSERT_TRUE(link.SetPage(1));
    ASSERT_TRUE(vol.WriteRawBlock(0, 198, data.data()));
    const auto now = ReadFileBytes(file);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), now.begin() + 131072 + 198 * 512));
    EXPECT_TRUE(ui.infos.empty());
}
