#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "tools/disasm/Disasm86k.h"

#include <cstdint>
#include <memory>
#include <ostream>

namespace {

constexpr const char* kUsage = "usage: porvane-cli disasm FILE [--from ADDR]\n";

// ADDR in hex, 1 to 8 digits, either case, with an optional "0x" or "$".
bool ParseAddress(const std::string& text, uint32_t& value) {
    size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        start = 2;
    else if (text.size() > 1 && text[0] == '$')
        start = 1;
    const size_t digits = text.size() - start;
    if (digits == 0 || digits > 8)
        return false;
    value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else
            return false;
        value = value << 4 | digit;
    }
    return true;
}

int Usage(CliContext& ctx, const std::string& reason) {
    ctx.err << "porvane-cli: disasm: " << reason << "\n" << kUsage;
    return kCliUsage;
}

} // namespace

int CliDisasm(CliContext& ctx) {
    std::string fileName;
    bool haveFile = false;
    bool haveFrom = false;
    bool optionsEnded = false;
    uint32_t from = 0;
    const auto& args = ctx.args;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--from" || arg.rfind("--from=", 0) == 0)) {
            std::string value;
            if (arg == "--from") {
                if (i + 1 >= args.size())
                    return Usage(ctx, "--from needs an address");
                value = args[++i];
            } else {
                value = arg.substr(7);
            }
            if (!ParseAddress(value, from))
                return Usage(ctx, "bad address '" + value + "'");
            haveFrom = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return Usage(ctx, "unknown option '" + arg + "'");
        } else if (haveFile) {
            return Usage(ctx, "unexpected argument '" + arg + "'");
        } else {
            fileName = arg;
            haveFile = true;
        }
    }
    if (!haveFile)
        return Usage(ctx, "no file given");

    const std::string notFile = InputFileProblem(fileName);
    if (!notFile.empty()) {
        ctx.err << "porvane-cli: disasm: " << notFile << "\n";
        return kCliFailed;
    }
    // The reader carries its 16 KB window inside.
    auto reader = std::make_unique<Disasm86k>();
    if (!reader->Open(fileName)) {
        ctx.err << "porvane-cli: disasm: cannot open '" << fileName << "'\n";
        return kCliFailed;
    }
    // Like a page of the code window: the address counts on from ADDR.
    if (haveFrom) {
        reader->Counter = from;
        reader->SeekTo(from);
    }
    std::string line;
    while (reader->NextLine(line))
        ctx.out << line << '\n';
    const bool readFailed = reader->ReadFailed();
    reader->Close();
    if (readFailed) {
        ctx.err << "porvane-cli: disasm: cannot read '" << fileName << "'\n";
        return kCliFailed;
    }
    ctx.out.flush();
    if (!ctx.out) {
        ctx.err << "porvane-cli: disasm: cannot write the listing\n";
        return kCliFailed;
    }
    return kCliOk;
}
