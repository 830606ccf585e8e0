#include "app/cli/CliArgs.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

std::string CliArgs::Value(const std::string& option, const std::string& fallback) const {
    const auto it = values.find(option);
    return it == values.end() ? fallback : it->second;
}

bool ParseCliArgs(const std::vector<std::string>& args, const std::set<std::string>& knownFlags,
                  const std::set<std::string>& knownValues, CliArgs& out, std::string& error) {
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsDone || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            out.plain.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        if (knownFlags.count(name) != 0 && eq == std::string::npos) {
            out.flags.insert(name);
        } else if (knownValues.count(name) != 0) {
            if (eq != std::string::npos) {
                out.values[name] = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                out.values[name] = args[++i];
            } else {
                error = "option " + name + " needs a value";
                return false;
            }
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    return true;
}

bool ParseCliNumber(const std::string& text, long max, long& value) {
    if (text.empty() || text.size() > 9)
        return false;
    long v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v > max)
        return false;
    value = v;
    return true;
}

std::string JsonEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04X", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    return out;
}

std::string InputFileProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_regular_file(status))
        return "";
    if (!fs::exists(status))
        return "File " + path + " not found.";
    if (fs::is_directory(status))
        return path + " is a folder, not a file.";
    return path + " is not a regular file (a FIFO, socket or device); it is not read.";
}
