#include "app/cli/CliCardParts.h"
#include "app/cli/CliCommands.h"

#include <cstring>

namespace {

struct CardCommand {
    const char* name;
    int (*run)(CliContext&);
};

constexpr CardCommand kCommands[] = {
    {"list", CliList},     {"export", CliExport},      {"import", CliImport},
    {"delete", CliDelete}, {"copy", CliCopy},          {"format", CliFormat},
    {"new", CliNew},       {"save-card", CliSaveCard}, {"upload-card", CliUploadCard},
    {"icons", CliIcons},   {"logo", CliLogo},
};

} // namespace

int CliCardCommand(const std::string& name, CliContext& ctx) {
    for (const CardCommand& command : kCommands) {
        if (name == command.name)
            return command.run(ctx);
    }
    return -1;
}

const char* CliCardUsage() {
    return "  VOLUME: a .DCM image file, or slot1 / slot2 over the link "
           "(slot1 is the current page of the paged card; --page N selects one)\n"
           "  list VOLUME [--json]\n"
           "  export VOLUME NAME OUT.DCI\n"
           "  import VOLUME IN.DCI [--overwrite|--append]\n"
           "  delete VOLUME NAME\n"
           "  copy SRC NAME DST [--move]\n"
           "  format VOLUME 200|240|241\n"
           "  new OUT.DCM\n"
           "  save-card SLOT OUT.DCM\n"
           "  upload-card IN.DCM SLOT\n"
           "  icons VOLUME NAME OUTDIR\n"
           "  logo IN.BMP OUT.DCI [--caption TEXT] [--dark LIST]\n"
           "  NAME: the saver's name, trailing blanks ignored; LIST: palette numbers 0-15 "
           "dark on the LCD, e.g. 0,3,7\n";
}
