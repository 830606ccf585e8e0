#include "base/FileNames.h"

#include <algorithm>
#include <filesystem>

std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return text;
}

bool HasExtension(const std::string& path, const char* ext) {
    return AsciiLower(std::filesystem::path(path).extension().string()) == ext;
}
