#include "app/cli/CliArgs.h"
#include "app/cli/CliCardParts.h"
#include "app/cli/CliVolume.h"
#include "card/JournalCommands.h"

#include <ctime>
#include <memory>
#include <ostream>

namespace {

std::string TimeText(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32] = "?";
    if (localtime_r(&t, &local) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

void JsonNames(std::ostream& out, const std::vector<std::string>& names) {
    out << "[";
    for (size_t i = 0; i < names.size(); ++i)
        out << (i ? "," : "") << "\"" << JsonEscape(names[i]) << "\"";
    out << "]";
}

// Opens VOLUME for undo or recover; needs the journal on. Nothing is read:
// both read the card's system blocks themselves and hold them against its
// history, so a listing first would only be read again.
int OpenForHistory(CliSession& session, const CliArgs& args, long page, CardVolume& vol) {
    if (!session.Ctx().journal)
        return CliFail(session.Ctx(), kCliUsage, "--no-journal leaves nothing to take back");
    std::string error;
    const int rc = session.OpenVolume(args.plain[0], page, vol, error, true);
    return rc == kCliOk ? rc : CliFail(session.Ctx(), rc, error);
}

} // namespace

int CliUndo(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    int rc = ParseCardArgs(ctx, {}, {"--page"}, 1, "usage: undo VOLUME", args, page);
    if (rc != kCliOk)
        return rc;
    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    if ((rc = OpenForHistory(session, args, page, *vol)) != kCliOk)
        return rc;
    session.Ui().Forget();
    const JournalOutcome done = UndoLastChange(*vol, session.Journal());
    if (!done.done || session.LinkBroke(*vol))
        return CliFail(ctx, kCliFailed, session.FailureText(*vol, done.message));
    ctx.out << done.message << "\n";
    return kCliOk;
}

int CliHistory(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    int rc =
        ParseCardArgs(ctx, {"--json"}, {"--page"}, 1, "usage: history VOLUME [--json]", args, page);
    if (rc != kCliOk)
        return rc;
    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    std::string error;
    if ((rc = session.OpenVolume(args.plain[0], page, *vol, error)) != kCliOk)
        return CliFail(ctx, rc, error);
    std::vector<JournalRecord> records;
    if (!ReadHistory(*vol, session.Journal(), records))
        return CliFail(ctx, kCliFailed, session.FailureText(*vol, "cannot read the card"));
    if (args.Has("--json")) {
        ctx.out << "{\"changes\":[";
        for (size_t i = 0; i < records.size(); ++i) {
            std::vector<std::string> gone;
            std::vector<std::string> added;
            records[i].ChangedSavers(gone, added);
            ctx.out << (i ? "," : "") << "{\"index\":" << i << ",\"time\":" << records[i].time
                    << ",\"command\":\"" << JsonEscape(records[i].command) << "\",\"removed\":";
            JsonNames(ctx.out, gone);
            ctx.out << ",\"added\":";
            JsonNames(ctx.out, added);
            ctx.out << ",\"keptBlocks\":" << records[i].kept.size() << "}";
        }
        ctx.out << "]}\n";
        return kCliOk;
    }
    if (records.empty())
        ctx.out << "No changes of this card in the history.\n";
    // Names as the listing shows them: no byte of a card reaches the
    // terminal as a control code.
    for (size_t i = 0; i < records.size(); ++i)
        ctx.out << i << "  " << TimeText(records[i].time) << "  " << ShownCommand(records[i])
                << "  " << DescribeChange(records[i]) << "\n";
    return kCliOk;
}

int CliRecover(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    std::string error;
    if (!ParseCliArgs(ctx.args, {}, {"--page"}, args, error))
        return CliFail(ctx, kCliUsage, error);
    if (args.plain.empty() || args.plain.size() > 2)
        return CliFail(ctx, kCliUsage, "usage: recover VOLUME [NAME]");
    if (args.values.count("--page") && !ParseCliNumber(args.Value("--page"), 255, page))
        return CliFail(ctx, kCliUsage, "--page takes a number 0-255");
    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    int rc = OpenForHistory(session, args, page, *vol);
    if (rc != kCliOk)
        return rc;
    session.Ui().Forget();
    const std::string name = args.plain.size() > 1 ? args.plain[1] : "";
    const RecoverReport report = RecoverSavers(*vol, session.Journal(), name);
    // Savers that cannot come back are named whatever happens to the others.
    std::ostream& lostTo = report.outcome.done ? ctx.out : ctx.err;
    for (const std::string& lost : report.lost)
        lostTo << "lost: " << lost << "\n";
    if (!report.outcome.done || session.LinkBroke(*vol))
        return CliFail(ctx, kCliFailed, session.FailureText(*vol, report.outcome.message));
    ctx.out << report.outcome.message << "\n";
    return kCliOk;
}
