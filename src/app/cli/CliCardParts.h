#pragma once

#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"

#include <set>
#include <string>

// The common opening of a card command: the flags and value options it knows,
// --page N (0-255), exactly plainCount plain arguments. kCliOk, or the exit
// code after one line on stderr (usage for a wrong count).
int ParseCardArgs(CliContext& ctx, const std::set<std::string>& flags,
                  const std::set<std::string>& values, size_t plainCount, const char* usage,
                  CliArgs& args, long& page);

// The card commands, one function each; every one returns a CliExit.
int CliList(CliContext& ctx);
int CliIcons(CliContext& ctx);
int CliExport(CliContext& ctx);
int CliImport(CliContext& ctx);
int CliDelete(CliContext& ctx);
int CliCopy(CliContext& ctx);
int CliFormat(CliContext& ctx);
int CliNew(CliContext& ctx);
int CliSaveCard(CliContext& ctx);
int CliUploadCard(CliContext& ctx);
int CliLogo(CliContext& ctx);
int CliCheck(CliContext& ctx);
// Tells why the link box does or does not answer; exit 0 when a box and a card do.
int CliDoctor(CliContext& ctx);
// Finds the fastest delay counts the box reads the card right at; --save
// keeps them in "RUD2.cfg".
int CliSpeed(CliContext& ctx);
int CliUndo(CliContext& ctx);
int CliHistory(CliContext& ctx);
int CliRecover(CliContext& ctx);
int CliConvert(CliContext& ctx);

// export to OUT.VMS or OUT.VMI: the saver as a VMS + VMI pair.
int CliExportVms(CliContext& ctx, const CliArgs& args, long page);
// export VOLUME --all DIR: every saver into a folder (CliFolders.cpp).
bool CliExportsAll(const CliContext& ctx);
int CliExportAll(CliContext& ctx);
// import VOLUME DIR|FILE...: a folder, or more than one file.
bool CliImportsMany(const CliContext& ctx);
int CliImportMany(CliContext& ctx);
