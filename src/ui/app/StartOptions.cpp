#include "ui/app/StartOptions.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Qt's own options (QApplication takes them out of argv later); the ones
// that carry a value take the next argument with them.
bool IsQtOption(const QString& arg, bool& takesValue) {
    static const QStringList withValue = {"-platform",      "-platformpluginpath",
                                          "-platformtheme", "-plugin",
                                          "-style",         "-stylesheet",
                                          "-session",       "-display",
                                          "-geometry",      "-qwindowgeometry",
                                          "-qwindowicon",   "-qwindowtitle",
                                          "-title",         "-name"};
    if (!arg.startsWith('-') || arg.startsWith("--") || arg == "-" || arg == "-h")
        return false;
    takesValue = withValue.contains(arg);
    return true;
}

} // namespace

bool ParseStartOptions(const QStringList& args, StartOptions& options, QString& error) {
    int i = 0;
    for (; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--") {
            ++i;
            break;
        }
        bool takesValue = false;
        if (IsQtOption(arg, takesValue)) {
            if (takesValue)
                ++i;
            continue;
        }
        if (!arg.startsWith("--") && arg != "-h")
            break;
        if (arg == "--version") {
            options.showVersion = true;
        } else if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
        } else if (arg == "--desktop") {
            options.desktop = true;
        } else if (arg == "--link" || arg == "--open-card") {
            const bool hasValue = i + 1 < args.size();
            if (arg == "--link") {
                if (!hasValue) {
                    error = "--link needs a value";
                    return false;
                }
                options.linkSpec = args[++i];
            } else if (hasValue && !args[i + 1].startsWith("--")) {
                // A menu start without a file leaves "--open-card" bare;
                // what follows it is then another option, not a card.
                options.openCard = QFileInfo(args[++i]).absoluteFilePath();
            }
        } else if (arg.startsWith("--link=")) {
            options.linkSpec = arg.mid(7);
        } else if (arg.startsWith("--open-card=")) {
            const QString path = arg.mid(12);
            if (!path.isEmpty())
                options.openCard = QFileInfo(path).absoluteFilePath();
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (i < args.size())
        options.editorFile = args[i];
    return true;
}

QString StartUsage() {
    return QStringLiteral(
        "usage: porvane [--link SPEC] [--desktop] [--open-card FILE] [FILE]\n"
        "       porvane --version | --help\n"
        "  --link SPEC       the link box: auto (default), ppdev:/dev/parportN, io,\n"
        "                    emulator:DIR, emulator-paged:FILE, socket:PATH\n"
        "  --desktop         keep the side files (RUD2.cfg, NA.bmp, dpnw.dc, ...) in\n"
        "                    $XDG_DATA_HOME/porvane instead of the current folder\n"
        "  --open-card FILE  open the card image FILE in the file view at start; when\n"
        "                    Porvane already runs on the same link, it opens it there\n"
        "  FILE              opened in the hex editor the first time it is shown\n");
}

QString DesktopDataFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + "/.local/share";
    return base + "/porvane";
}
