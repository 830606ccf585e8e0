#include "card/DemoCards.h"

#include "card/CardListing.h"
#include "card/DciFile.h"
#include "card/DemoSavers.h"
#include "card/SideFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kDemoUserBlocks = 200;

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

// Puts a finished card in place without ever replacing a file: a hard link
// fails when the name was taken in the meantime (which is fine: that card is
// kept). Where the file system has no hard links, a rename after a last look
// has to do.
bool PlaceWithoutReplacing(const std::string& scratch, const std::string& path,
                           std::string* error) {
    if (::link(scratch.c_str(), path.c_str()) == 0 || errno == EEXIST) {
        Remove(scratch);
        return true;
    }
    std::error_code ec;
    if (!Exists(path))
        fs::rename(scratch, path, ec);
    Remove(scratch);
    if (ec)
        return Fail(error, "cannot write " + path + ": " + ec.message());
    return true;
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

// A formatted card with the demo savers, under a scratch name.
bool BuildSlot1(const std::string& scratch, std::string* error) {
    auto card = std::make_unique<CardVolume>();
    card->Device = CardVolume::kImage;
    bool ok = card->OpenImage(scratch) && !card->ImageReadOnly &&
              card->FormatVolume(kDemoUserBlocks) && card->ReadDirectory();
    if (!ok) {
        card->CloseImage();
        return Fail(error, "cannot write " + scratch);
    }
    const std::string dci = scratch + ".dci";
    // The game first: it needs blocks 0 up, data savers fill from the top.
    ok = ImportDemoSaver(*card, dci, WriteDemoGameDci, scratch, error) &&
         ImportDemoSaver(*card, dci, WriteDemoDataDci, scratch, error) &&
         ImportDemoSaver(*card, dci, WriteDemoLogoDci, scratch, error);
    card->CloseImage();
    return ok;
}

bool EnsureCard(const std::string& folder, const char* name, bool withSavers, std::string* error) {
    const std::string path = SideFilePath(folder, name);
    if (Exists(path))
        return true;
    const std::string scratch = path + ".new" + std::to_string(::getpid());
    Remove(scratch);
    const bool built = withSavers ? BuildSlot1(scratch, error) : WriteImageTemplate(scratch);
    if (!built) {
        Remove(scratch);
        return withSavers ? false : Fail(error, "cannot write " + scratch);
    }
    return PlaceWithoutReplacing(scratch, path, error);
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
