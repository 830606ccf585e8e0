#pragma once

#include "settings/Settings.h"

#include <string>

// "RUD2.cfg": ten decimal lines, CR LF ended, in the order BasePort,
// ShortDelay, LongDelay, LongestDelay, BarMax, DragMode, AutoRefresh,
// VerifyTransfers ("1" on, "0" off; a file of seven lines reads as on),
// KeepHistory (as VerifyTransfers) and SaverFilesAsPairs ("1" pairs, "0" or
// missing single-saver files).
inline constexpr const char* kConfigFileName = "RUD2.cfg";

// Reads "RUD2.cfg" from startFolder (empty: the current folder) into
// settings, creating the file with the default texts when it does not exist.
// A file that exists but can't be read is left alone. Missing, empty and
// non-numeric lines take their defaults. Returns the folder with a trailing
// "/", which the caller keeps as StartDir. error (if given) receives a
// one-line reason when the file could not be read or created; the defaults
// apply all the same.
std::string LoadConfig(const std::string& startFolder, Settings& settings,
                       std::string* error = nullptr);

// Writes the ten settings in plain decimal to "RUD2.cfg" in startDir.
// False with error set (if given) when the file can't be written.
bool SaveConfig(const std::string& startDir, const Settings& settings,
                std::string* error = nullptr);

// Folder with a trailing "/" appended when it lacks one; "" gives "./".
std::string WithTrailingSlash(const std::string& folder);
