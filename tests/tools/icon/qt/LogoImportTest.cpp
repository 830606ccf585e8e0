#include "tools/icon/qt/LogoImport.h"
#include "tools/icon/qt/LcdColourDialog.h"

#include "support/TestFiles.h"
#include "tools/icon/BmpTestFiles.h"
#include "ui/support/ScriptedPrompter.h"

#include "card/CardFeedback.h"
#include "card/CardVolume.h"
#include "card/IconBmp.h"
#include "card/LoadVolume.h"

#include <QAccessible>
#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <functional>
#include <memory>
#include <set>

using namespace icontest;

namespace {

// A colourful palette: entry i differs in every channel from its neighbours.
std::vector<Rgb> Colours() {
    std::vector<Rgb> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back({static_cast<uint8_t>(i * 16 + 3), static_cast<uint8_t>(255 - i),
                           static_cast<uint8_t>(i * 37)});
    return palette;
}

int Sweep(int y, int x) {
    return (y * 32 + x) % 256;
}

int Checker(int y, int x) {
    return (x / 4 + y / 4) % 2 == 0 ? 0 : 1;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// The logo saver of a single-saver file, in natural order.
std::vector<uint8_t> LogoOf(const QString& dci) {
    const QByteArray bytes = ReadAll(dci);
    if (bytes.size() != 1056)
        return {};
    std::vector<uint8_t> saver(bytes.begin() + 32, bytes.end());
    SwapWords(saver.data(), saver.size());
    return saver;
}

bool MonoDark(const std::vector<uint8_t>& logo, int y, int x) {
    return (logo[static_cast<size_t>(0x20 + y * 4 + x / 8)] >> (7 - x % 8)) & 1;
}

int ColourIndex(const std::vector<uint8_t>& logo, int y, int x) {
    const uint8_t pair = logo[static_cast<size_t>(0xC0 + y * 16 + x / 2)];
    return x % 2 == 0 ? pair >> 4 : pair & 0xF;
}

uint16_t PaletteWord(const std::vector<uint8_t>& logo, int k) {
    return static_cast<uint16_t>(logo[static_cast<size_t>(0xA0 + 2 * k)] |
                                 logo[static_cast<size_t>(0xA1 + 2 * k)] << 8);
}

} // namespace

class LogoImportTest : public QObject {
    Q_OBJECT

    std::unique_ptr<porvane_test::TempDir> dir_;
    std::unique_ptr<CardVolume> card_;
    SilentCardFeedback cardUi_;
    ScriptedPrompter prompter_;
    std::unique_ptr<LcdColourDialog> dialog_;
    std::unique_ptr<LogoImport> import_;
    int waitShown_ = 0;
    int waitHidden_ = 0;

    QString Path(const char* name) const { return QString::fromStdString(dir_->File(name)); }
    QString Bmp(const char* name, const BmpLayout& setup) const {
        WriteBmp(dir_->File(name), setup);
        return Path(name);
    }
    // Runs the import; inDialog plays the user while the colour dialog is up.
    bool RunWith(const QString& file, const std::function<void()>& inDialog) {
        prompter_.Then(file);
        if (inDialog)
            QTimer::singleShot(0, dialog_.get(), [this, inDialog] {
                inDialog();
                if (dialog_->isVisible())
                    dialog_->reject();
            });
        return import_->Run(*card_);
    }
    bool LogoOnCard() const {
        for (int i = 0; i < CardVolume::kListedEntries; ++i)
            if (card_->Entries()[i].SizeBlocks == 2 &&
                std::memcmp(card_->Entries()[i].Raw + 4, "ICONDATA_VMS", 12) == 0)
                return true;
        return false;
    }

  private slots:
    void init() {
        dir_ = std::make_unique<porvane_test::TempDir>();
        card_ = std::make_unique<CardVolume>();
        card_->SetPlace(CardPlace::Image);
        card_->Store().SetFeedback(&cardUi_);
        QVERIFY(card_->OpenImage(dir_->File("card.dcm")));
        QVERIFY(card_->FormatVolume(200));
        QVERIFY(LoadVolume(*card_).Loaded());
        prompter_.Clear();
        dialog_ = std::make_unique<LcdColourDialog>(prompter_);
        import_ = std::make_unique<LogoImport>(prompter_, *dialog_);
        import_->SetStartDir(QString::fromStdString(dir_->Path().string()));
        waitShown_ = waitHidden_ = 0;
        import_->SetWaitWindow([this] { ++waitShown_; }, [this] { ++waitHidden_; });
    }
    void cleanup() {
        import_.reset();
        dialog_.reset();
        card_.reset();
        dir_.reset();
    }

