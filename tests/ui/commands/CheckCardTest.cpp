// "Check card...": the check's report, the picture of the blocks and the
// safe repair, offered with its list of changes before anything is written.
#include "ui/dialogs/CheckCardDialog.h"
#include "ui/support/CommandsRig.h"
#include "ui/widgets/CardBlockPicture.h"

#include <QImage>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The table value of block in the card image at path, set first when set
// is given.
uint16_t Table(const std::string& path, int block, int set = -1) {
    CardVolume card;
    card.SetPlace(CardPlace::Image);
    card.OpenImage(path);
    card.ReadFat();
    if (set >= 0) {
        card.Fat()[block] = static_cast<uint16_t>(set);
        card.WriteFat();
    }
    return card.Fat()[block];
}

// Runs play once the dialog shows (it runs modally).
class OnShow : public QObject {
  public:
    OnShow(QDialog& dialog, std::function<void()> play) : play_(std::move(play)) {
        dialog.installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show)
            QTimer::singleShot(0, this, play_);
        return false;
    }

  private:
    std::function<void()> play_;
};

// Whether another program could take the image file's lock right now.
bool Lockable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0)
        ::close(fd);
    return taken;
}

QStringList Items(QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

} // namespace

class CheckCardTest : public QObject {
    Q_OBJECT
  private slots:
    void CheckShowsTheDamageAndRepairsOnlyWhatItOffered() {
        CommandsRig rig;
        const std::vector<TestSaver> savers = {{0, "ALPHA", 3, 0}, {1, "BRAVO", 2, 0}};
        MainWindow& w = rig.Open(&savers, nullptr);
        CardPresenter& p = Presenter(w);
        const std::string card = rig.Path("slot1.dcm");
        Table(card, 50, CardVolume::kFatEnd);
        auto* dialog = w.findChild<CheckCardDialog*>("CheckCardDialog");
        QString report;
        QStringList offered;
        QStringList done;
        QString after;
        QStringList blocks;
        OnShow play(*dialog, [&] {
            report = dialog->Report()->toPlainText();
            offered = Items(dialog->Changes());
            CardBlockPicture* picture = dialog->Picture();
            for (int b : {50, 199, 255})
                blocks << picture->BlockText(b);
            picture->setFocus();
            picture->SetCurrentBlock(49);
            QTest::keyClick(picture, Qt::Key_Right);
            blocks << picture->accessibleDescription();
            QTest::mouseClick(dialog->RepairButton(), Qt::LeftButton);
            after = dialog->Report()->toPlainText();
            done = Items(dialog->Changes());
            QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
        });
        p.Menus().CheckCard(CardPlace::Slot1)->trigger();

        QVERIFY2(report.contains("problem: 1 block is allocated in the table but belongs to no "
                                 "saver: 50."),
                 qPrintable(report));
        QCOMPARE(offered, QStringList({"will repair: Freed 1 leaked block."}));
        QCOMPARE(blocks,
                 QStringList({"Block 50: damaged, allocated to no saver", "Block 199: ALPHA",
                              "Block 255: system", "Block 50: damaged, allocated to no saver"}));
        QVERIFY2(after.endsWith("clean."), qPrintable(after));
        QCOMPARE(done, QStringList({"repaired: Freed 1 leaked block."}));
        QCOMPARE(Table(card, 50), CardVolume::kFatFree);
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"ALPHA", "BRAVO"}));
        QVERIFY(rig.prompter.Calls().isEmpty());
    }

    // While the window merely shows its report, another program may lock
    // (and check) the same card image; the repair still goes through.
    void TheImageIsLockedOnlyWhileReadOrRepaired() {
        CommandsRig rig;
        MainWindow& w = rig.Open(nullptr, nullptr);
        CardPresenter& p = Presenter(w);
        rig.OpenImage("image.dcm", {{0, "ALPHA", 3, 0}});
        const std::string image = rig.Path("image.dcm");
        Table(image, 50, CardVolume::kFatEnd);
        auto* dialog = w.findChild<CheckCardDialog*>("CheckCardDialog");
        bool freeWhileShown = false;
        OnShow play(*dialog, [&] {
            freeWhileShown = Lockable(image);
            QTest::mouseClick(dialog->RepairButton(), Qt::LeftButton);
            QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
        });
        p.Menus().CheckCard(CardPlace::Image)->trigger();
        QVERIFY(freeWhileShown);
        QCOMPARE(Table(image, 50), CardVolume::kFatFree);
    }

    // At a scale of 1.5 the picture keeps the grid's top and left lines,
    // also where it starts between two device pixels.
    void TheBlockPictureKeepsItsEdgesWhenScaled() {
        CardBlockPicture picture;
        const QColor grid(60, 60, 60);
        for (const qreal ratio : {1.0, 1.5}) {
            QImage shot((QSizeF(picture.size() + QSize(2, 2)) * ratio).toSize(),
                        QImage::Format_RGB32);
            shot.setDevicePixelRatio(ratio);
            shot.fill(Qt::white);
            picture.render(&shot, QPoint(1, 1));
            // The first grid-coloured row and column from the top left.
            const auto first = [&](bool row) {
                for (int i = 0; i < 8; ++i)
                    if ((row ? shot.pixelColor(100, i) : shot.pixelColor(i, 100)) == grid)
                        return i;
                return -1;
            };
            QVERIFY2(first(true) >= 0, qPrintable(QString::number(ratio)));
            QVERIFY2(first(false) >= 0, qPrintable(QString::number(ratio)));
        }
    }
};

QTEST_MAIN(CheckCardTest)
#include "CheckCardTest.moc"
