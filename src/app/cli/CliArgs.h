#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

// The arguments of one card command split into plain arguments, flags and
// options with a value. Options may stand anywhere; "--" ends them.
struct CliArgs {
    std::vector<std::string> plain;
    std::set<std::string> flags;
    std::map<std::string, std::string> values;

    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    // The option's value, or fallback when it wasn't given.
    std::string Value(const std::string& option, const std::string& fallback = "") const;
};

// Splits args by the flags and value options a command knows. False with error
// set for an unknown option or a value option without its value.
bool ParseCliArgs(const std::vector<std::string>& args, const std::set<std::string>& knownFlags,
                  const std::set<std::string>& knownValues, CliArgs& out, std::string& error);

// A non-negative decimal number that fits in max; false for anything else.
bool ParseCliNumber(const std::string& text, long max, long& value);

// text as the inside of a JSON string: quote, backslash and control characters
// escaped, and bytes from 0x7F up written as \u00XX (every byte is one
// character, as the card's names are).
std::string JsonEscape(const std::string& text);

// Why path cannot be read as an input file; empty for a regular file. A FIFO
// or device is refused before it is opened, since opening it could wait for
// ever.
std::string InputFileProblem(const std::string& path);
