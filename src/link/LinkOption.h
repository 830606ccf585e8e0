#pragma once

#include "link/PortBackend.h"

#include <memory>
#include <string>
#include <vector>

// The --link SPEC option shared by every program binary:
//   auto (default: ppdev, then raw I/O), ppdev:/dev/parportN, io,
//   emulator:DIR, emulator-paged:FILE, socket:PATH.
// Returns null with a one-line reason in error when SPEC is malformed.
std::unique_ptr<PortBackend> MakePortBackend(const std::string& spec, std::string& error);

// Takes "--link SPEC" / "--link=SPEC" options from the front of args (options
// come before the first plain argument) and leaves the rest. False with error
// set on a bad option.
bool TakeLinkOption(std::vector<std::string>& args, std::string& spec, std::string& error);
