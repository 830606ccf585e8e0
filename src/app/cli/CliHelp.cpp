// porvane-cli COMMAND --help: what each command does, for the terminal.
#include "app/cli/CliCommands.h"

namespace {

struct CommandHelp {
    const char* name;
    const char* text;
};

constexpr const char* kVolume =
    "  VOLUME is a .DCM card image or a raw card dump (.bin, .vmu; the byte order\n"
    "  is read from its root), or slot1 / slot2 over the link (slot1 is the\n"
    "  current page of the paged card).\n";
constexpr const char* kPage = "  --page N       select page N (0-255) of the paged card first\n";
constexpr const char* kForce =
    "  --force        replace OUT if it exists (written whole, then renamed)\n";
constexpr const char* kName =
    "  NAME is the saver's name (trailing blanks ignored) or #N for the saver\n"
    "  at directory index N, as list shows it.\n";
constexpr const char* kPlace =
    "  --overwrite    replace a saver of the same name, only if the new one fits\n"
    "  --append       keep a saver of the same name and add this one beside it\n";

constexpr CommandHelp kHelp[] = {
    {"list", "usage: porvane-cli list VOLUME [--json] [--page N]\n"
             "Lists the savers of a card: index, name, type, first block, size, date,\n"
             "time, icon frames and description, then the free blocks.\n"
             "  --json         one JSON object instead of the table\n"},
    {"export",
     "usage: porvane-cli export VOLUME NAME OUT.DCI|OUT.VMS|OUT.VMI [--force] [--page N]\n"
     "       porvane-cli export VOLUME --all DIR [--as dci|vms] [--force] [--page N]\n"
     "Writes one saver to a single-saver file. OUT.VMS or OUT.VMI writes both\n"
     "files of a VMS + VMI pair; the VMS's name (at most 8 characters before\n"
     "the extension) is the resource name the VMI gives.\n"
     "  --all DIR      every saver of the card into DIR (made when missing), one\n"
     "                DCI, or one VMS + VMI pair, each, named after the saver in\n"
     "                letters, digits, '-' and '_' (~2, ~3 ... where names meet);\n"
     "                nothing is written when one of the files exists\n"
     "  --as dci|vms   the files --all writes (default dci)\n"},
    {"import", "usage: porvane-cli import VOLUME IN.DCI|IN.VMS|IN.VMI|DIR... "
               "[--overwrite|--append] [--game] [--page N]\n"
               "Places the saver of a single-saver file, or of a VMS + VMI pair named by\n"
               "either file, on the card. A VMS without a VMI is named after its file and\n"
               "dated now. A saver of the same name already there needs --overwrite or\n"
               "--append. A VMI whose checksum is wrong, or whose date is impossible, is\n"
               "imported all the same (dated now), with one line on stderr.\n"
               "With a folder, or several files, every save file (.DCI, VMS + VMI pairs,\n"
               "VMS alone) is imported in name order; a refused file does not stop the\n"
               "rest, and a summary names each file with what became of it (exit 1 when\n"
               "any was refused).\n"
               "  --game         a VMS without a VMI is a game (at block 0), not data\n"},
    {"delete", "usage: porvane-cli delete VOLUME NAME [--page N]\n"
               "Deletes one saver and frees its blocks.\n"},
    {"copy", "usage: porvane-cli copy SRC NAME DST [--move] [--overwrite|--append] [--page N]\n"
             "Copies a saver from card SRC to card DST (two different cards).\n"
             "  --move         delete the saver from SRC once it is on DST\n"},
    {"format", "usage: porvane-cli format VOLUME 200|240|241 [--page N]\n"
               "Lays down an empty file system with 200, 240 or 241 blocks for savers.\n"
               "Every saver on the card is lost.\n"},
    {"new", "usage: porvane-cli new OUT.DCM [--force]\n"
            "Writes a new card image, formatted with 200 user blocks.\n"},
    {"save-card", "usage: porvane-cli save-card SLOT OUT.DCM [--to dcm|raw] [--force] [--page N]\n"
                  "Reads the whole card in slot1 or slot2 into a card image.\n"
                  "  --to dcm|raw   DCM (card order) or raw dump (natural order); default raw\n"
                  "                 when OUT ends in .vmu, else dcm (.bin included)\n"},
    {"upload-card", "usage: porvane-cli upload-card IN.DCM SLOT [--page N]\n"
                    "Writes a card image of 131072 bytes over the whole card in slot1 or\n"
                    "slot2.\n"},
    {"icons", "usage: porvane-cli icons VOLUME NAME OUTDIR [--force] [--page N]\n"
              "Writes every icon frame of a saver as OUTDIR/frameN.bmp (32 x 32, 8 bits)\n"
              "and prints their names. OUTDIR is created when missing.\n"
              "  --force        replace frame files that exist\n"},
    {"logo", "usage: porvane-cli logo IN.BMP OUT.DCI [--caption TEXT] [--dark LIST] [--force]\n"
             "Builds the caption-logo saver ICONDATA_VMS from a 32 x 32, 8-bit BMP.\n"
             "  --caption TEXT the caption, 16 characters (default \"No Name\")\n"
             "  --dark LIST    palette numbers 0-15 shown dark on the LCD, e.g. 0,3,7\n"},
    {"check", "usage: porvane-cli check VOLUME [--json] [--repair] [--page N]\n"
              "Checks the card's root, allocation table and directory and every saver's\n"
              "chain. Exit 0 when clean, 1 when problems were found.\n"
              "  --json         the report as one JSON object\n"
              "  --repair       write what is safe to mend, then check again\n"},
    {"doctor", "usage: porvane-cli doctor   (--link SPEC before it names the port)\n"
               "Tells why the link box answers or not: the parallel ports and their\n"
               "devices, whether this user may open them (and the command that lets\n"
               "them), the one that matches BasePort, whether a box answers, which\n"
               "slots hold a card, and two reads of each card's root block compared.\n"},
    {"speed", "usage: porvane-cli speed [--save]   (--link SPEC before it names the port)\n"
              "Finds the fastest delay counts at which the link box reads the card\n"
              "right: reads the root, table and directory of the card in the box a few\n"
              "hundred times while it lowers the counts (it never writes), then adds a\n"
              "quarter as a margin. Starts from the counts and bar of RUD2.cfg; prints\n"
              "the old and the new counts, and what a 20-saver refresh takes at each.\n"
              "  --save         keep the new counts in RUD2.cfg\n"},
    {"undo", "usage: porvane-cli undo VOLUME [--page N]\n"
             "Takes back the card's last change, when nothing else has written the card\n"
             "since; the undo is itself a change, so a second undo redoes it.\n"},
    {"history", "usage: porvane-cli history VOLUME [--json] [--page N]\n"
                "Lists the card's last changes, oldest first: number, time, command and\n"
                "the savers it took off or put on. Kept in journal/ of the current folder.\n"
                "  --json         one JSON object instead of the table\n"},
    {"recover", "usage: porvane-cli recover VOLUME [NAME] [--page N]\n"
                "Puts deleted savers (or the one called NAME) back on the card when their\n"
                "blocks are still free and unchanged; the others are named as lost.\n"},
    {"convert", "usage: porvane-cli convert IN OUT [--to dcm|raw] [--force]\n"
                "Writes the card image IN (a DCM or a raw card dump, its byte order read\n"
                "from its root, or its table and directory) as OUT in the order asked for.\n"
                "  --to dcm|raw   DCM (card order) or raw dump (natural order); default raw\n"
                "                 when OUT ends in .vmu, else dcm (.bin included). When\n"
                "                 IN's contents do not tell its order, --to states it: IN\n"
                "                 is copied as it is, and the copy's root set so that it\n"
                "                 tells its order\n"},
    {"disasm", "usage: porvane-cli disasm FILE [--from ADDR]\n"
               "Lists 86K machine code, one instruction per line.\n"
               "  --from ADDR    start at file position ADDR (hex: 1A0, 0x1A0 or $1A0),\n"
               "                 numbering addresses from there\n"},
};

bool TakesVolume(const std::string& name) {
    return name != "new" && name != "logo" && name != "disasm" && name != "save-card" &&
           name != "upload-card" && name != "convert" && name != "doctor" && name != "speed";
}

} // namespace

