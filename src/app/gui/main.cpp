#include "base/FileSizeLimit.h"
#include "card/DemoCards.h"
#include "link/LinkOption.h"
#include "ui/app/SingleInstance.h"
#include "ui/app/StartOptions.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/SaverCommands.h"
#include "ui/main/MainWindow.h"
#include "ui/tools/ToolCommands.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <iostream>

namespace {

void ImportWhenLoaded(MainWindow& window, SaverCommands& commands, const QString& path, int tries);

// Opens a card image handed to us at start or by a later start, once no
// link work and no modal window is in the way (a request may arrive while a
// refresh runs or a choice window is open).
void OpenCardWhenIdle(MainWindow& window, SaverCommands& commands, const QString& path) {
    if (window.Session().LinkBusy() || QApplication::activeModalWidget() != nullptr) {
        QTimer::singleShot(
            500, &window, [&window, &commands, path] { OpenCardWhenIdle(window, commands, path); });
        return;
    }
    window.raise();
    window.activateWindow();
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "dci" || suffix == "vms" || suffix == "vmi") {
        // Asked from the event loop, not from inside the hand-off's socket
        // signal: the question's own loop may see that socket go.
        QTimer::singleShot(0, &window, [&window, &commands, path] {
            ImportWhenLoaded(window, commands, path, 0);
        });
    } else
        commands.Dcm().OpenFile(path);
}

// A single save handed to us goes into the view the user names, once a card
// has been read (the slots are read shortly after start).
void ImportWhenLoaded(MainWindow& window, SaverCommands& commands, const QString& path, int tries) {
    constexpr const char* kViewNames[] = {"Slot 1", "Slot 2", "the DCM file"};
    const CardSession& session = window.Session();
    bool any = false;
    for (CardPlace view : kCardPlaces)
        any = any || session.Loaded(view);
    const bool busy = session.LinkBusy() || QApplication::activeModalWidget() != nullptr;
    if (busy || (!any && tries < 10)) {
        const int next = busy ? tries : tries + 1;
        QTimer::singleShot(500, &window, [&window, &commands, path, next] {
            ImportWhenLoaded(window, commands, path, next);
        });
        return;
    }
    if (!any) {
        window.Prompts().Info("Refresh a card or open a DCM file first, then import " + path +
                              " .");
        return;
    }
    for (CardPlace view : kCardPlaces) {
        if (session.Loaded(view) && window.Prompts().Confirm("Import " + path + " into " +
                                                             kViewNames[PlaceIndex(view)] + " ?")) {
            commands.Dci().ImportFile(view, path);
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    FailWritesPastFileSizeLimit();
    // --version and --help answer without a display (a packaging check runs
    // them on a machine without one), so they are read before Qt starts.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    StartOptions options;
    QString error;
    if (!ParseStartOptions(arguments, options, error)) {
        std::cerr << "porvane: " << error.toStdString() << "\n" << StartUsage().toStdString();
        return 2;
    }
    if (options.showVersion) {
        std::cout << "porvane " << PORVANE_VERSION << "\n";
        return 0;
    }
    if (options.showHelp) {
        std::cout << StartUsage().toStdString();
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Porvane");
    QApplication::setApplicationVersion(PORVANE_VERSION);
    // Check the link spec before anything else is done with it.
    std::vector<std::string> linkArgs = {"--link", options.linkSpec.toStdString()};
    std::string spec;
    std::string linkError;
    if (!TakeLinkOption(linkArgs, spec, linkError)) {
        std::cerr << "porvane: " << linkError << "\n";
        return 2;
    }

    SingleInstance instance(options.linkSpec);
    if (instance.ServerName().isEmpty())
        std::cerr << "porvane: " << instance.Problem().toStdString()
                  << "; later starts on this link will not find this one\n";
    if (instance.HandOff(options.openCard))
        return 0;
    if (!instance.Listen() && instance.HandOff(options.openCard))
        return 0;

    // A menu start lands in whatever folder the desktop chose; the side files
    // belong in the user's data folder then. A terminal start keeps the
    // current folder, as it always has.
    if (options.desktop) {
        const QString folder = DesktopDataFolder();
        if (!QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
            std::cerr << "porvane: cannot use the data folder " << folder.toStdString() << "\n";
            return 1;
        }
    }

    // An emulated box on a folder without cards gets two demo cards, so the
    // program can be tried without hardware.
    const std::string emulator = "emulator:";
    if (spec.rfind(emulator, 0) == 0) {
        const std::string folder = spec.substr(emulator.size());
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (!EnsureDemoCards(folder, &linkError))
            std::cerr << "porvane: no demo cards: " << linkError << "\n";
    }
    std::unique_ptr<PortBackend> backend = MakePortBackend(spec, linkError);
    if (!backend) {
        std::cerr << "porvane: " << linkError << "\n";
        return 2;
    }
    MainWindow window(std::move(backend));
    SaverCommands* commands = AttachSaverCommands(window);
    AttachToolCommands(window, options.editorFile);
    QObject::connect(
        &instance, &SingleInstance::OpenCardRequested, &window,
        [&window, commands](const QString& path) { OpenCardWhenIdle(window, *commands, path); });
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.center() - window.rect().center());
    }
    window.show();
    if (!options.openCard.isEmpty()) {
        const QString path = options.openCard;
        QTimer::singleShot(
            0, &window, [&window, commands, path] { OpenCardWhenIdle(window, *commands, path); });
    }
    return app.exec();
}
