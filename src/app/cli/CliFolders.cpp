// Whole folders of saver files: export --all and the import of a folder or of
// several files at once.
#include "app/cli/CliArgs.h"
#include "app/cli/CliCardParts.h"
#include "app/cli/CliText.h"
#include "app/cli/CliVolume.h"
#include "card/SaverFiles.h"
#include "card/SaverText.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <ostream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Whether an option stands among the arguments before any "--".
bool HasOption(const std::vector<std::string>& args, const std::string& option) {
    for (const std::string& arg : args) {
        if (arg == "--")
            return false;
        if (arg == option || arg.rfind(option + "=", 0) == 0)
            return true;
    }
    return false;
}

void PrintSummary(CliContext& ctx, const std::vector<SaverFileReport>& reports, bool importing) {
    // Names as list shows them; the rest of a line may hold file names.
    const auto show = [](const std::string& name) { return SaverText(name); };
    for (const std::string& line : SaverFileSummary(reports, importing, show))
        ctx.out << TerminalText(line) << "\n";
}

bool AllDone(const std::vector<SaverFileReport>& reports) {
    return std::all_of(reports.begin(), reports.end(),
                       [](const SaverFileReport& r) { return r.done; });
}

} // namespace

bool CliExportsAll(const CliContext& ctx) {
    return HasOption(ctx.args, "--all");
}

bool CliImportsMany(const CliContext& ctx) {
    CliArgs args;
    std::string error;
    if (!ParseCliArgs(ctx.args, {"--overwrite", "--append", "--game"}, {"--page"}, args, error))
        return false;
    std::error_code ec;
    return args.plain.size() > 2 || (args.plain.size() == 2 && fs::is_directory(args.plain[1], ec));
}

int CliExportAll(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    constexpr const char* usage = "usage: export VOLUME --all DIR [--as dci|vms] [--force]";
    int rc = ParseCardArgs(ctx, {"--force"}, {"--page", "--all", "--as"}, 1, usage, args, page);
    if (rc != kCliOk)
        return rc;
    const std::string as = args.Value("--as", "dci");
    if (as != "dci" && as != "vms")
        return CliFail(ctx, kCliUsage, "--as takes dci or vms");
    const SaverFileFormat format = as == "vms" ? SaverFileFormat::VmsPair : SaverFileFormat::Dci;
    const std::string folder = args.Value("--all");
    std::error_code ec;
    if (folder.empty() || (fs::exists(folder, ec) && !fs::is_directory(folder, ec)))
        return CliFail(ctx, kCliFailed, folder + " is not a folder");

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(args.plain[0], page, *vol, false)) != kCliOk)
        return rc;
    // Every file checked before the first is written.
    const std::vector<std::string> existing =
        ExistingSaverFiles(SaverFileNames(*vol, format), folder, format);
    if (!existing.empty() && !args.Has("--force"))
        return CliFail(ctx, kCliFailed,
                       "File " + existing.front() + " exists" +
                           (existing.size() > 1
                                ? " (and " + std::to_string(existing.size() - 1) + " more)"
                                : "") +
                           "; nothing was written (--force replaces them)");
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
        return CliFail(ctx, kCliFailed, "cannot create folder " + folder);
    SaverFileSteps steps;
    steps.linkBroke = [&] { return session.LinkBroke(*vol); };
    const std::vector<SaverFileReport> reports =
        ExportSaverFiles(*vol, folder, format, args.Has("--force"), steps);
    PrintSummary(ctx, reports, false);
    if (session.LinkBroke(*vol))
        return CliFail(ctx, kCliFailed, session.FailureText(*vol, "link error"));
    return AllDone(reports) ? kCliOk : kCliFailed;
}

int CliImportMany(CliContext& ctx) {
    CliArgs args;
    std::string error;
    constexpr const char* usage =
        "usage: import VOLUME DIR|FILE... [--overwrite|--append] [--game]";
    if (!ParseCliArgs(ctx.args, {"--overwrite", "--append", "--game"}, {"--page"}, args, error))
        return CliFail(ctx, kCliUsage, error);
    long page = -1;
    if (args.values.count("--page") && !ParseCliNumber(args.Value("--page"), 255, page))
        return CliFail(ctx, kCliUsage, "--page takes a number 0-255");
    if (args.plain.size() < 2 || (args.Has("--overwrite") && args.Has("--append")))
        return CliFail(ctx, kCliUsage, usage);
    // A folder gives its save files in a stable order; files named stand as
    // given. A folder that cannot be read is one refused line.
    std::vector<std::string> files;
    std::vector<SaverFileReport> unread;
    for (size_t i = 1; i < args.plain.size(); ++i) {
        std::error_code ec;
        if (!fs::is_directory(args.plain[i], ec)) {
            files.push_back(args.plain[i]);
            continue;
        }
        std::vector<std::string> inFolder;
        if (!SaveFilesIn(args.plain[i], inFolder, error))
            unread.push_back({args.plain[i], "", false, error, ""});
        files.insert(files.end(), inFolder.begin(), inFolder.end());
    }

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    const int rc = session.OpenListed(args.plain[0], page, *vol, true);
    if (rc != kCliOk)
        return rc;
    SaverFileQuestions questions;
    questions.loneVms = [&](const std::string&) {
        return args.Has("--game") ? LoneVmsChoice::Game : LoneVmsChoice::Data;
    };
    questions.sameName = [&](const std::string&) {
        return args.Has("--overwrite") ? SameNameChoice::Replace
               : args.Has("--append")  ? SameNameChoice::Append
                                       : SameNameChoice::Refuse;
    };
    questions.linkBroke = [&] { return session.LinkBroke(*vol); };
    session.Ui().Forget();
    std::vector<SaverFileReport> reports =
        ImportSaverFiles(files, *vol, questions, std::time(nullptr));
    for (SaverFileReport& report : reports) {
        if (!report.advice.empty())
            ctx.err << "porvane-cli: " << TerminalText(report.advice) << "\n";
        report.advice.clear();
    }
    reports.insert(reports.end(), unread.begin(), unread.end());
    PrintSummary(ctx, reports, true);
    if (session.LinkBroke(*vol))
        return CliFail(ctx, kCliFailed, session.FailureText(*vol, "link error"));
    return AllDone(reports) ? kCliOk : kCliFailed;
}
