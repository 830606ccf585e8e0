#include "app/cli/CliCommands.h"
#include "base/FileSizeLimit.h"
#include "link/LinkOption.h"

#include <iostream>

namespace {

void PrintUsage(std::ostream& os) {
    os << "usage: porvane-cli [--link SPEC] [--no-verify] [--no-journal] COMMAND ARGS...\n"
          "       porvane-cli COMMAND --help | --help | --version\n"
          "  SPEC: auto | ppdev:/dev/parportN | io | emulator:DIR | emulator-paged:FILE | "
          "socket:PATH\n"
          "  --no-verify: read card blocks once and write them without reading back\n"
          "  --no-journal: keep no history of the card changes (see undo, history, recover)\n"
          "  disasm FILE [--from ADDR]\n"
       << CliCardUsage();
}

// COMMAND --help (or -h) among the command's options, before any "--".
bool WantsHelp(const std::vector<std::string>& args) {
    for (size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--help" || args[i] == "-h")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    FailWritesPastFileSizeLimit();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string spec = "auto";
    std::string error;
    // --no-verify and --no-journal may stand among the --link options before
    // the command.
    bool verify = true;
    bool journal = true;
    for (size_t i = 0; i < args.size() && args[i].rfind("--", 0) == 0;) {
        if (args[i] == "--no-verify") {
            verify = false;
            args.erase(args.begin() + static_cast<long>(i));
        } else if (args[i] == "--no-journal") {
            journal = false;
            args.erase(args.begin() + static_cast<long>(i));
        } else {
            i += args[i] == "--link" ? 2 : 1;
        }
    }
    if (!TakeLinkOption(args, spec, error)) {
        std::cerr << "porvane-cli: " << error << "\n";
        return kCliUsage;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? kCliUsage : kCliOk;
    }
    if (args[0] == "--version") {
        std::cout << "porvane-cli " PORVANE_VERSION "\n";
        return kCliOk;
    }
    const std::string command = args[0];
    std::string help;
    if (WantsHelp(args) && CliCommandHelp(command, help)) {
        std::cout << help;
        return kCliOk;
    }
    CliContext ctx{std::vector<std::string>(args.begin() + 1, args.end()), spec, std::cout,
                   std::cerr, verify};
    ctx.journal = journal;
    if (command == "disasm")
        return CliDisasm(ctx);
    const int rc = CliCardCommand(command, ctx);
    if (rc >= 0)
        return rc;
    std::cerr << "porvane-cli: unknown command '" << command << "'\n";
    PrintUsage(std::cerr);
    return kCliUsage;
}
