// The card views' model on its own: rows after SetCard, what the animation
// tells the views, and a reset when the card changes.
#include "ui/widgets/CardListModel.h"
#include "card/LoadVolume.h"
#include "support/TestFiles.h"
#include "ui/support/MainWindowRig.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A card image with these savers, read as the views read it, and one
// picture per frame in the model's image list: frame f of the saver listed
// at position k is drawn in colour (k, f).
void ReadCard(CardVolume& card, const std::string& path, const std::vector<TestSaver>& savers,
              CardListModel& model) {
    WriteTestCard(path, 200, savers);
    card.SetPlace(CardPlace::Image);
    card.OpenImage(path);
    QVERIFY(LoadVolume(card).state == VolumeLoad::Loaded);
    model.ClearPictures();
    for (int k = 0; k < card.ListedCount(); ++k) {
        const int frames = std::max(1, savers[k].frames);
        model.StartFrames(card.ListMap()[k], frames);
        for (int f = 0; f < frames; ++f) {
            model.SetFrameImage(card.ListMap()[k], f, model.PictureCount());
            QPixmap picture(32, 32);
            picture.fill(QColor(k * 40, f * 40, 100));
            model.AddPicture(picture);
        }
    }
}

QColor Shown(const CardListModel& model, int row) {
    const QIcon icon = model.index(row, 0).data(Qt::DecorationRole).value<QIcon>();
    return icon.pixmap(32, 32).toImage().pixelColor(16, 16);
}

} // namespace

class CardListModelTest : public QObject {
    Q_OBJECT
  private slots:
    void ListsTheCardAndTellsTheViewsWhatChanged() {
        porvane_test::TempDir dir;
        CardListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

        CardVolume first;
        ReadCard(first, dir.File("first.dcm"),
                 {{0, "TWO", 3, 2}, {2, "NONE", 10, 0}, {5, "THREE", 4, 3}}, model);
        model.SetCard(&first);
        QCOMPARE(resets.size(), 1);
        QCOMPARE(model.rowCount(), 3);
        const int entries[] = {0, 2, 5};
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(model.index(k, 0).data(CardListModel::kDirectoryIndexRole).toInt(),
                     entries[k]);
            QCOMPARE(Shown(model, k), QColor(k * 40, 0, 100));
        }
        QCOMPARE(model.index(1, 0).data().toString(), QString("10"));
        QCOMPARE(model.index(2, 0).data(Qt::AccessibleTextRole).toString(),
                 QString("THREE       , 4 blocks"));

        // The first tick shows the first frames, which the rows show already;
        // the second steps the savers of several frames, and only those.
        model.Animate();
        QCOMPARE(changes.size(), 0);
        model.Animate();
        QCOMPARE(changes.size(), 2);
        for (int n = 0; n < 2; ++n) {
            QCOMPARE(changes[n][0].value<QModelIndex>().row(), n * 2);
            QCOMPARE(changes[n][2].value<QList<int>>(), QList<int>{Qt::DecorationRole});
        }
        QCOMPARE(Shown(model, 0), QColor(0, 40, 100));
        QCOMPARE(Shown(model, 2), QColor(80, 40, 100));
        QCOMPARE(model.CurrentPicture(5).toImage().pixelColor(0, 0), QColor(80, 80, 100));

        // A caption follows the size the card gives now.
        first.Entries()[2].SizeBlocks = 7;
        changes.clear();
        model.Animate();
        QCOMPARE(model.index(1, 0).data().toString(), QString("7"));
        QVERIFY(std::any_of(changes.begin(), changes.end(), [](const QList<QVariant>& c) {
            return c[0].value<QModelIndex>().row() == 1 &&
                   c[2].value<QList<int>>().contains(Qt::DisplayRole);
        }));

        // Another card: the rows are that card's.
        CardVolume second;
        ReadCard(second, dir.File("second.dcm"), {{4, "ONLY", 2, 1}}, model);
        model.SetCard(&second);
        QCOMPARE(resets.size(), 2);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, 0).data(CardListModel::kDirectoryIndexRole).toInt(), 4);
        QCOMPARE(model.index(0, 0).data().toString(), QString("2"));
        model.SetCard(nullptr);
        QCOMPARE(resets.size(), 3);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.DirectoryIndexAt(0), -1);
    }
};

QTEST_MAIN(CardListModelTest)
#include "CardListModelTest.moc"
