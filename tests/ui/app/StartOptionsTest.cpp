#include "ui/app/StartOptions.h"
#include "ui/app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

class StartOptionsTest : public QObject {
    Q_OBJECT
  private slots:
    void OptionsBeforeTheFirstPlainArgument() {
        StartOptions o;
        QString error;
        QVERIFY(ParseStartOptions({"--link", "emulator:/tmp/box", "--desktop", "--open-card",
                                   "card.DCM", "work.bin", "--desktop"},
                                  o, error));
        QCOMPARE(o.linkSpec, QString("emulator:/tmp/box"));
        QVERIFY(o.desktop);
        QCOMPARE(o.openCard, QDir::current().absoluteFilePath("card.DCM"));
        // The plain argument is the hex editor's, whatever follows it.
        QCOMPARE(o.editorFile, QString("work.bin"));

        // A menu start without a file: the desktop file's %f expands to nothing.
        StartOptions menu;
        QVERIFY(ParseStartOptions({"--desktop", "--open-card"}, menu, error));
        QVERIFY(menu.openCard.isEmpty());
        QVERIFY(menu.editorFile.isEmpty());
        StartOptions before;
        QVERIFY(ParseStartOptions({"--open-card", "--link", "io"}, before, error));
        QVERIFY(before.openCard.isEmpty());
        QCOMPARE(before.linkSpec, QString("io"));

        StartOptions dashes;
        QVERIFY(ParseStartOptions({"--open-card=/x/y.dcm", "--", "--odd-name"}, dashes, error));
        QCOMPARE(dashes.openCard, QString("/x/y.dcm"));
        QCOMPARE(dashes.editorFile, QString("--odd-name"));

        // Qt's own options are Qt's, not the hex editor's file.
        StartOptions qt;
        QVERIFY(ParseStartOptions({"-platform", "offscreen", "-reverse", "notes.bin"}, qt, error));
        QCOMPARE(qt.editorFile, QString("notes.bin"));

        StartOptions bad;
        QVERIFY(!ParseStartOptions({"--frobnicate"}, bad, error));
        QVERIFY(error.contains("--frobnicate"));
        QVERIFY(!ParseStartOptions({"--link"}, bad, error));
    }

    void DesktopFolderFollowsXdgDataHome() {
        qputenv("XDG_DATA_HOME", "/srv/data");
        QCOMPARE(DesktopDataFolder(), QString("/srv/data/porvane"));
        // A relative XDG_DATA_HOME is to be ignored.
        qputenv("XDG_DATA_HOME", "relative/data");
        QCOMPARE(DesktopDataFolder(), QDir::homePath() + "/.local/share/porvane");
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(DesktopDataFolder(), QDir::homePath() + "/.local/share/porvane");
    }

    // A second start on the same link hands its card to the first and ends;
    // one on another link, or after the first is gone, starts on its own.
    void SecondStartOnTheSameLinkHandsOff() {
        const QString link = "emulator:/tmp/porvane-single-" + QString::number(qrand64());
        SingleInstance first(link);
        QVERIFY(!first.HandOff(QString())); // nobody there yet
        QVERIFY(first.Listen());
        QStringList received;
        connect(&first, &SingleInstance::OpenCardRequested, this,
                [&received](const QString& path) { received << path; });

        std::atomic<int> handed{-1};
        std::thread second([&] {
            SingleInstance other(link);
            handed = other.HandOff("/cards/backup.DCM") ? 1 : 0;
        });
        QTRY_COMPARE(handed.load(), 1);
        second.join();
        QCOMPARE(received, QStringList{"/cards/backup.DCM"});

        SingleInstance elsewhere(link + "-other");
        QVERIFY(!elsewhere.HandOff(QString()));
        QVERIFY(elsewhere.Listen());
    }

    // A program that was killed leaves its socket behind; the next start
    // must take it over rather than refuse to run or hand off to it.
    void LeftoverNameIsTakenOver() {
        const QString link = "socket:/tmp/porvane-leftover-" + QString::number(qrand64());
        SingleInstance probe(link);
        QLocalServer::removeServer(probe.ServerName());
        // What a killed program leaves: the socket file, nobody behind it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(probe.ServerName());
        std::memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()) + 1);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
        ::close(fd);
        SingleInstance next(link);
        QVERIFY(!next.HandOff(QString()));
        QVERIFY(next.Listen());
        QVERIFY(!SingleInstance(link).Listen()); // now it is a live program's
    }

  private:
    static qint64 qrand64() { return QRandomGenerator::global()->generate64() & 0xFFFFFF; }
};

QTEST_MAIN(StartOptionsTest)
#include "StartOptionsTest.moc"
