#pragma once

#include <QString>
#include <QStringList>

// What the window program is asked to do on its command line:
//   porvane [--link SPEC] [--desktop] [--open-card FILE] [FILE]
//   porvane --version | --help
// Options stand before the first plain argument, which keeps its old
// meaning: the file the hex editor opens on its first showing.
struct StartOptions {
    QString linkSpec = QStringLiteral("auto");
    // Started from the desktop menu: side files live in the user's data
    // folder, not in whatever folder the menu happens to start us in.
    bool desktop = false;
    // A card image to open in the file view at start (as absolute path).
    QString openCard;
    // The first plain argument, for the hex editor; empty when none.
    QString editorFile;
    bool showVersion = false;
    bool showHelp = false;
};

// Parses args (without the program name). False with error set for an
// unknown option or a --link without its value. A "--open-card" with no
// value (a menu start without a file: the desktop file's %f expands to
// nothing) opens no card.
bool ParseStartOptions(const QStringList& args, StartOptions& options, QString& error);

QString StartUsage();

// The data folder of a desktop start: $XDG_DATA_HOME/porvane, or
// ~/.local/share/porvane when XDG_DATA_HOME is unset or not absolute.
QString DesktopDataFolder();
