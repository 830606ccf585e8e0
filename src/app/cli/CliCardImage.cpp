#include "app/cli/CliArgs.h"
#include "app/cli/CliCardParts.h"
#include "app/cli/CliOutput.h"
#include "app/cli/CliVolume.h"
#include "base/SafeFile.h"
#include "card/CardImage.h"
#include "card/IconBmp.h"
#include "card/SideFiles.h"
#include "tools/icon/LogoPicture.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// "0,3,7" -> dark[0], dark[3], dark[7]; false for anything but numbers 0-15.
bool ParseDarkList(const std::string& text, bool (&dark)[16]) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos)
            comma = text.size();
        long number = 0;
        if (!ParseCliNumber(text.substr(pos, comma - pos), 15, number))
            return false;
        dark[number] = true;
        pos = comma + 1;
        if (comma + 1 == text.size())
            return false; // a trailing comma
    }
    return true;
}

int TakeSlot(CliContext& ctx, const std::string& text, const char* usage) {
    if (CliSession::SlotOf(text) < 0)
        return CliFail(ctx, kCliUsage, usage);
    return kCliOk;
}

} // namespace

int CliFormat(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    constexpr const char* usage = "usage: format VOLUME 200|240|241";
    int rc = ParseCardArgs(ctx, {}, {"--page"}, 2, usage, args, page);
    if (rc != kCliOk)
        return rc;
    long blocks = 0;
    if (!ParseCliNumber(args.plain[1], 241, blocks) ||
        (blocks != 200 && blocks != 240 && blocks != 241))
        return CliFail(ctx, kCliUsage, usage);
    std::string error;

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    rc = session.OpenVolume(args.plain[0], page, *vol, error, true);
    if (rc != kCliOk)
        return CliFail(ctx, rc, error);
    if (!vol->FormatVolume(static_cast<uint8_t>(blocks)) || session.LinkBroke(*vol))
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*vol, "cannot format " + args.plain[0]));
    return kCliOk;
}

int CliSaveCard(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    constexpr const char* usage =
        "usage: save-card SLOT OUT.DCM [--to dcm|raw] [--force] (SLOT: slot1 or slot2)";
    int rc = ParseCardArgs(ctx, {"--force"}, {"--page", "--to"}, 2, usage, args, page);
    if (rc == kCliOk)
        rc = TakeSlot(ctx, args.plain[0], usage);
    if (rc != kCliOk)
        return rc;
    std::string error;
    const std::string& out = args.plain[1];
    ImageOrder order = OrderForWriting(out, false);
    if (args.values.count("--to") && !ParseImageOrder(args.Value("--to"), order))
        return CliFail(ctx, kCliUsage, "--to takes dcm or raw");
    CliOutputFiles outputs(args.Has("--force"));
    if (!(error = outputs.Problem(out)).empty())
        return CliFail(ctx, kCliFailed, error);

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    rc = session.OpenVolume(args.plain[0], page, *vol, error);
    if (rc != kCliOk)
        return CliFail(ctx, rc, error);
    const std::string temp = outputs.Begin(out, error);
    if (temp.empty())
        return CliFail(ctx, kCliFailed, error);
    // A part of a card is no image to restore from: it never takes the name.
    if (!SaveCardImage(temp, *vol, order))
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*vol, "cannot save " + args.plain[0] + " to " + out));
    if (!outputs.Commit(error))
        return CliFail(ctx, kCliFailed, error);
    return kCliOk;
}

int CliUploadCard(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    constexpr const char* usage = "usage: upload-card IN.DCM SLOT (SLOT: slot1 or slot2)";
    int rc = ParseCardArgs(ctx, {}, {"--page"}, 2, usage, args, page);
    if (rc == kCliOk)
        rc = TakeSlot(ctx, args.plain[1], usage);
    if (rc != kCliOk)
        return rc;
    std::string error;
    const std::string& in = args.plain[0];
    const std::string notFile = InputFileProblem(in);
    if (!notFile.empty())
        return CliFail(ctx, kCliFailed, notFile);
    if (CheckImageFile(in) != ImageFileCheck::Fits)
        return CliFail(ctx, kCliFailed, "FILE : " + in + " IS NOT SUPPORTED !!!!");

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    rc = session.OpenVolume(args.plain[1], page, *vol, error);
    if (rc != kCliOk)
        return CliFail(ctx, rc, error);
    if (!UploadCardImage(in, *vol))
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*vol, "cannot upload " + in + " to " + args.plain[1]));
    return kCliOk;
}

