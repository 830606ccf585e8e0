// porvane-cli speed: the fastest delay counts the link box reads the card
// right at, with a safety margin (card/SpeedSearch.h).
#include "app/cli/CliCardParts.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliVolume.h"
#include "card/SpeedSearch.h"
#include "settings/ConfigFile.h"

#include <filesystem>
#include <ostream>
#include <system_error>

namespace fs = std::filesystem;

int CliSpeed(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    const int parsed =
        ParseCardArgs(ctx, {"--save"}, {}, 0, "usage: porvane-cli speed [--save]", args, page);
    if (parsed != kCliOk)
        return parsed;
    CliSession session(ctx);
    // The search starts from the user's counts and bar, whatever the link.
    Settings settings;
    std::error_code ec;
    const std::string here = fs::current_path(ec).string();
    if (fs::is_regular_file(fs::status(kConfigFileName, ec)))
        LoadConfig(here, settings);
    std::string error;
    const int opened = session.OpenLink(-1, error);
    if (opened == kCliUsage)
        return CliFail(ctx, kCliUsage, error);
    SpeedResult result;
    if (opened == kCliOk)
        result = FindLinkSpeed(*session.Link(), settings);
    else
        result.before = DelayCounts::Of(settings);
    const std::string report = SpeedReport(result, settings.VerifyTransfers != 0);
    if (!result.Found())
        return CliFail(ctx, kCliFailed, report);
    ctx.out << report << "\n";
    ctx.out << "block reads: " << result.blocksRead << ", nothing written\n";
    if (!args.Has("--save")) {
        ctx.out << "speed bar: " << result.bar
                << " (--save keeps it in RUD2.cfg, as OK in \"Setup...\" does)\n";
        return kCliOk;
    }
    result.found.ApplyTo(settings);
    if (!SaveConfig(here, settings, &error))
        return CliFail(ctx, kCliFailed, error);
    ctx.out << "speed bar: " << result.bar << ", saved in RUD2.cfg\n";
    return kCliOk;
}
