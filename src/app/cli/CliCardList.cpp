#include "app/cli/CliArgs.h"
#include "app/cli/CliCardParts.h"
#include "app/cli/CliOutput.h"
#include "app/cli/CliText.h"
#include "app/cli/CliVolume.h"
#include "card/SaverText.h"

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Name for the text listing: trailing blanks and NULs dropped, shown as the
// windows show it, padded to the name column's 12 characters.
std::string PrintableName(const SaverEntry& e) {
    std::string name = SaverText(e.TrimmedName());
    int characters = 0;
    for (const char c : name)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    name.append(static_cast<size_t>(std::max(0, SaverEntry::kNameLength - characters)), ' ');
    return name;
}

std::string WithoutTrailingBlanks(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

void PrintText(std::ostream& out, const CardVolume& vol, bool formatted) {
    if (!formatted) {
        out << "Not a formated Card\n";
        return;
    }
    char line[256];
    if (vol.ListedCount() > 0)
        out << "IDX  NAME          TYPE  FIRST  SIZE  DATE        TIME      ICONS  "
               "DESCRIPTION\n";
    for (int k = 0; k < vol.ListedCount(); ++k) {
        const int i = vol.ListMap()[k];
        const SaverEntry& e = vol.Entries()[i];
        std::snprintf(line, sizeof line, "%3d  %s  %-4s  %5d  %4d  %-10s  %-8s  %5d  ", i,
                      PrintableName(e).c_str(), e.IsGame ? "game" : "data", e.FirstBlock,
                      e.SizeBlocks, e.Date.c_str(), e.Time.c_str(), e.IconCount);
        // The description as the saver wrote it, Shift-JIS decoded, as --json has it.
        out << line << WithoutTrailingBlanks(TerminalText(e.DescriptionText)) << "\n";
    }
    out << static_cast<int>(vol.FreeBlocks()) << " BLOCKS FREE of "
        << static_cast<int>(vol.UserBlocks()) << " user blocks\n";
}

// As JsonEscape, but bytes of UTF-8 sequences stay as they are.
std::string JsonEscapeUtf8(const std::string& text) {
    std::string out;
    for (const char ch : text)
        out += static_cast<unsigned char>(ch) >= 0x80 ? std::string(1, ch)
                                                      : JsonEscape(std::string(1, ch));
    return out;
}

void PrintJson(std::ostream& out, const CardVolume& vol, bool formatted) {
    out << "{\"formatted\":" << (formatted ? "true" : "false")
        << ",\"user_blocks\":" << (formatted ? static_cast<int>(vol.UserBlocks()) : 0)
        << ",\"free_blocks\":" << (formatted ? static_cast<int>(vol.FreeBlocks()) : 0)
        << ",\"savers\":[";
    for (int k = 0; formatted && k < vol.ListedCount(); ++k) {
        const int i = vol.ListMap()[k];
        const SaverEntry& e = vol.Entries()[i];
        if (k > 0)
            out << ",";
        out << "{\"index\":" << i << ",\"name\":\"" << JsonEscape(e.Name) << "\",\"type\":\""
            << (e.IsGame ? "game" : "data")
            << "\",\"first_block\":" << static_cast<int>(e.FirstBlock)
            << ",\"size\":" << e.SizeBlocks << ",\"date\":\"" << JsonEscape(e.Date)
            << "\",\"time\":\"" << JsonEscape(e.Time) << "\",\"icons\":" << e.IconCount
            << ",\"description\":\"" << JsonEscape(e.Description) << "\",\"description_text\":\""
            << JsonEscapeUtf8(e.DescriptionText) << "\"}";
    }
    out << "]}\n";
}

} // namespace

int CliList(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    int rc =
        ParseCardArgs(ctx, {"--json"}, {"--page"}, 1, "usage: list VOLUME [--json]", args, page);
    if (rc != kCliOk)
        return rc;

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    bool formatted = false;
    if ((rc = session.OpenListed(args.plain[0], page, *vol, false, &formatted)) != kCliOk)
        return rc;
    if (args.Has("--json"))
        PrintJson(ctx.out, *vol, formatted);
    else
        PrintText(ctx.out, *vol, formatted);
    return kCliOk;
}

int CliIcons(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    int rc = ParseCardArgs(ctx, {"--force"}, {"--page"}, 3,
                           "usage: icons VOLUME NAME OUTDIR [--force]", args, page);
    if (rc != kCliOk)
        return rc;

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(args.plain[0], page, *vol)) != kCliOk)
        return rc;
    const int index = FindListedSaver(*vol, args.plain[1]);
    if (index < 0)
        return CliFail(ctx, kCliFailed, "no saver named " + args.plain[1]);

    const fs::path outDir = args.plain[2];
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec))
        return CliFail(ctx, kCliFailed, "cannot create folder " + outDir.string());
    const SaverEntry& e = vol->Entries()[index];
    const int frames = e.ShownFrames();
    CliOutputFiles outputs(args.Has("--force"));
    std::vector<std::string> files;
    std::string error;
    for (int j = 0; j < frames; ++j) {
        files.push_back((outDir / ("frame" + std::to_string(j) + ".bmp")).string());
        if (!(error = outputs.Problem(files.back())).empty())
            return CliFail(ctx, kCliFailed, error);
    }
    // Every frame is written before any takes its name, so that a frame cut
    // off by a full disk or a link error leaves the folder as it was.
    for (int j = 0; j < frames; ++j) {
        const std::string temp = outputs.Begin(files[j], error);
        if (temp.empty())
            return CliFail(ctx, kCliFailed, error);
        const bool written =
            vol->ExtractIcon(static_cast<uint8_t>(index), static_cast<uint16_t>(j), temp);
        if (session.LinkBroke(*vol))
            return CliFail(ctx, kCliFailed, session.FailureText(*vol, "link error"));
        if (!written)
            return CliFail(ctx, kCliFailed, "cannot write " + files[j]);
    }
    if (!outputs.Commit(error))
        return CliFail(ctx, kCliFailed, error);
    for (const std::string& file : files)
        ctx.out << file << "\n";
    return kCliOk;
}
