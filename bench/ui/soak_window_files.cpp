// Soak of the window's file paths with hostile files, for a memory-error
// build (AddressSanitizer and UBSan: a finding stops the program).
//
// The real main window, offscreen, over the in-process emulated two-slot box,
// is fed files made by the program's own writers and then damaged: card
// images opened from the menu and dropped on the file view, single savers
// imported and dropped, VMS + VMI pairs (resource names with "../" and
// absolute paths among them), BMP pictures opened for the caption logo, and
// the "no icon" picture NA.bmp replaced under the window, then read at the
// next refresh. Afterwards nothing may have appeared outside the run's own
// folder.
//
//   soak_window_files            20000 files
//   soak_window_files --short    600 files (what the tests run)
//   soak_window_files --runs N --seed S
#include "BenchStandIns.h"
#include "card/CardVolume.h"
#include "card/DciFile.h"
#include "card/DemoCards.h"
#include "card/SideFiles.h"
#include "card/VmsVmi.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/EmulatorBackend.h"
#include "tools/icon/qt/LcdColourDialog.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/SaverCommands.h"
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"
#include "ui/tools/ToolCommands.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <cstdlib>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A picture as the logo import wants it: 32 x 32, 8 bits, 256 colours.
Bytes LogoBmp() {
    Bytes b(54 + 1024 + 1024, 0);
    const auto put = [&b](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, static_cast<uint32_t>(b.size()), 4);
    put(10, 54 + 1024, 4);
    put(14, 40, 4);
    put(18, 32, 4);
    put(22, 32, 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(34, 1024, 4);
    for (int i = 0; i < 256; ++i)
        put(54 + 4 * i, static_cast<uint32_t>(i * 0x010203), 4);
    for (int i = 0; i < 1024; ++i)
        b[54 + 1024 + i] = static_cast<uint8_t>(i * 7);
    return b;
}

class Mutator {
  public:
    explicit Mutator(uint32_t seed) : rng_(seed) {}
    int Below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

    // A few damages, at random places or in the first `hot` bytes (headers,
    // a card's system blocks from hotFrom on).
    Bytes Damage(Bytes bytes, size_t hot, size_t hotFrom = 0) {
        static constexpr uint16_t kWords[] = {0,      1,      0x00FF, 0x0100, 0x7FFF, 0x8000,
                                              0xFFFA, 0xFFFC, 0xFFFE, 0xFFFF, 255,    241};
        const int steps = 1 + Below(8);
        for (int s = 0; s < steps && !bytes.empty(); ++s) {
            const bool inHot = hot > 0 && Below(3) != 0;
            const size_t span = inHot
                                    ? std::min(hot, bytes.size() - std::min(hotFrom, bytes.size()))
                                    : bytes.size();
            const size_t base = inHot ? std::min(hotFrom, bytes.size() - 1) : 0;
            const size_t at = base + (span > 0 ? rng_() % span : 0);
            switch (Below(6)) {
            case 0:
                bytes[at] ^= static_cast<uint8_t>(1u << Below(8));
                break;
            case 1:
                bytes[at] = static_cast<uint8_t>(rng_());
                break;
            case 2:
                if (at + 1 < bytes.size()) {
                    const uint16_t w = kWords[Below(std::size(kWords))];
                    bytes[at] = static_cast<uint8_t>(w);
                    bytes[at + 1] = static_cast<uint8_t>(w >> 8);
                }
                break;
            case 3:
                bytes.resize(rng_() % (bytes.size() + 1));
                break;
            case 4:
                for (int k = Below(600); k > 0; --k)
                    bytes.push_back(static_cast<uint8_t>(rng_()));
                break;
            default:
                if (at + 4 <= bytes.size()) // a huge or negative 32-bit field
                    for (int k = 0; k < 4; ++k)
                        bytes[at + k] = Below(2) ? 0xFF : static_cast<uint8_t>(rng_());
                break;
            }
        }
        return bytes;
    }

  private:
    std::mt19937 rng_;
};

// Plays OK in the colour dialog each time it is shown.
class PressOk : public QObject {
  public:
    explicit PressOk(LcdColourDialog& dialog) : dialog_(dialog) { dialog.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show)
            QTimer::singleShot(0, this, [this] { dialog_.OkButton()->click(); });
        return false;
    }

  private:
    LcdColourDialog& dialog_;
};

