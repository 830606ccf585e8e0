#include "app/cli/CliCardParts.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliVolume.h"

#include <cstring>

namespace {

struct CardCommand {
    const char* name;
    int (*run)(CliContext&);
};

constexpr CardCommand kCommands[] = {
    {"list", CliList},       {"export", CliExport},      {"import", CliImport},
    {"delete", CliDelete},   {"copy", CliCopy},          {"format", CliFormat},
    {"new", CliNew},         {"save-card", CliSaveCard}, {"upload-card", CliUploadCard},
    {"icons", CliIcons},     {"logo", CliLogo},          {"check", CliCheck},
    {"convert", CliConvert}, {"doctor", CliDoctor},      {"undo", CliUndo},
    {"history", CliHistory}, {"recover", CliRecover},    {"speed", CliSpeed},
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
    return "  VOLUME: a .DCM image file or raw card dump (.bin, .vmu), or slot1 / slot2 over the "
           "link (slot1 is the current page of the paged card; --page N selects one)\n"
           "  list VOLUME [--json]\n"
           "  export VOLUME NAME OUT.DCI|OUT.VMS|OUT.VMI [--force]\n"
           "  export VOLUME --all DIR [--as dci|vms] [--force]\n"
           "  import VOLUME IN.DCI|IN.VMS|IN.VMI|DIR... [--overwrite|--append] [--game]\n"
           "  delete VOLUME NAME\n"
           "  copy SRC NAME DST [--move] [--overwrite|--append]\n"
           "  format VOLUME 200|240|241\n"
           "  new OUT.DCM [--force]\n"
           "  save-card SLOT OUT.DCM [--to dcm|raw] [--force]\n"
           "  upload-card IN.DCM SLOT\n"
           "  convert IN OUT [--to dcm|raw] [--force]\n"
           "  icons VOLUME NAME OUTDIR [--force]\n"
           "  logo IN.BMP OUT.DCI [--caption TEXT] [--dark LIST] [--force]\n"
           "  check VOLUME [--json] [--repair]   (exit 0 clean, 1 problems found)\n"
           "  doctor   (why the link box answers or not; exit 0 when a box and a card answer)\n"
           "  speed [--save]   (the fastest delay counts the box reads a card right at)\n"
           "  undo VOLUME\n"
           "  history VOLUME [--json]\n"
           "  recover VOLUME [NAME]\n"
           "  NAME: the saver's name, trailing blanks ignored, or #N for the saver at "
           "directory index N (as list shows it); LIST: palette numbers 0-15 dark on the LCD, "
           "e.g. 0,3,7\n"
           "  --overwrite replaces the saver of the same name only when the new one fits; "
           "a refused command leaves the card as it was\n"
           "  --force replaces an output file that exists; output files are written whole "
           "under a temporary name and then renamed\n"
           "  Every command takes --help; exit 0 done, 1 failed or refused, 2 usage error\n";
}

int ParseCardArgs(CliContext& ctx, const std::set<std::string>& flags,
                  const std::set<std::string>& values, size_t plainCount, const char* usage,
                  CliArgs& args, long& page) {
    std::string error;
    if (!ParseCliArgs(ctx.args, flags, values, args, error))
        return CliFail(ctx, kCliUsage, error);
    if (args.plain.size() != plainCount)
        return CliFail(ctx, kCliUsage, usage);
    page = -1;
    if (args.values.count("--page") && !ParseCliNumber(args.Value("--page"), 255, page))
        return CliFail(ctx, kCliUsage, "--page takes a number 0-255");
    return kCliOk;
}
