#include "base/FileSizeLimit.h"
#include "card/DemoCards.h"
#include "link/LinkOption.h"
#include "ui/app/SingleInstance.h"
#include "ui/app/StartOptions.h"
#include "ui/main/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <iostream>

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
    MainWindowOptions windowOptions;
    windowOptions.editorFile = options.editorFile;
    MainWindow window(std::move(backend), windowOptions);
    QObject::connect(&instance, &SingleInstance::OpenCardRequested, &window, &MainWindow::OpenCard);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.center() - window.rect().center());
    }
    window.show();
    if (!options.openCard.isEmpty()) {
        const QString path = options.openCard;
        QTimer::singleShot(0, &window, [&window, path] { window.OpenCard(path); });
    }
    return app.exec();
}
