#pragma once

#include <string>

// ASCII letters in lower case; other bytes (Shift-JIS among them) as they are.
std::string AsciiLower(std::string text);

// Whether the file name's extension (".dci", with the dot) is ext, whatever
// the case of its letters.
bool HasExtension(const std::string& path, const char* ext);
