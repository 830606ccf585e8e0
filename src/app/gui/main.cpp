#include "card/DemoCards.h"
#include "link/LinkOption.h"
#include "ui/commands/SaverCommands.h"
#include "ui/main/MainWindow.h"
#include "ui/tools/ToolCommands.h"

#include <QApplication>
#include <QScreen>
#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Porvane");
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string spec = "auto";
    std::string error;
    if (!TakeLinkOption(args, spec, error)) {
        std::cerr << "porvane: " << error << "\n";
        return 2;
    }
    // An emulated box on a folder without cards gets two demo cards, so the
    // program can be tried without hardware.
    const std::string emulator = "emulator:";
    if (spec.rfind(emulator, 0) == 0) {
        const std::string folder = spec.substr(emulator.size());
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (!EnsureDemoCards(folder, &error))
            std::cerr << "porvane: no demo cards: " << error << "\n";
    }
    std::unique_ptr<PortBackend> backend = MakePortBackend(spec, error);
    if (!backend) {
        std::cerr << "porvane: " << error << "\n";
        return 2;
    }
    MainWindow window(std::move(backend));
    AttachSaverCommands(window);
    AttachToolCommands(window, args.empty() ? QString() : QString::fromLocal8Bit(args.front()));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.center() - window.rect().center());
    }
    window.show();
    return app.exec();
}