int CliLogo(CliContext& ctx) {
    CliArgs args;
    std::string error;
    if (!ParseCliArgs(ctx.args, {"--force"}, {"--caption", "--dark"}, args, error))
        return CliFail(ctx, kCliUsage, error);
    if (args.plain.size() != 2)
        return CliFail(ctx, kCliUsage,
                       "usage: logo IN.BMP OUT.DCI [--caption TEXT] [--dark LIST] [--force]");
    bool dark[16] = {};
    if (!ParseDarkList(args.Value("--dark"), dark))
        return CliFail(ctx, kCliUsage, "--dark takes palette numbers 0-15, comma-separated");
    const std::string& in = args.plain[0];
    const std::string& out = args.plain[1];
    const std::string notFile = InputFileProblem(in);
    if (!notFile.empty())
        return CliFail(ctx, kCliFailed, notFile);
    CliOutputFiles outputs(args.Has("--force"));
    if (!(error = outputs.Problem(out)).empty())
        return CliFail(ctx, kCliFailed, error);

    // The picture as read, and the LCD copy whose first 16 colours are black
    // where dark and white elsewhere, as the colour dialog leaves them.
    auto picture = std::make_unique<uint8_t[]>(CardVolume::kWorkAreaSize);
    auto lcd = std::make_unique<uint8_t[]>(CardVolume::kWorkAreaSize);
    std::memset(picture.get(), 0, CardVolume::kWorkAreaSize);
    // The same reader as the window's import: the same files pass.
    if (!ReadLogoPicture(picture.get(), in))
        return CliFail(ctx, kCliFailed, LogoPictureRefusal(in));
    std::memcpy(lcd.get(), picture.get(), CardVolume::kWorkAreaSize);
    for (int k = 0; k < 16; ++k) {
        const uint8_t level = dark[k] ? 0 : 255;
        std::memset(lcd.get() + IconArea::PaletteOffset(k), level, 3);
    }
    const std::string temp = outputs.Begin(out, error);
    if (temp.empty())
        return CliFail(ctx, kCliFailed, error);
    if (!BuildLogoDci(picture.get(), lcd.get(), args.Value("--caption", "No Name"), temp))
        return CliFail(ctx, kCliFailed, "cannot write " + out);
    if (!outputs.Commit(error))
        return CliFail(ctx, kCliFailed, error);
    return kCliOk;
}

int CliNew(CliContext& ctx) {
    CliArgs args;
    std::string error;
    if (!ParseCliArgs(ctx.args, {"--force"}, {}, args, error))
        return CliFail(ctx, kCliUsage, error);
    if (args.plain.size() != 1)
        return CliFail(ctx, kCliUsage, "usage: new OUT.DCM [--force]");
    const std::string& out = args.plain[0];
    CliOutputFiles outputs(args.Has("--force"));
    if (!(error = outputs.Problem(out)).empty())
        return CliFail(ctx, kCliFailed, error);
    // The same empty card that the program's template holds, written straight
    // to the target so that no side file appears in the current folder.
    const std::string temp = outputs.Begin(out, error);
    if (temp.empty())
        return CliFail(ctx, kCliFailed, error);
    auto image = std::make_unique<uint8_t[]>(CardVolume::kCardBytes);
    if (!FormatBlankImage(image.get()) ||
        !WriteWholeFile(temp, image.get(), static_cast<size_t>(CardVolume::kCardBytes)))
        return CliFail(ctx, kCliFailed, "cannot write " + out);
    if (!outputs.Commit(error))
        return CliFail(ctx, kCliFailed, error);
    return kCliOk;
}
