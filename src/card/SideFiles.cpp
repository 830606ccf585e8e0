#include "card/SideFiles.h"

#include "base/AtomicFile.h"
#include "base/SafeFile.h"

#include "card/CardFeedback.h"
#include "card/CardVolume.h"
#include "card/IconBmp.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Letters of the "no icon" picture, 5 x 7, one string per row.
constexpr const char* kLetterN[7] = {"X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X", "X...X"};
constexpr const char* kLetterA[7] = {".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"};

enum Colour : uint8_t { kBackground = 0, kFrame = 1, kInk = 2 };

void SetColour(uint8_t* area, int index, uint8_t blue, uint8_t green, uint8_t red) {
    const size_t at = IconArea::PaletteOffset(index);
    area[at] = blue;
    area[at + 1] = green;
    area[at + 2] = red;
}

// Draws a letter at twice its size with its top left corner at (top, left).
void DrawLetter(uint8_t* area, const char* const rows[7], int top, int left) {
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 5; ++c) {
            if (rows[r][c] != 'X')
                continue;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx)
                    area[IconArea::PixelOffset(top + 2 * r + dy, left + 2 * c + dx)] = kInk;
            }
        }
    }
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::string SystemReason(const std::string& path, int error) {
    return path + ": " + FileErrorText(error);
}

void Warn(CardFeedback* ui, const std::string& text) {
    if (ui != nullptr)
        ui->ShowWarning(text);
}

} // namespace

std::string SideFilePath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return (fs::path(folder) / name).string();
}

bool OpenMemoryImage(CardVolume& volume, uint8_t* image) {
    volume.CloseImage();
    // "r+": read and written in place, never emptied.
    std::FILE* stream = ::fmemopen(image, static_cast<size_t>(CardVolume::kCardBytes), "r+");
    if (stream == nullptr)
        return false;
    std::setvbuf(stream, nullptr, _IONBF, 0);
    volume.SetPlace(CardPlace::Image);
    volume.Store().OpenStream(stream, false);
    return true;
}

bool FormatBlankImage(uint8_t* image) {
    std::memset(image, 0xFF, static_cast<size_t>(CardVolume::kCardBytes));
    auto card = std::make_unique<CardVolume>();
    const bool ok = OpenMemoryImage(*card, image) && card->FormatVolume(kTemplateUserBlocks);
    card->CloseImage();
    return ok;
}

bool WriteImageTemplate(const std::string& path) {
    // Built in memory and moved into place whole, so that a template is
    // never seen half written; a link under the name is not replaced.
    auto image = std::make_unique<uint8_t[]>(CardVolume::kCardBytes);
    if (!FormatBlankImage(image.get()))
        return false;
    AtomicFile file(path, true);
    return file.Ready() && file.Write(image.get(), CardVolume::kCardBytes) && file.Commit();
}

void DrawNoIconPicture(uint8_t* area) {
    std::memset(area, 0, IconArea::kSize);
    SetColour(area, kBackground, 0xD8, 0xD8, 0xD8);
    SetColour(area, kFrame, 0x60, 0x60, 0x60);
    SetColour(area, kInk, 0x30, 0x30, 0xC0);
    for (int y = 0; y < IconArea::kHeight; ++y) {
        for (int x = 0; x < IconArea::kWidth; ++x) {
            const bool edge = y == 0 || y == 31 || x == 0 || x == 31;
            area[IconArea::PixelOffset(y, x)] = edge ? kFrame : kBackground;
        }
    }
    DrawLetter(area, kLetterN, 9, 5);
    DrawLetter(area, kLetterA, 9, 17);
}

bool WriteNoIconPicture(const std::string& path) {
    uint8_t area[IconArea::kSize];
    DrawNoIconPicture(area);
    return WriteIconBmp(area, path);
}

bool EnsureSideFiles(const std::string& folder) {
    const std::string tpl = SideFilePath(folder, kTemplateFileName);
    const std::string na = SideFilePath(folder, kNoIconFileName);
    bool ok = true;
    if (!Exists(tpl))
        ok = WriteImageTemplate(tpl) && ok;
    if (!Exists(na))
        ok = WriteNoIconPicture(na) && ok;
    return ok;
}

bool CreateImageFromTemplate(const std::string& folder, const std::string& path, CardFeedback* ui) {
    const std::string tpl = SideFilePath(folder, kTemplateFileName);
    if (!Exists(tpl))
        WriteImageTemplate(tpl);
    // Never a FIFO, nor a link another user put under the name.
    const int fd = OpenFileForReading(tpl, false);
    std::FILE* in = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (in == nullptr) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        Warn(ui, SystemReason(tpl, error));
        return false;
    }
    std::vector<uint8_t> image(static_cast<size_t>(CardVolume::kCardBytes));
    const size_t got = std::fread(image.data(), 1, image.size(), in);
    const bool readError = std::ferror(in) != 0;
    const int readErrno = errno;
    std::fclose(in);
    if (readError) {
        Warn(ui, SystemReason(tpl, readErrno));
        return false;
    }
    if (got != image.size()) {
        if (ui != nullptr)
            ui->ShowInfo("FILE : " + tpl + " IS INVAILD! ");
        return false;
    }
    std::FILE* out = OpenStreamForWriting(path);
    if (out == nullptr) {
        Warn(ui, SystemReason(path, errno));
        return false;
    }
    bool ok = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    int writeErrno = errno;
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        writeErrno = errno;
    }
    if (!ok)
        Warn(ui, SystemReason(path, writeErrno));
    return ok;
}
