#include "app/cli/CliArgs.h"
#include "app/cli/CliCardParts.h"
#include "app/cli/CliOutput.h"
#include "app/cli/CliText.h"
#include "app/cli/CliVolume.h"
#include "card/DciFile.h"
#include "card/ReplaceSaver.h"
#include "card/SaverBatch.h"
#include "card/SaverChains.h"
#include "card/SaverFiles.h"
#include "card/SaverText.h"
#include "card/TransferEngine.h"
#include "card/VmsVmi.h"

#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A saver name from a card or a file as messages show it: trailing blanks
// and NULs dropped, then the one cleaning every shown name goes through, so
// that no byte of it reaches the terminal as a control code.
std::string DisplayName(const std::string& name) {
    std::string out = name;
    while (!out.empty() && (out.back() == ' ' || out.back() == '\0'))
        out.pop_back();
    return SaverText(out);
}

// The saver on vol that the new one named name12 (12 characters, as the
// directory holds it) replaces: -1 for none. A saver of that name already
// there needs --overwrite (replaced) or --append (kept beside). kCliOk, or
// the exit code after the failure line.
int OldSaverFor(CliSession& session, const CliArgs& args, const CardVolume& vol,
                const std::string& name12, int& old) {
    old = -1;
    int existing = -1;
    if (!FindSaverByName(vol, name12, existing))
        return kCliOk;
    if (!args.Has("--overwrite") && !args.Has("--append"))
        return CliFail(session.Ctx(), kCliFailed,
                       "Saver " + DisplayName(name12) +
                           " exists on the card (use --overwrite or --append)");
    if (args.Has("--overwrite"))
        old = existing;
    return kCliOk;
}

// The exit of a placement: kCliOk when done, else the reason.
int PlacementExit(CliSession& session, const CardVolume& vol, const SaverResult& result) {
    if (result.Done() && !session.LinkBroke(vol))
        return kCliOk;
    const std::string reason = result.reason.empty() ? "writing to the card failed" : result.reason;
    return CliFail(session.Ctx(), kCliFailed,
                   session.LinkBroke(vol) ? session.FailureText(vol, reason) : reason);
}

// A name clash answered from the flags: --overwrite replaces the saver of
// that name, --append puts the copy beside it; without either nothing is
// copied.
class CliTransferPolicy : public TransferPolicy {
  public:
    explicit CliTransferPolicy(const CliArgs& args) : args_(args) {}
    NameClash AnswerNameClash(const CardVolume&, int, const CardVolume&, int) override {
        if (args_.Has("--overwrite"))
            return NameClash::Overwrite;
        if (args_.Has("--append"))
            return NameClash::Append;
        refused_ = true;
        return NameClash::Stop;
    }
    void AfterSaver(const SaverStep& step) override { step_ = step; }

    bool Refused() const { return refused_; }
    const SaverStep& Step() const { return step_; }

  private:
    const CliArgs& args_;
    bool refused_ = false;
    SaverStep step_;
};

bool SameCard(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (CliSession::SlotOf(a) >= 0 || CliSession::SlotOf(b) >= 0)
        return false;
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

} // namespace

int CliExport(CliContext& ctx) {
    if (CliExportsAll(ctx))
        return CliExportAll(ctx);
    CliArgs args;
    long page = -1;
    int rc =
        ParseCardArgs(ctx, {"--force"}, {"--page"}, 3,
                      "usage: export VOLUME NAME OUT.DCI|OUT.VMS|OUT.VMI [--force]", args, page);
    if (rc != kCliOk)
        return rc;
    if (IsVmsPath(args.plain[2]) || IsVmiPath(args.plain[2]))
        return CliExportVms(ctx, args, page);
    const std::string& out = args.plain[2];
    // --force over the card being read would replace every saver on it.
    if (SameCard(args.plain[0], out))
        return CliFail(ctx, kCliFailed, out + " is the card being read; nothing was written");
    CliOutputFiles outputs(args.Has("--force"));
    std::string error = outputs.Problem(out);
    if (!error.empty())
        return CliFail(ctx, kCliFailed, error);

    CliSession session(ctx);
    session.ListEntriesOnly();
    auto vol = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(args.plain[0], page, *vol, false)) != kCliOk)
        return rc;
    const int index = FindListedSaver(*vol, args.plain[1]);
    if (index < 0)
        return CliFail(ctx, kCliFailed, "no saver named " + args.plain[1]);
    const std::string temp = outputs.Begin(out, error);
    if (temp.empty())
        return CliFail(ctx, kCliFailed, error);
    // A cut-off file would pass for a saver: it never takes the name.
    if (!ExportDci(temp, index, *vol))
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*vol, "cannot export " + args.plain[1] + " to " + out));
    if (!outputs.Commit(error))
        return CliFail(ctx, kCliFailed, error);
    return kCliOk;
}

