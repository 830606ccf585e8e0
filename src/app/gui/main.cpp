#include "link/LinkOption.h"
#include "ui/main/TForm1.h"

#include <QApplication>
#include <iostream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string spec = "auto";
    std::string error;
    if (!TakeLinkOption(args, spec, error)) {
        std::cerr << "porvane: " << error << "\n";
        return 2;
    }
    std::unique_ptr<PortBackend> backend = MakePortBackend(spec, error);
    if (!backend) {
        std::cerr << "porvane: " << error << "\n";
        return 2;
    }
    TForm1 form(std::move(backend));
    form.show();
    return app.exec();
}
