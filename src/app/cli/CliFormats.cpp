// The foreign formats on the command line: whole-card conversion between DCM
// images and raw card dumps, and single savers as VMS + VMI pairs.
#include "app/cli/CliArgs.h"
#include "app/cli/CliCardParts.h"
#include "app/cli/CliOutput.h"
#include "app/cli/CliVolume.h"
#include "card/CardImageOrder.h"
#include "card/CardVolume.h"
#include "card/VmsVmi.h"

#include <filesystem>
#include <memory>
#include <ostream>

namespace fs = std::filesystem;

namespace {

// The VMS named by an export's OUT, which may name either file of the pair.
std::string VmsPathFor(const std::string& out) {
    if (IsVmsPath(out))
        return out;
    fs::path path(out);
    const std::string ext = path.extension().string();
    return path.replace_extension(ext == ".vmi" ? ".vms" : ".VMS").string();
}

} // namespace

int CliConvert(CliContext& ctx) {
    CliArgs args;
    std::string error;
    constexpr const char* usage = "usage: convert IN OUT [--to dcm|raw] [--force]";
    if (!ParseCliArgs(ctx.args, {"--force"}, {"--to"}, args, error))
        return CliFail(ctx, kCliUsage, error);
    if (args.plain.size() != 2)
        return CliFail(ctx, kCliUsage, usage);
    const std::string& in = args.plain[0];
    const std::string& out = args.plain[1];
    // A ".bin" is card order as the window's "BIN file format" writes it;
    // only ".vmu" (or --to raw) asks for an emulator's dump.
    ImageOrder to = OrderForWriting(out, false);
    if (args.values.count("--to") && !ParseImageOrder(args.Value("--to"), to))
        return CliFail(ctx, kCliUsage, "--to takes dcm or raw");
    const std::string notFile = InputFileProblem(in);
    if (!notFile.empty())
        return CliFail(ctx, kCliFailed, notFile);
    std::error_code ec;
    if (fs::exists(out, ec) && fs::equivalent(in, out, ec))
        return CliFail(ctx, kCliUsage, "IN and OUT are the same file");
    CliOutputFiles outputs(args.Has("--force"));
    if (!(error = outputs.Problem(out)).empty())
        return CliFail(ctx, kCliFailed, error);
    // An image whose order its contents do not tell is in the order --to
    // states; without --to it is refused.
    const bool stated = args.values.count("--to") > 0;
    const OrderGuess from = GuessImageFileOrder(in);
    if (from.Unsure() && stated)
        ctx.err << "porvane-cli: " << in << ": its byte order cannot be told from its contents; "
                << "taken as " << ImageOrderName(to)
                << " as --to says, and the copy's root set to tell it\n";
    else if (!from.fromContent && !from.Unsure())
        ctx.err << "porvane-cli: " << in << ": its root does not tell the byte order; taken as "
                << ImageOrderName(from.order) << " by its name\n";
    const std::string temp = outputs.Begin(out, error);
    if (temp.empty())
        return CliFail(ctx, kCliFailed, error);
    if (!ConvertImageFile(in, temp, to, error, stated ? &to : nullptr))
        return CliFail(ctx, kCliFailed, error);
    if (!outputs.Commit(error))
        return CliFail(ctx, kCliFailed, error);
    return kCliOk;
}

int CliExportVms(CliContext& ctx, const CliArgs& args, long page) {
    const std::string vms = VmsPathFor(args.plain[2]);
    const std::string vmi = VmiPathFor(vms);
    std::string resource;
    std::string error;
    if (!ResourceNameOf(vms, resource, error))
        return CliFail(ctx, kCliFailed, error);
    CliOutputFiles outputs(args.Has("--force"));
    if (!(error = outputs.Problem(vms)).empty() || !(error = outputs.Problem(vmi)).empty())
        return CliFail(ctx, kCliFailed, error);

    CliSession session(ctx);
    session.ListEntriesOnly();
    auto vol = std::make_unique<CardVolume>();
    int rc = session.OpenListed(args.plain[0], page, *vol, false);
    if (rc != kCliOk)
        return rc;
    const int index = FindListedSaver(*vol, args.plain[1]);
    if (index < 0)
        return CliFail(ctx, kCliFailed, "no saver named " + args.plain[1]);
    const std::string tempVms = outputs.Begin(vms, error);
    const std::string tempVmi = tempVms.empty() ? std::string() : outputs.Begin(vmi, error);
    if (tempVmi.empty())
        return CliFail(ctx, kCliFailed, error);
    // Neither file takes its name unless both were written whole.
    if (!ExportVmsVmi(tempVms, tempVmi, resource, index, *vol, error))
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*vol, "cannot export " + args.plain[1] + ": " + error));
    if (!outputs.Commit(error))
        return CliFail(ctx, kCliFailed, error);
    return kCliOk;
}
