#include "app/cli/CliArgs.h"
#include "app/cli/CliCardParts.h"
#include "app/cli/CliVolume.h"
#include "card/DciFile.h"
#include "card/TransferEngine.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Opens and lists one volume; a card that was never formatted is refused, and
// so is a read-only image when the command will write to it.
std::string DisplayName(const std::string& name) {
    std::string out = name;
    while (!out.empty() && (out.back() == ' ' || out.back() == '\0'))
        out.pop_back();
    return out;
}

// Why a saver of size blocks cannot be placed on vol, were the chain of entry
// `freed` (or none, -1) released first; empty when it fits.
std::string PlacementProblem(CardVolume& vol, int size, bool game, int freed) {
    uint8_t chain[CardVolume::kBlockCount] = {};
    bool inFreed[CardVolume::kBlockCount] = {};
    int freedBlocks = 0;
    if (freed >= 0) {
        const SaverEntry& f = vol.Entries[freed];
        const int n = vol.CollectChain(f.FirstBlock, chain, CardVolume::kBlockCount);
        for (int i = 0; i < n; ++i)
            inFreed[chain[i]] = true;
        freedBlocks = f.SizeBlocks;
    }
    if (size <= 0 || size > vol.FreeBlocks + freedBlocks)
        return "NOT ENOUGH SPACE.";
    if (game) {
        if (size > vol.UserBlocks())
            return "NOT ENOUGH SPACE.";
        for (int b = 0; b < size; ++b) {
            if (vol.Fat[b] != CardVolume::kFatFree && !inFreed[b])
                return "blocks 0-" + std::to_string(size - 1) +
                       " needed by the game saver are in use";
        }
    }
    if (freed < 0) {
        int entry = 0;
        if (!FindFreeEntry(vol, entry))
            return "no free directory entry";
    }
    return "";
}

// Makes way on vol for a saver named name12 (12 characters, as the directory
// holds it): a saver of that name already there needs --overwrite, which
// deletes it, or --append, which keeps it. Whether the new saver fits is
// checked before anything changes, so that an overwrite never loses the old
// saver to a transfer that can't take place. kCliOk, or the exit code after
// the failure line.
int MakeWay(CliSession& session, const CliArgs& args, CardVolume& vol, const std::string& name12,
            int size, bool game) {
    CliContext& ctx = session.Ctx();
    int existing = -1;
    if (!FindSaverByName(vol, name12, existing))
        existing = -1;
    if (existing >= 0 && !args.Has("--overwrite") && !args.Has("--append"))
        return CliFail(ctx, kCliFailed,
                       "Saver " + DisplayName(name12) +
                           " exists on the card (use --overwrite or --append)");
    const bool overwrite = existing >= 0 && args.Has("--overwrite");
    const std::string problem = PlacementProblem(vol, size, game, overwrite ? existing : -1);
    if (!problem.empty())
        return CliFail(ctx, kCliFailed, problem);
    if (!overwrite)
        return kCliOk;
    session.Ui().Forget();
    if (!DeleteSaver(vol, existing) || session.LinkBroke(vol))
        return CliFail(ctx, kCliFailed,
                       session.FailureText(vol, "cannot delete the old " + DisplayName(name12)));
    bool formatted = false;
    std::string error;
    if (!session.LoadVolume(vol, formatted, error))
        return CliFail(ctx, kCliFailed, error);
    return kCliOk;
}

// The header of a single-saver file, checked for length; empty reason when
// the file holds the whole saver.
std::string ReadDciHeader(const std::string& path, uint8_t (&header)[kDciHeaderSize]) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "cannot open " + path;
    if (!in.read(reinterpret_cast<char*>(header), kDciHeaderSize))
        return path + " is shorter than a saver header";
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    const uintmax_t need =
        kDciHeaderSize + static_cast<uintmax_t>(header[SaverEntry::kSizeOffset]) * 512u;
    if (ec || size < need)
        return path + " is shorter than its header says";
    return "";
}

