// The cards of one window: what Open binds, when link work counts as busy and
// what it holds, and the questions the session asks the box.
#include "card/support/CardTestSupport.h"

#include "card/CardJournal.h"
#include "card/CardSession.h"
#include "card/DemoCards.h"
#include "card/LoadVolume.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "settings/ConfigFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

namespace {

using cardtest::RecordingFeedback;
using cardtest::TempDir;

// "RUD2.cfg" with this port, zero delays and the history as given.
void WriteConfig(const TempDir& dir, int port, int keepHistory) {
    std::ofstream(dir.File(kConfigFileName), std::ios::binary | std::ios::trunc)
        << port << "\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n1\r\n1\r\n"
        << keepHistory << "\r\n0\r\n";
}

// A session on an emulated box whose device the test keeps a hand on.
class CardSessionTest : public ::testing::Test {
  protected:
    void OpenTwoSlot() {
        ASSERT_TRUE(EnsureDemoCards(dir_.Path().string()));
        auto device = std::make_unique<TwoSlotDevice>(dir_.Path().string());
        twoSlot_ = device.get();
        Open(std::move(device));
    }
    void OpenPaged(int pages, uint16_t page) {
        const std::string file = dir_.File("paged.bin");
        std::ofstream(file, std::ios::binary).close();
        std::filesystem::resize_file(file,
                                     static_cast<std::uintmax_t>(pages) * BoxDevice::kCardSize);
        auto device = std::make_unique<PagedDevice>(file);
        ASSERT_TRUE(device->SetPage(page));
        paged_ = device.get();
        Open(std::move(device));
    }
    LinkBox& Box() { return backend_->Box(); }

    TempDir dir_;
    RecordingFeedback ui_;
    CardSession session_;
    TwoSlotDevice* twoSlot_ = nullptr;
    PagedDevice* paged_ = nullptr;
    EmulatorBackend* backend_ = nullptr;

  private:
    void Open(std::unique_ptr<BoxDevice> device) {
        WriteConfig(dir_, 888, 1);
        auto backend = std::make_unique<EmulatorBackend>(std::move(device));
        backend_ = backend.get();
        session_.Open(std::move(backend), nullptr, &ui_, dir_.Path().string());
        ASSERT_TRUE(session_.Link().DetectDevice());
    }
};

} // namespace

// The folder's settings reach the link and the history, every place's volume
// reaches this link, settings, feedback and history, and a second Open
// forgets what was loaded. A settings file that cannot be read is named and
// the defaults hold.
TEST(CardSessionOpenTest, BindsTheFolderSettingsAndEveryPlace) {
    TempDir dir;
    WriteConfig(dir, 632, 0);
    CardSession session;
    RecordingFeedback ui;
    session.Open(
        std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.Path().string())),
        nullptr, &ui, dir.Path().string());
    EXPECT_EQ(session.ConfigError(), "");
    EXPECT_EQ(session.StartDir().back(), '/');
    EXPECT_EQ(session.Link().BasePort, 632);
    EXPECT_EQ(session.Link().LongDelay, 0);
    EXPECT_FALSE(session.Journal().Enabled);
    EXPECT_TRUE(std::filesystem::exists(dir.File("NA.bmp")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("dpnw.dc")));
    for (CardPlace place : kCardPlaces) {
        CardVolume& v = session.Volume(place);
        EXPECT_EQ(v.Place(), place);
        EXPECT_EQ(v.Store().Link(), &session.Link());
        EXPECT_EQ(v.Store().Config(), &session.Config());
        EXPECT_EQ(v.Store().Feedback(), &ui);
        EXPECT_EQ(v.Store().Recorder(), &session.Journal());
        session.SetLoaded(place, true);
    }

    // Changed settings hold once applied.
    session.Config().BasePort = 888;
    session.Config().KeepHistory = 1;
    session.ApplyConfig();
    EXPECT_EQ(session.Link().BasePort, 888);
    EXPECT_TRUE(session.Journal().Enabled);

    std::filesystem::remove(dir.File(kConfigFileName));
    std::filesystem::create_directory(dir.File(kConfigFileName));
    session.Open(
        std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.Path().string())),
        nullptr, &ui, dir.Path().string());
    EXPECT_NE(session.ConfigError(), "");
    EXPECT_EQ(session.Link().BasePort, Settings{}.BasePort);
    EXPECT_TRUE(session.Journal().Enabled);
    for (CardPlace place : kCardPlaces)
        EXPECT_FALSE(session.Loaded(place)) << PlaceIndex(place);

    // Detached volumes no longer reach the link.
    session.Detach();
    for (CardPlace place : kCardPlaces)
        EXPECT_EQ(session.Volume(place).Store().Link(), nullptr);
}

