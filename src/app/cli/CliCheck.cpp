// porvane-cli check VOLUME [--json] [--repair]: the card check and repair of
// card/CardCheck.h, as text or JSON.
#include "app/cli/CliArgs.h"
#include "app/cli/CliCardParts.h"
#include "app/cli/CliVolume.h"
#include "card/CardCheck.h"

#include <memory>
#include <ostream>

namespace {

std::string EntryName(const CardVolume& vol, int entry) {
    return entry >= 0 && entry < CardVolume::kEntryCount ? vol.Entries()[entry].Name : "";
}

void PrintProblemsText(std::ostream& out, const CardCheckReport& report) {
    for (const CardProblem& p : report.problems)
        out << (p.note ? "note: " : "problem: ") << p.text << "\n";
}

void PrintVerdictText(std::ostream& out, const CardCheckReport& report, const char* prefix) {
    const int n = report.ProblemCount();
    out << prefix;
    if (n == 0)
        out << "clean.\n";
    else
        out << n << (n == 1 ? " problem" : " problems") << " found.\n";
}

void PrintText(std::ostream& out, const std::string& volume, const CardCheckReport& report) {
    if (report.formatted)
        out << volume << ": " << report.userBlocks << " user blocks, " << report.savers
            << (report.savers == 1 ? " saver, " : " savers, ") << report.listedFree
            << " BLOCKS FREE (the table has " << report.tableFree << " free)\n";
    PrintProblemsText(out, report);
}

void PrintProblemsJson(std::ostream& out, const CardVolume& vol,
                       const std::vector<CardProblem>& problems) {
    out << "[";
    for (size_t k = 0; k < problems.size(); ++k) {
        const CardProblem& p = problems[k];
        out << (k > 0 ? "," : "") << "{\"kind\":\"" << CardProblemName(p.kind)
            << "\",\"note\":" << (p.note ? "true" : "false") << ",\"entry\":" << p.entry
            << ",\"name\":\"" << JsonEscape(EntryName(vol, p.entry))
            << "\",\"other_entry\":" << p.other << ",\"other_name\":\""
            << JsonEscape(EntryName(vol, p.other)) << "\",\"block\":" << p.block
            << ",\"count\":" << p.count << ",\"text\":\"" << JsonEscape(p.text) << "\"}";
    }
    out << "]";
}

void PrintTextsJson(std::ostream& out, const std::vector<std::string>& texts) {
    out << "[";
    for (size_t k = 0; k < texts.size(); ++k)
        out << (k > 0 ? "," : "") << "\"" << JsonEscape(texts[k]) << "\"";
    out << "]";
}

void PrintReportJson(std::ostream& out, const CardVolume& vol, const CardCheckReport& report) {
    out << "\"readable\":" << (report.readable ? "true" : "false")
        << ",\"formatted\":" << (report.formatted ? "true" : "false")
        << ",\"clean\":" << (report.Clean() ? "true" : "false")
        << ",\"user_blocks\":" << report.userBlocks << ",\"savers\":" << report.savers
        << ",\"listed_free\":" << report.listedFree << ",\"table_free\":" << report.tableFree
        << ",\"problems\":";
    PrintProblemsJson(out, vol, report.problems);
}

} // namespace

int CliCheck(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    constexpr const char* usage = "usage: check VOLUME [--json] [--repair]";
    int rc = ParseCardArgs(ctx, {"--json", "--repair"}, {"--page"}, 1, usage, args, page);
    if (rc != kCliOk)
        return rc;
    const std::string& volume = args.plain[0];
    const bool repair = args.Has("--repair");

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    std::string error;
    rc = session.OpenVolume(volume, page, *vol, error, repair);
    if (rc != kCliOk)
        return CliFail(ctx, rc, error);
    session.Ui().Forget();

    CardRepairReport result;
    bool ok = true;
    if (repair) {
        ok = RepairCard(*vol, result);
    } else {
        ok = CheckCard(*vol, result.after);
        result.before = result.after;
    }
    const CardCheckReport& final = result.after;
    if (!result.before.readable || (repair && !final.readable && !result.writeFailed))
        return CliFail(
            ctx, kCliFailed,
            session.FailureText(*vol, "cannot read the root, table or directory of " + volume));

    if (args.Has("--json")) {
        ctx.out << "{\"volume\":\"" << JsonEscape(volume) << "\",";
        PrintReportJson(ctx.out, *vol, final);
        if (repair) {
            ctx.out << ",\"found\":";
            PrintProblemsJson(ctx.out, *vol, result.before.problems);
            ctx.out << ",\"repairs\":";
            PrintTextsJson(ctx.out, result.repairs);
            ctx.out << ",\"refused\":";
            PrintTextsJson(ctx.out, result.refusals);
            ctx.out << ",\"write_failed\":" << (result.writeFailed ? "true" : "false");
        }
        ctx.out << "}\n";
    } else if (repair) {
        PrintText(ctx.out, volume, result.before);
        for (const std::string& text : result.repairs)
            ctx.out << "repaired: " << text << "\n";
        for (const std::string& text : result.refusals)
            ctx.out << "not repaired: " << text << "\n";
        if (final.readable) {
            PrintVerdictText(ctx.out, final, "after the repair: ");
            if (!final.Clean())
                PrintProblemsText(ctx.out, final);
        }
    } else {
        PrintText(ctx.out, volume, final);
        PrintVerdictText(ctx.out, final, "");
    }
    if (!ok && result.writeFailed)
        return CliFail(ctx, kCliFailed, session.FailureText(*vol, "writing to the card failed"));
    return final.Clean() ? kCliOk : kCliFailed;
}