const char* ImportFailure(DciImportResult result) {
    switch (result) {
    case DciImportResult::Imported:
        return "";
    case DciImportResult::NoSpace:
        return "NOT ENOUGH SPACE.";
    case DciImportResult::DirectoryFull:
        return "no free directory entry";
    case DciImportResult::GameBlocksTaken:
        return "the blocks the game saver needs are in use";
    case DciImportResult::Unreadable:
        return "the file cannot be read";
    case DciImportResult::TooShort:
        return "the file is shorter than its header says";
    case DciImportResult::WriteFailed:
        return "writing to the card failed";
    }
    return "import failed";
}

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
    CliArgs args;
    long page = -1;
    int rc = ParseCardArgs(ctx, {}, {"--page"}, 3, "usage: export VOLUME NAME OUT.DCI", args, page);
    if (rc != kCliOk)
        return rc;
    const std::string& out = args.plain[2];
    std::error_code ec;
    if (fs::exists(out, ec))
        return CliFail(ctx, kCliFailed, "File " + out + " exists; not overwritten");

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(args.plain[0], page, *vol, false)) != kCliOk)
        return rc;
    const int index = FindListedSaver(*vol, args.plain[1]);
    if (index < 0)
        return CliFail(ctx, kCliFailed, "no saver named " + args.plain[1]);
    if (!ExportDci(out, index, *vol)) {
        // A cut-off file would pass for a saver; it goes.
        fs::remove(out, ec);
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*vol, "cannot export " + args.plain[1] + " to " + out));
    }
    return kCliOk;
}

int CliImport(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    constexpr const char* usage = "usage: import VOLUME IN.DCI [--overwrite|--append]";
    int rc = ParseCardArgs(ctx, {"--overwrite", "--append"}, {"--page"}, 2, usage, args, page);
    if (rc != kCliOk)
        return rc;
    if (args.Has("--overwrite") && args.Has("--append"))
        return CliFail(ctx, kCliUsage, usage);
    const std::string& in = args.plain[1];
    std::error_code ec;
    if (!fs::is_regular_file(in, ec))
        return CliFail(ctx, kCliFailed, "File " + in + " not found.");
    uint8_t header[kDciHeaderSize] = {};
    const std::string bad = ReadDciHeader(in, header);
    if (!bad.empty())
        return CliFail(ctx, kCliFailed, bad);
    const int size = header[SaverEntry::kSizeOffset];
    const bool game = header[0] == SaverEntry::kTypeGame && header[2] == 0;
    const std::string name = ReadDciName(in);

    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(args.plain[0], page, *vol, true)) != kCliOk)
        return rc;

    if ((rc = MakeWay(session, args, *vol, name, size, game)) != kCliOk)
        return rc;
    session.Ui().Forget();
    DciImportResult result = DciImportResult::Imported;
    const bool ok = ImportDci(in, *vol, &result);
    if (!ok || result != DciImportResult::Imported || session.LinkBroke(*vol))
        return CliFail(ctx, kCliFailed, session.FailureText(*vol, ImportFailure(result)));
    return kCliOk;
}

int CliDelete(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    int rc = ParseCardArgs(ctx, {}, {"--page"}, 2, "usage: delete VOLUME NAME", args, page);
    if (rc != kCliOk)
        return rc;
    CliSession session(ctx);
    auto vol = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(args.plain[0], page, *vol, true)) != kCliOk)
        return rc;
    const int index = FindListedSaver(*vol, args.plain[1]);
    if (index < 0)
        return CliFail(ctx, kCliFailed, "no saver named " + args.plain[1]);
    session.Ui().Forget();
    if (!DeleteSaver(*vol, index) || session.LinkBroke(*vol) || vol->IoError)
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
    auto from = std::make_unique<CardVolume>();
    auto to = std::make_unique<CardVolume>();
    if ((rc = session.OpenListed(src, page, *from, args.Has("--move"))) != kCliOk)
        return rc;
    if ((rc = session.OpenListed(dst, page, *to, true)) != kCliOk)
        return rc;
    const int index = FindListedSaver(*from, args.plain[1]);
    if (index < 0)
        return CliFail(ctx, kCliFailed, "no saver named " + args.plain[1]);
    const SaverEntry& e = from->Entries[index];
    if ((rc = MakeWay(session, args, *to, e.Name, e.SizeBlocks, e.IsGame)) != kCliOk)
        return rc;

    session.Ui().Forget();
    if (!CopySaver(*from, index, *to) || session.LinkBroke(*to))
        return CliFail(ctx, kCliFailed,
                       session.FailureText(*to, "cannot copy " + args.plain[1] + " to " + dst));
    if (args.Has("--move")) {
        if (!DeleteSaver(*from, index) || session.LinkBroke(*from))
            return CliFail(ctx, kCliFailed,
                           session.FailureText(*from, "copied, but cannot delete " + args.plain[1] +
                                                          " from " + src));
    }
    return kCliOk;
}
