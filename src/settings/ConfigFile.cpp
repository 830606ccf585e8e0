#include "settings/ConfigFile.h"

#include "base/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// Lines 8 to 10 came later: a shorter file reads as verification and history
// on and single-saver files out, and readers of fewer lines never look at
// them.
constexpr int kLineCount = 10;
constexpr const char* kDefaultTexts[kLineCount] = {
    "888", "00000256", "00004608", "00006912", "00009216", "0", "1", "1", "1", "0"};

// A decimal integer with an optional sign and nothing else; false for any
// other text and for values outside int32.
bool ParseDecimal(const std::string& text, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL)
            return false;
    }
    if (negative)
        v = -v;
    if (v > INT32_MAX || v < INT32_MIN)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t LineValue(const std::string& text, int line) {
    int32_t value = 0;
    if (ParseDecimal(text, value))
        return value;
    // A line that isn't a number falls back to its own default.
    ParseDecimal(kDefaultTexts[line], value);
    return value;
}

void StoreTexts(const std::string (&texts)[kLineCount], Settings& settings);

// mode "wbx" creates the file only, never truncating one that appeared.
// Whole or not at all: a full disk never leaves a cut-off RUD2.cfg behind.
// Without replace, a file that exists is left as it is.
bool WriteLines(const std::string& path, const std::string (&lines)[kLineCount], bool replace,
                std::string* error) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    // A link under the name is not the program's: never replaced.
    AtomicFile file(path, true);
    if (file.Ready() && file.Write(text.data(), text.size()) && file.Commit(replace))
        return true;
    if (error)
        *error = "cannot write " + path + ": " + file.Error();
    return false;
}

} // namespace

std::string WithTrailingSlash(const std::string& folder) {
    // An empty folder is the current one, never the root of the file system.
    if (folder.empty())
        return "./";
    if (folder.back() == '/')
        return folder;
    return folder + "/";
}

std::string LoadConfig(const std::string& startFolder, Settings& settings, std::string* error) {
    std::string texts[kLineCount];
    for (int i = 0; i < kLineCount; ++i)
        texts[i] = kDefaultTexts[i];
    std::string dir = WithTrailingSlash(startFolder);
    const std::string path = dir + kConfigFileName;

    // A FIFO or device under the name would block the read for ever, and a
    // folder can't be read: the defaults apply and nothing is created.
    std::error_code statError;
    const auto status = std::filesystem::status(path, statError);
    if (!statError && std::filesystem::exists(status) &&
        !std::filesystem::is_regular_file(status)) {
        if (error)
            *error = path + " is not a regular file; the default settings apply";
        for (int i = 0; i < kLineCount; ++i)
            texts[i] = kDefaultTexts[i];
        StoreTexts(texts, settings);
        return dir;
    }
    std::ifstream in(path, std::ios::binary);
    if (in) {
        for (int i = 0; i < kLineCount; ++i) {
            std::string line;
            if (!std::getline(in, line))
                line.clear();
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            texts[i] = line;
        }
    } else {
        // Only a missing file is created: one that exists but can't be read
        // keeps the user's values for when it can be read again.
        const int openErrno = errno;
        std::error_code ec;
        const bool exists = std::filesystem::exists(path, ec);
        if (!exists && !ec) {
            WriteLines(path, texts, false, error);
        } else if (error) {
            *error = "cannot read " + path + ": " + std::strerror(openErrno);
        }
    }

    for (int i = 0; i < kLineCount; ++i) {
        if (texts[i].empty())
            texts[i] = kDefaultTexts[i];
    }
    StoreTexts(texts, settings);
    return dir;
}

namespace {

void StoreTexts(const std::string (&texts)[kLineCount], Settings& settings) {
    settings.BasePort = static_cast<uint16_t>(LineValue(texts[0], 0) & 0xFFFF);
    settings.ShortDelay = LineValue(texts[1], 1);
    settings.LongDelay = LineValue(texts[2], 2);
    settings.LongestDelay = LineValue(texts[3], 3);
    settings.BarMax = LineValue(texts[4], 4);
    settings.DragMode = static_cast<uint8_t>(LineValue(texts[5], 5) & 0xFF);
    settings.AutoRefresh = static_cast<uint8_t>(LineValue(texts[6], 6) & 0xFF);
    // Only an explicit 0 turns the checks off; 256 must not do it by its low byte.
    settings.VerifyTransfers = LineValue(texts[7], 7) != 0 ? 1 : 0;
    settings.KeepHistory = LineValue(texts[8], 8) != 0 ? 1 : 0;
    settings.SaverFilesAsPairs = LineValue(texts[9], 9) != 0 ? 1 : 0;
}

} // namespace

bool SaveConfig(const std::string& startDir, const Settings& settings, std::string* error) {
    const std::string lines[kLineCount] = {
        std::to_string(settings.BasePort),     std::to_string(settings.ShortDelay),
        std::to_string(settings.LongDelay),    std::to_string(settings.LongestDelay),
        std::to_string(settings.BarMax),       std::to_string(settings.DragMode),
        std::to_string(settings.AutoRefresh),  settings.VerifyTransfers != 0 ? "1" : "0",
        settings.KeepHistory != 0 ? "1" : "0", settings.SaverFilesAsPairs != 0 ? "1" : "0"};
    const std::string path = WithTrailingSlash(startDir) + kConfigFileName;
    return WriteLines(path, lines, true, error);
}
