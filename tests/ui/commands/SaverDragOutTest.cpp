// A saver dragged out of a view onto a file manager, with a real drag: the
// mouse goes down on the saver, moves, and lets go over a second window that
// takes files as a file manager does.
#include "card/DciFile.h"
#include "ui/support/CommandsRig.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <sys/stat.h>

namespace {

const std::vector<TestSaver> kSavers = {{0, "FIRST", 3, 2}, {1, "SAVE/TWO", 4, 1}};
const std::vector<TestSaver> kNone = {};

// Takes the files of a drop and copies them into its folder, as a file
// manager does.
class FileManager : public QWidget {
  public:
    explicit FileManager(std::string folder) : folder_(std::move(folder)) {
        setAcceptDrops(true);
        std::filesystem::create_directories(folder_);
    }
    QStringList dropped;
    QList<QUrl> offered;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override {
        offered = event->mimeData()->urls();
        for (const QUrl& url : offered) {
            const std::filesystem::path from = url.toLocalFile().toStdString();
            std::filesystem::copy_file(from, folder_ / from.filename());
            dropped << QString::fromStdString(from.filename().string());
        }
        event->acceptProposedAction();
    }

  private:
    std::filesystem::path folder_;
};

} // namespace

class SaverDragOutTest : public QObject {
    Q_OBJECT
  private slots:
    void SaverDraggedOntoAFileManagerLandsAsItsFile() {
        for (const bool pairs : {false, true}) {
            CommandsRig rig;
            MainWindow& w = rig.Open(&kSavers, &kNone);
            CardPresenter& p = Presenter(w);
            p.Session().Config().SaverFilesAsPairs = pairs ? 1 : 0;
            w.move(0, 0);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            FileManager manager(rig.Path(pairs ? "desk2" : "desk"));
            manager.setGeometry(w.frameGeometry().right() + 40, 0, 200, 200);
            manager.show();
            QVERIFY(QTest::qWaitForWindowExposed(&manager));

            rig.Select(CardPlace::Slot1, {1});
            CardListWidget* list = p.ViewOf(CardPlace::Slot1).List();
            const QPoint start =
                list->viewport()->mapTo(&w, list->visualRect(list->model()->index(1, 0)).center());
            // The drag runs its own loop once it starts: the rest of the
            // gesture comes from there.
            QTimer::singleShot(50, &manager, [&] {
                QTest::mouseMove(manager.windowHandle(), QPoint(20, 20));
                QTest::mouseMove(manager.windowHandle(), QPoint(100, 100));
                QTest::mouseRelease(manager.windowHandle(), Qt::LeftButton, {}, QPoint(100, 100));
            });
            QTest::mousePress(w.windowHandle(), Qt::LeftButton, {}, start);
            QTest::mouseMove(w.windowHandle(), start + QPoint(8, 0));
            QTest::mouseMove(w.windowHandle(), start + QPoint(40, 0));
            QCoreApplication::processEvents();

            // Named as an export names it, the saver's bytes, written where
            // no one else can reach.
            QCOMPARE(manager.dropped, pairs ? QStringList({"SAVE_TWO.VMS", "SAVE_TWO.VMI"})
                                            : QStringList({"SAVE_TWO.DCI"}));
            const std::string folder = rig.commands->Drags().DragFiles().Folder();
            struct stat info {};
            QCOMPARE(::lstat(folder.c_str(), &info), 0);
            QCOMPARE(int(info.st_mode & 0777), 0700);
            QVERIFY(manager.offered[0].toLocalFile().startsWith(Q(folder)));
            CardVolume& slot1 = p.Session().Volume(CardPlace::Slot1);
            if (!pairs) {
                QVERIFY(ExportDci(rig.Path("check.dci"), slot1.ListMap()[1], slot1));
                QVERIFY(ReadFileText(rig.Path("desk/SAVE_TWO.DCI")) ==
                        ReadFileText(rig.Path("check.dci")));
            } else {
                QCOMPARE(ReadFileText(rig.Path("desk2/SAVE_TWO.VMS")).size(), size_t(4 * 512));
                QCOMPARE(ReadFileText(rig.Path("desk2/SAVE_TWO.VMI")).size(), size_t(108));
            }
            // The drag stays a drag between views: nothing copied there.
            QCOMPARE(Listed(w, CardPlace::Slot2), QStringList());
        }
    }
};

// The offscreen platform drops every drag at once; the minimal one, as
// headless, carries it through the mouse events the test sends.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "minimal");
    QApplication app(argc, argv);
    SaverDragOutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SaverDragOutTest.moc"