int CliImport(CliContext& ctx) {
    if (CliImportsMany(ctx))
        return CliImportMany(ctx);
    CliArgs args;
    long page = -1;
    constexpr const char* usage =
        "usage: import VOLUME IN.DCI|IN.VMS|IN.VMI|DIR... [--overwrite|--append] [--game]";
    int rc =
        ParseCardArgs(ctx, {"--overwrite", "--append", "--game"}, {"--page"}, 2, usage, args, page);
    if (rc != kCliOk)
        return rc;
    if (args.Has("--overwrite") && args.Has("--append"))
        return CliFail(ctx, kCliUsage, usage);
    const std::string& in = args.plain[1];
    const std::string notFile = InputFileProblem(in);
    if (!notFile.empty())
        return CliFail(ctx, kCliFailed, notFile);
    // A VMS + VMI pair becomes a single-saver file first, so that it is
    // placed, checked and refused as one.
    PreparedSaverFile prepared;
    VmsBuild build;
    build.now = std::time(nullptr);
    build.loneAsGame = args.Has("--game");
    std::string error;
    if (!prepared.Prepare(in, build, error))
        return CliFail(ctx, kCliFailed, error);
    if (!prepared.Advice().empty())
        ctx.err << "porvane-cli: " << TerminalText(prepared.Advice()) << "\n";

    CliSession session(ctx);
    session.ListEntriesOnly();
    auto vol = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(args.plain[0], page, *vol, true)) != kCliOk)
        return rc;
    int old = -1;
    if ((rc = OldSaverFor(session, args, *vol, prepared.Name(), old)) != kCliOk)
        return rc;
    session.Ui().Forget();
    SaverResult result = ReplaceSaverByImport(prepared.DciPath(), *vol, old);
    result.reason = prepared.Named(result.reason);
    return PlacementExit(session, *vol, result);
}

int CliDelete(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    int rc = ParseCardArgs(ctx, {}, {"--page"}, 2, "usage: delete VOLUME NAME", args, page);
    if (rc != kCliOk)
        return rc;
    CliSession session(ctx);
    session.ListEntriesOnly();
    auto vol = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(args.plain[0], page, *vol, true)) != kCliOk)
        return rc;
    const int index = FindListedSaver(*vol, args.plain[1]);
    if (index < 0)
        return CliFail(ctx, kCliFailed, "no saver named " + args.plain[1]);
    session.Ui().Forget();
    DirectoryChain dir;
    WalkDirectory(*vol, dir);
    if (!dir.sound)
        return CliFail(ctx, kCliFailed,
                       "The card's directory is damaged; nothing was written "
                       "(porvane-cli check --repair mends it).");
    const int entries[] = {index};
    if (DeleteSavers(*vol, entries) != 1 || session.LinkBroke(*vol) || vol->IoError())
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*vol, "cannot delete " + args.plain[1]));
    return kCliOk;
}

int CliCopy(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    constexpr const char* usage = "usage: copy SRC NAME DST [--move] [--overwrite|--append]";
    int rc =
        ParseCardArgs(ctx, {"--move", "--overwrite", "--append"}, {"--page"}, 3, usage, args, page);
    if (rc != kCliOk)
        return rc;
    if (args.Has("--overwrite") && args.Has("--append"))
        return CliFail(ctx, kCliUsage, usage);
    const std::string& src = args.plain[0];
    const std::string& dst = args.plain[2];
    if (SameCard(src, dst))
        return CliFail(ctx, kCliUsage, "source and destination are the same card");

    CliSession session(ctx);
    session.ListEntriesOnly();
    auto from = std::make_unique<CardVolume>();
    auto to = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(src, page, *from, args.Has("--move"))) != kCliOk)
        return rc;
    if ((rc = session.OpenListed(dst, page, *to, true)) != kCliOk)
        return rc;
    const int index = FindListedSaver(*from, args.plain[1]);
    if (index < 0)
        return CliFail(ctx, kCliFailed, "no saver named " + args.plain[1]);
    const bool move = args.Has("--move");
    CliTransferPolicy policy(args);
    session.Ui().Forget();
    const int entries[] = {index};
    const TransferSummary done =
        CopySavers(*from, entries, *to, move ? TransferMode::Move : TransferMode::Copy, policy);
    if (policy.Refused())
        return CliFail(ctx, kCliFailed,
                       "Saver " + DisplayName(from->Entries()[index].Name) +
                           " exists on the card (use --overwrite or --append)");
    // A move that could copy but not delete would leave the saver twice and
    // report a failure: the source must be deletable before anything moves.
    if (policy.Step().sourceLocked)
        return CliFail(ctx, kCliFailed,
                       "The directory of " + src +
                           " is damaged, so the saver could not be deleted from it; nothing "
                           "was copied (porvane-cli check --repair mends it).");
    if ((rc = PlacementExit(session, *to, policy.Step().copy)) != kCliOk)
        return rc;
    if (move && (done.moved != 1 || session.LinkBroke(*from)))
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*from, "copied, but cannot delete " + args.plain[1] +
                                                      " from " + src));
    return kCliOk;
}