bool CliCommandHelp(const std::string& name, std::string& text) {
    for (const CommandHelp& help : kHelp) {
        if (name != help.name)
            continue;
        text = help.text;
        if (name == "save-card" || name == "upload-card")
            text += "  SLOT is slot1 or slot2 (slot1 is the current page of the paged card).\n";
        if (TakesVolume(name))
            text += kVolume;
        if (name == "export" || name == "delete" || name == "copy" || name == "icons")
            text += kName;
        if (name == "import" || name == "copy")
            text += kPlace;
        if (name == "export" || name == "new" || name == "save-card" || name == "logo" ||
            name == "convert")
            text += kForce;
        if (name != "new" && name != "logo" && name != "disasm" && name != "convert" &&
            name != "doctor" && name != "speed")
            text += kPage;
        if (name != "new" && name != "logo" && name != "disasm" && name != "convert")
            text += "  --link SPEC and --no-verify go before COMMAND (see porvane-cli --help).\n";
        text += name == "doctor" ? "Exit: 0 a box and a card answer, 1 not, 2 usage error.\n"
                : name == "speed"
                    ? "Exit: 0 counts found, 1 no box, no card, or no counts read right, 2 "
                      "usage error.\n"
                : name == "check"
                    ? "Exit: 0 clean, 1 problems found or the check failed, 2 usage "
                      "error.\n"
                    : "Exit: 0 done, 1 failed or refused (one line on stderr), 2 usage "
                      "error.\n";
        return true;
    }
    return false;
}
