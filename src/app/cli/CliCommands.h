#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Exit codes of porvane-cli.
enum CliExit { kCliOk = 0, kCliFailed = 1, kCliUsage = 2 };

// What a command gets: its own arguments (after the command name), the --link
// spec chosen before it, and the two output streams.
struct CliContext {
    std::vector<std::string> args;
    std::string linkSpec = "auto";
    std::ostream& out;
    std::ostream& err;
    // --no-verify: card blocks on the link are read once and not read back.
    bool verify = true;
    // --no-journal: card changes are not kept in the history.
    bool journal = true;
};

// Each returns a CliExit. Card commands live in CliCard*.cpp, disasm in
// CliDisasm.cpp.
int CliDisasm(CliContext& ctx);
// Runs one of the card commands (list, export, import, delete, copy, format,
// new, save-card, upload-card, icons, logo, check); returns -1 when name is none of
// them.
int CliCardCommand(const std::string& name, CliContext& ctx);
// One line per command for the usage text.
const char* CliCardUsage();
// The --help text of a command (usage, what it does, its options); false
// when name is no command.
bool CliCommandHelp(const std::string& name, std::string& text);