    // Screen readers find every control, swatch and preview by name; the
    // swatches and boxes tell their colour.
    void EveryControlHasAName() {
        BmpLayout setup;
        setup.palette = Colours();
        uint8_t area[IconArea::kSize] = {};
        QVERIFY(ReadIconBmp(area, Bmp("named.bmp", setup).toStdString()));
        dialog_->SetStartDir(Path(""));
        dialog_->Prepare(area, Path("named.bmp"));
        int named = 0;
        for (QWidget* widget : dialog_->findChildren<QWidget*>()) {
            if (widget->focusPolicy() == Qt::NoFocus && !qobject_cast<QFrame*>(widget))
                continue;
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(face != nullptr && !face->text(QAccessible::Name).isEmpty(),
                     widget->metaObject()->className());
            ++named;
        }
        QVERIFY(named >= 16 + 16 + 2 + 1 + 3);
        QCOMPARE(dialog_->ColourBox(16)->accessibleName(), QString("Colour 16"));
        QVERIFY(dialog_->ColourBox(16)->accessibleDescription().startsWith(
            "red 243, green 240, blue 43"));
    }

    // Boxes 1 and 3 ticked on a 256-colour picture: dark exactly where the
    // index modulo 16 is 0 or 2; the colour picture and palette from the file.
    void ColourPictureAgainstTheBoxes() {
        BmpLayout setup;
        setup.palette = Colours();
        setup.index = Sweep;
        const QString bmp = Bmp("sweep.bmp", setup);
        QString swatch1;
        QVERIFY(RunWith(bmp, [&] {
            QCOMPARE(dialog_->NameField()->text(), QString("No Name"));
            swatch1 = dialog_->Swatch(1)->accessibleDescription();
            dialog_->ColourBox(1)->click();
            dialog_->ColourBox(3)->click();
            QVERIFY(!dialog_->LcdPreview()->pixmap().isNull());
            dialog_->OkButton()->click();
        }));
        QCOMPARE(swatch1, QString("red 3, green 255, blue 0"));
        QCOMPARE(prompter_.Log(), QStringList({"open: Bitmaps (*.bmp)|*.bmp"}));
        QCOMPARE(waitShown_, 1);
        QCOMPARE(waitHidden_, 1);
        QVERIFY(LogoOnCard());

        const std::vector<uint8_t> logo = LogoOf(import_->WorkFile());
        QCOMPARE(logo.size(), size_t{1024});
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(logo.data()), 16),
                 QByteArray("No Name         "));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const int index = Sweep(y, x);
                QCOMPARE(MonoDark(logo, y, x), index % 16 == 0 || index % 16 == 2);
                QCOMPARE(ColourIndex(logo, y, x), index % 16);
            }
        for (int k = 0; k < 16; ++k) {
            const Rgb c = setup.palette[static_cast<size_t>(k)];
            QCOMPARE(PaletteWord(logo, k),
                     static_cast<uint16_t>(0xF000 + (c.red / 16) * 256 + (c.green / 16) * 16 +
                                           c.blue / 16));
        }
        // The LCD preview file: ticked colours black, the others white,
        // entries from 16 on as the picture has them.
        uint8_t preview[IconArea::kSize] = {};
        QVERIFY(ReadIconBmp(preview, dir_->File("~ico2.bmp")));
        QCOMPARE(preview[IconArea::PaletteOffset(2)], uint8_t{0});
        QCOMPARE(preview[IconArea::PaletteOffset(1)], uint8_t{255});
        QCOMPARE(preview[IconArea::PaletteOffset(16) + 2], setup.palette[16].red);
    }

    // "LOAD BMP": the LCD takes the second picture, the colours stay the
    // first's; a 20-character name keeps its first 16.
    void LoadBmpTakesTheLcdFromASecondPicture() {
        BmpLayout first;
        first.palette = Colours();
        first.index = Sweep;
        const QString colour = Bmp("colour.bmp", first);
        BmpLayout second;
        second.palette = {{0, 0, 0}, {255, 255, 255}}; // two colours, as paint programs save
        second.index = Checker;
        const QString mono = Bmp("mono.bmp", second);
        QVERIFY(RunWith(colour, [&] {
            const QImage screen = dialog_->ScreenPreview()->pixmap().toImage();
            dialog_->ColourBox(5)->click();
            prompter_.Then(mono);
            dialog_->LoadButton()->click();
            QCOMPARE(dialog_->ScreenPreview()->pixmap().toImage(), screen);
            QVERIFY(!dialog_->ColourBox(5)->isChecked());
            QCOMPARE(dialog_->Swatch(2)->accessibleDescription(),
                     QString("red 255, green 255, blue 255"));
            dialog_->ColourBox(1)->click();
            dialog_->NameField()->setText("ABCDEFGHIJKLMNOPQRST");
            dialog_->OkButton()->click();
        }));
        QCOMPARE(prompter_.Calls().size(), 2);
        QCOMPARE(prompter_.Calls()[1].setup.defaultExt, QString("*.bmp"));
        const std::vector<uint8_t> logo = LogoOf(import_->WorkFile());
        QCOMPARE(logo.size(), size_t{1024});
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(logo.data()), 16),
                 QByteArray("ABCDEFGHIJKLMNOP"));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                QCOMPARE(MonoDark(logo, y, x), Checker(y, x) == 0);
                QCOMPARE(ColourIndex(logo, y, x), Sweep(y, x) % 16);
            }
    }

    // Wrong depth or size: the warning, and nothing else happens.
    void RefusedPictures() {
        const QByteArray cardBefore = ReadAll(Path("card.dcm"));
        BmpLayout four;
        four.bitsPerPixel = 4;
        four.palette = std::vector<Rgb>(16, Rgb{10, 20, 30});
        BmpLayout wide;
        wide.width = 33;
        wide.palette = Colours();
        const std::pair<QString, QString> refused[] = {
            {Bmp("four.bmp", four), "It is 32 x 32 pixels, 4 bits per pixel."},
            {Bmp("wide.bmp", wide), "It is 33 x 32 pixels, 8 bits per pixel."}};
        for (const auto& [file, why] : refused) {
            prompter_.Clear();
            QVERIFY(!RunWith(file, nullptr));
            QCOMPARE(prompter_.Log(),
                     QStringList({"open: Bitmaps (*.bmp)|*.bmp",
                                  "warning: BMP file must be in 32 x 32 pixel, 256 of 16 palette "
                                  "color, 8bit Pixelformat.\n" +
                                      why}));
        }
        prompter_.Clear();
        QVERIFY(!RunWith(QString(), nullptr)); // cancelled
        QCOMPARE(waitShown_, 0);
        QVERIFY(!QFile::exists(import_->WorkFile()));
        QCOMPARE(ReadAll(Path("card.dcm")), cardBefore);
    }

    // "AUTO" ticks the dark colours and gives the saver "OK" gives with them.
    void AutoChoosesTheDarkColours() {
        BmpLayout setup;
        setup.palette = std::vector<Rgb>(16, Rgb{250, 250, 250});
        setup.palette[0] = {0, 0, 0};
        setup.palette[3] = {120, 20, 20};
        setup.palette[7] = {30, 30, 220};
        setup.palette[9] = {255, 255, 0};
        setup.index = [](int y, int x) { return (x + y) % 16; };
        const QString bmp = Bmp("auto.bmp", setup);
        std::set<int> ticked;
        QVERIFY(RunWith(bmp, [&] {
            dialog_->AutoButton()->click();
            for (int k = 1; k <= 16; ++k)
                if (dialog_->ColourBox(k)->isChecked())
                    ticked.insert(k);
        }));
        QCOMPARE(ticked, (std::set<int>{1, 4, 8}));
        QCOMPARE(dialog_->ClosingResult(), 0);
        const QByteArray automatic = ReadAll(import_->WorkFile());

        QVERIFY(RunWith(bmp, [&] {
            for (int k : ticked)
                dialog_->ColourBox(k)->click();
            dialog_->OkButton()->click();
        }));
        QCOMPARE(dialog_->ClosingResult(), 1);
        QCOMPARE(ReadAll(import_->WorkFile()), automatic);
        QCOMPARE(automatic.size(), 1056);
    }
};

QTEST_MAIN(LogoImportTest)
#include "LogoImportTest.moc"