// Answers every file dialog with the file of the moment.
class FilePrompter : public FixedPrompter {
  public:
    FilePrompter() : FixedPrompter(true) {}
    QString OpenFile(const FileDialogSetup&) override { return file; }
    QString file;
};

void Drop(MainWindow& window, CardPlace view, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QWidget* target = PresenterOf(window).ViewOf(view).List()->viewport();
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QApplication::processEvents();
}

// Every path under folder, but those under skip.
std::set<std::string> Tree(const fs::path& folder, const fs::path& skip) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        names.insert(it->path().string());
    }
    return names;
}

} // namespace

int main(int argc, char** argv) {
    long runs = 20000;
    uint32_t seed = 24;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--short")
            runs = 600;
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--seed" && i + 1 < argc)
            seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    }
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // The run's folder three deep in a private one, so that a name with
    // "../" in it that were written would show beside it.
    std::string pattern = (fs::temp_directory_path() / "porvane-soak-files-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 2;
    const fs::path outside = pattern;
    const fs::path dir = outside / "a" / "b" / "run";
    fs::create_directories(dir / "in");
    const std::set<std::string> before = Tree(outside, dir);
    EnsureDemoCards(dir.string());
    EnsureSideFiles(dir.string());
    std::ofstream(dir / "RUD2.cfg") << "888\r\n0\r\n0\r\n0\r\n9216\r\n0\r\n0\r\n1\r\n0\r\n";
    const Bytes slot2 = ReadAll(dir / "slot2.dcm");
    const Bytes noIcon = ReadAll(dir / "NA.bmp");

    FilePrompter prompter;
    NoWaitClock clock;
    MainWindowOptions options;
    options.startDir = dir.string();
    options.prompter = &prompter;
    options.clock = &clock;
    options.ticks.state = options.ticks.detect = options.ticks.autoRefresh = 3600000;
    auto window = std::make_unique<MainWindow>(
        std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(dir.string())), options);
    SaverCommands* commands = window->findChild<SaverCommands*>();
    ToolCommands* tools = window->findChild<ToolCommands*>();
    PressOk ok(tools->Colours());
    PresenterOf(*window).RefreshCommand(CardPlace::Slot1);
    PresenterOf(*window).RefreshCommand(CardPlace::Slot2);

    // The seeds, from the program's own writers.
    CardVolume& card1 = PresenterOf(*window).Session().Volume(CardPlace::Slot1);
    const Bytes dcm = ReadAll(dir / "slot1.dcm");
    Bytes dci[3];
    Bytes vms[3];
    Bytes vmi[3];
    for (int k = 0; k < 3 && k < card1.ListedCount(); ++k) {
        const int entry = card1.ListMap()[k];
        const fs::path d = dir / "seed.dci";
        ExportDci(d.string(), entry, card1);
        dci[k] = ReadAll(d);
        std::string error;
        ExportVmsVmi((dir / "SEED.VMS").string(), (dir / "SEED.VMI").string(), "SEED", entry, card1,
                     error);
        vms[k] = ReadAll(dir / "SEED.VMS");
        vmi[k] = ReadAll(dir / "SEED.VMI");
    }
    const Bytes bmp = LogoBmp();
    static const char* const kResources[] = {"../../..", "/etc/pa", "..",     "./SEED",
                                             "SEED/..",  "~/x",     "SE\\ED", "SEED"};

    Mutator m(seed);
    long counts[6] = {};
    long accepted = 0;
    for (long run = 0; run < runs; ++run) {
        const int kind = m.Below(6);
        ++counts[kind];
        const int k = m.Below(3);
        const fs::path in = dir / "in";
        const int listedBefore =
            PresenterOf(*window).Session().Volume(CardPlace::Slot2).ListedCount();
        switch (kind) {
        case 0: { // a card image from the menu's Open
            WriteAll(in / "case.dcm", m.Damage(dcm, 131072 - 241 * 512, 241 * 512));
            accepted +=
                commands->Dcm().OpenFile(QString::fromStdString((in / "case.dcm").string()));
            break;
        }
        case 1: // a single saver imported into slot 2
            WriteAll(in / "case.dci", m.Damage(dci[k], 32 + 512));
            commands->Dci().ImportFile(CardPlace::Slot2,
                                       QString::fromStdString((in / "case.dci").string()));
            break;
        case 2: { // a VMS + VMI pair, its resource name perhaps a path
            Bytes info = m.Damage(vmi[k], 108);
            if (info.size() >= 0x58 && m.Below(2) == 0) {
                const char* name = kResources[m.Below(std::size(kResources))];
                std::memset(info.data() + 0x50, 0, 8);
                std::memcpy(info.data() + 0x50, name, std::strlen(name));
                uint8_t resource[8];
                std::memcpy(resource, info.data() + 0x50, 8);
                const uint32_t sum = VmiChecksum(resource);
                for (int i = 0; i < 4; ++i)
                    info[static_cast<size_t>(i)] = static_cast<uint8_t>(sum >> (8 * i));
            }
            WriteAll(in / "SEED.VMI", info);
            WriteAll(in / "SEED.VMS", m.Damage(vms[k], 512));
            const std::string pick = m.Below(2) ? "SEED.VMI" : "SEED.VMS";
            commands->Dci().ImportFile(CardPlace::Slot2,
                                       QString::fromStdString((in / pick).string()));
            break;
        }
        case 3: { // dropped: an image on the file view, savers with it
            WriteAll(in / "drop.dcm", m.Damage(dcm, 131072 - 241 * 512, 241 * 512));
            WriteAll(in / "drop.dci", m.Damage(dci[k], 32 + 512));
            Drop(*window, CardPlace::Image,
                 {QString::fromStdString((in / "drop.dcm").string()),
                  QString::fromStdString((in / "drop.dci").string())});
            break;
        }
        case 4: // a picture for the caption logo
            WriteAll(in / "case.bmp", m.Damage(bmp, 54));
            prompter.file = QString::fromStdString((in / "case.bmp").string());
            PresenterOf(*window).Menus().Item(CardPlace::Slot2, CommandId::ImportBmp)->trigger();
            break;
        default: // the "no icon" picture changed under the window
            WriteAll(dir / "NA.bmp", m.Damage(noIcon, 54));
            PresenterOf(*window).RefreshCommand(CardPlace::Slot1);
            WriteAll(dir / "NA.bmp", noIcon);
            break;
        }
        QApplication::processEvents();
        if (kind != 0 &&
            PresenterOf(*window).Session().Volume(CardPlace::Slot2).ListedCount() > listedBefore)
            ++accepted;
        // Slot 2 emptied now and then, so that imports keep finding room.
        if (run % 25 == 24) {
            WriteAll(dir / "slot2.dcm", slot2);
            PresenterOf(*window).RefreshCommand(CardPlace::Slot2);
        }
    }
    const char* kNames[] = {"DCM opens", "DCI imports", "VMS+VMI imports",
                            "drops",     "BMP opens",   "NA.bmp reads"};
    for (int kind = 0; kind < 6; ++kind)
        std::printf("%-16s %ld\n", kNames[kind], counts[kind]);
    std::printf("files %ld, taken %ld, messages %d\n", runs, accepted, prompter.messages);
    window.reset();
    // Nothing a file's contents named may have landed beside the run's folder.
    int strays = 0;
    for (const std::string& name : Tree(outside, dir))
        if (!before.count(name)) {
            std::printf("new beside the run: %s\n", name.c_str());
            ++strays;
        }
    std::printf("files outside the run's folder: %d\n", strays);
    std::error_code ec;
    fs::remove_all(outside, ec);
    return strays == 0 ? 0 : 1;
}
