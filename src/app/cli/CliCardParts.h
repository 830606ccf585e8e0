#pragma once

#include "app/cli/CliCommands.h"

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