// Link work nests: busy from the outermost start to its end, told idle once.
// Within it a slot block is read from the box once; the next link work reads
// the card again. The open image holds a shared lock for it, and none after.
TEST_F(CardSessionTest, LinkWorkIsBusyOnceHoldsTheCacheAndTheImageLock) {
    OpenTwoSlot();
    CardVolume& image = session_.Volume(CardPlace::Image);
    ASSERT_TRUE(image.OpenImage(dir_.File("image.dcm")));
    const int other = ::open(dir_.File("image.dcm").c_str(), O_RDONLY);
    ASSERT_GE(other, 0);
    const auto anotherCanWrite = [&] {
        if (::flock(other, LOCK_EX | LOCK_NB) != 0)
            return false;
        ::flock(other, LOCK_UN);
        return true;
    };
    int idle = 0;
    session_.SetOnLinkIdle([&] { ++idle; });
    CardVolume& slot1 = session_.Volume(CardPlace::Slot1);
    uint8_t block[CardVolume::kBlockSize];
    uint64_t firstRead = 0;
    EXPECT_FALSE(session_.LinkBusy());
    {
        CardSession::LinkWork outer(session_);
        EXPECT_TRUE(session_.LinkBusy());
        EXPECT_EQ(image.Store().ImageLockHeld(), 1);
        EXPECT_FALSE(anotherCanWrite());
        uint64_t before = Box().Tally().blockReads;
        ASSERT_TRUE(slot1.ReadRawBlock(0, 255, block));
        firstRead = Box().Tally().blockReads - before;
        EXPECT_GT(firstRead, 0u);
        {
            CardSession::LinkWork inner(session_);
            before = Box().Tally().blockReads;
            ASSERT_TRUE(slot1.ReadRawBlock(0, 255, block));
            EXPECT_EQ(Box().Tally().blockReads, before);
        }
        EXPECT_EQ(idle, 0);
        EXPECT_TRUE(session_.LinkBusy());
        EXPECT_EQ(image.Store().ImageLockHeld(), 1);
    }
    EXPECT_EQ(idle, 1);
    EXPECT_FALSE(session_.LinkBusy());
    EXPECT_EQ(image.Store().ImageLockHeld(), 0);
    EXPECT_TRUE(anotherCanWrite());
    {
        CardSession::LinkWork again(session_);
        const uint64_t before = Box().Tally().blockReads;
        ASSERT_TRUE(slot1.ReadRawBlock(0, 255, block));
        EXPECT_EQ(Box().Tally().blockReads - before, firstRead);
    }
    EXPECT_EQ(idle, 2);
    ::close(other);
}

// Which slot holds a card, as the two-slot unit says; never the image; no
// box, no card.
TEST_F(CardSessionTest, CardPresentAsTheUnitSays) {
    OpenTwoSlot();
    EXPECT_TRUE(session_.CardPresent(CardPlace::Slot1));
    EXPECT_TRUE(session_.CardPresent(CardPlace::Slot2));
    EXPECT_FALSE(session_.CardPresent(CardPlace::Image));
    twoSlot_->SetCardPresent(1, false);
    EXPECT_TRUE(session_.CardPresent(CardPlace::Slot1));
    EXPECT_FALSE(session_.CardPresent(CardPlace::Slot2));
    Box().Faults().noBox = true;
    EXPECT_FALSE(session_.CardPresent(CardPlace::Slot1));
}

// The paged card counts as present, reports its last page as the highest,
// and is left on the page it was on; with no answer from the box the page
// state stays as it was.
TEST_F(CardSessionTest, PageInfoOfThePagedCardGoesBackToItsPage) {
    OpenPaged(4, 2);
    ASSERT_TRUE(session_.Link().DirectMode);
    EXPECT_TRUE(session_.CardPresent(CardPlace::Slot1));
    int idle = 0;
    session_.SetOnLinkIdle([&] { ++idle; });
    session_.ReadPageInfo();
    EXPECT_EQ(session_.HighestPage(), 3);
    EXPECT_EQ(session_.CurrentPage(), 2);
    EXPECT_EQ(paged_->CurrentPage(), 2);
    EXPECT_EQ(idle, 1); // asked as link work

    session_.SetCurrentPage(1);
    session_.SetHighestPage(7);
    Box().Faults().noBox = true;
    session_.ReadPageInfo();
    EXPECT_EQ(session_.CurrentPage(), 1);
    EXPECT_EQ(session_.HighestPage(), 7);
    EXPECT_EQ(paged_->CurrentPage(), 2);
}

// The selection keeps the saver's name and volume, whose place is found
// again; a volume of no place has none.
TEST_F(CardSessionTest, SelectionNamesTheSaverAndItsPlace) {
    OpenTwoSlot();
    CardVolume& image = session_.Volume(CardPlace::Image);
    ASSERT_TRUE(image.OpenImage(dir_.File("slot1.dcm")));
    ASSERT_TRUE(LoadVolume(image));
    const int entry = image.ListMap()[1];
    session_.Select(CardPlace::Image, entry);
    EXPECT_EQ(session_.SelectedName(), image.Entries()[entry].Name);
    EXPECT_EQ(session_.SelectedEntry(), entry);
    CardPlace place = CardPlace::Slot1;
    ASSERT_TRUE(session_.PlaceOf(session_.SelectedVolume(), place));
    EXPECT_EQ(place, CardPlace::Image);
    CardVolume stranger;
    EXPECT_FALSE(session_.PlaceOf(&stranger, place));
    session_.ClearSelection();
    EXPECT_EQ(session_.SelectedVolume(), nullptr);
    EXPECT_EQ(session_.SelectedName(), "");
}
