#include "card/DemoCards.h"

#include "base/AtomicFile.h"

#include "card/CardListing.h"
#include "card/DciFile.h"
#include "card/DemoSavers.h"
#include "card/SideFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr)
        *error = text;
    return false;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

void Remove(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// Imports one demo saver from its single-saver file; the listing is taken
// again first, since the import checks the free count it holds.
bool ImportDemoSaver(CardVolume& card, const std::string& dci, bool (*write)(const std::string&),
                     const std::string& cardPath, std::string* error) {
    if (!write(dci))
        return Fail(error, "cannot write " + dci + ": " + std::strerror(errno));
    ListSavers(card);
    DciImportResult result = DciImportResult::WriteFailed;
    const bool done = ImportDci(dci, card, &result) && result == DciImportResult::Imported;
    Remove(dci);
    if (!done)
        return Fail(error, "cannot place a demo saver on " + cardPath);
    return true;
}

// A formatted card with the demo savers, built in image (131072 bytes);
// dci is the scratch name its savers pass through.
bool BuildSlot1(uint8_t* image, const std::string& dci, std::string* error) {
    auto card = std::make_unique<CardVolume>();
    std::memset(image, 0xFF, static_cast<size_t>(CardVolume::kCardBytes));
    bool ok = OpenMemoryImage(*card, image) && card->FormatVolume(kTemplateUserBlocks) &&
              card->ReadDirectory();
    if (!ok)
        return Fail(error, "cannot build the demo card");
    // The game first: it needs blocks 0 up, data savers fill from the top.
    ok = ImportDemoSaver(*card, dci, WriteDemoGameDci, "the demo card", error) &&
         ImportDemoSaver(*card, dci, WriteDemoDataDci, "the demo card", error) &&
         ImportDemoSaver(*card, dci, WriteDemoLogoDci, "the demo card", error);
    card->CloseImage();
    return ok;
}

bool EnsureCard(const std::string& folder, const char* name, bool withSavers, std::string* error) {
    const std::string path = SideFilePath(folder, name);
    if (Exists(path))
        return true;
    AtomicFile file(path, true);
    if (!file.Ready())
        return Fail(error, "cannot write " + path + ": " + file.Error());
    auto image = std::make_unique<uint8_t[]>(CardVolume::kCardBytes);
    const bool built = withSavers ? BuildSlot1(image.get(), file.Path() + ".dci", error)
                                  : FormatBlankImage(image.get());
    if (!built)
        return withSavers ? false : Fail(error, "cannot build the blank card");
    if (!file.Write(image.get(), CardVolume::kCardBytes))
        return Fail(error, "cannot write " + path + ": " + file.Error());
    // A card another program put there meanwhile is kept.
    if (!file.Commit(false) && file.ErrorNumber() != EEXIST)
        return Fail(error, "cannot write " + path + ": " + file.Error());
    return true;
}

} // namespace

bool EnsureDemoCards(const std::string& folder, std::string* error) {
    if (!folder.empty()) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec)
            return Fail(error, "cannot create " + folder + ": " + ec.message());
    }
    return EnsureCard(folder, "slot1.dcm", true, error) &&
           EnsureCard(folder, "slot2.dcm", false, error);
}
