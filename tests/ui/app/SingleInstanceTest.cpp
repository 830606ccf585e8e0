// The hand-off socket belongs to the user, and its requests arrive whole; a
// flood or silence is cut off.
#include "ui/app/SingleInstance.h"

#include "support/TestFiles.h"

#include <QtTest>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

int Socket(const std::string& path, bool listen) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const auto* at = reinterpret_cast<sockaddr*>(&addr);
    const bool ok = listen ? ::bind(fd, at, sizeof addr) == 0 && ::listen(fd, 8) == 0
                           : ::connect(fd, at, sizeof addr) == 0;
    return ok ? fd : (::close(fd), -1);
}

// Hands off from another thread while this one runs the listening side.
bool HandOffMeanwhile(const QString& link, const QString& path) {
    std::atomic<int> handed{-1};
    std::thread second([&] { handed = SingleInstance(link).HandOff(path) ? 1 : 0; });
    while (handed.load() < 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    second.join();
    return handed.load() == 1;
}

// Whether the other end closed fd within ms, this thread's events running.
bool ClosedWithin(int fd, int ms) {
    QElapsedTimer waited;
    waited.start();
    char c;
    ssize_t n = -1;
    while (waited.elapsed() < ms && (n = ::recv(fd, &c, 1, MSG_DONTWAIT)) < 0 && errno == EAGAIN)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return n >= 0 || errno != EAGAIN;
}

const QString kLink = "emulator:/tmp/porvane-single-instance-test";

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        qunsetenv("XDG_RUNTIME_DIR");
        qunsetenv("TMPDIR");
    }

    // A runtime folder open to others is passed over; a fallback folder or
    // a socket file that is not this user's is never used or handed to.
    // (scripts/check-two-users.sh has another user listen where a start
    // looks, with the real program.)
    void NothingIsHandedThroughAnotherUsersFiles() {
        if (!porvane_test::CanActAsAnotherUser())
            QSKIP("needs root to give files away");
        porvane_test::TempDir temp;
        qputenv("TMPDIR", temp.Path().c_str());
        qputenv("XDG_RUNTIME_DIR", temp.Path().c_str()); // 0755: not private
        const std::string fallback = temp.File("porvane-" + std::to_string(::geteuid()));
        ::mkdir(fallback.c_str(), 0700);
        QVERIFY(::chown(fallback.c_str(), 65534, 65534) == 0);
        SingleInstance squatted(kLink);
        QVERIFY(!squatted.HandOff("/home/victim/private.dcm") && !squatted.Listen());
        QCOMPARE(squatted.Problem(), QString::fromStdString(fallback) + " belongs to another user");

        ::chmod(temp.Path().c_str(), 0700);
        SingleInstance first(kLink);
        QVERIFY(first.Listen());
        QVERIFY(::lchown(first.ServerName().toLocal8Bit().constData(), 65534, 65534) == 0);
        QVERIFY(!SingleInstance(kLink).HandOff(QString()));
        QVERIFY(SingleInstance(kLink).Listen());
    }

    // A name with a newline opens that file, not the one before the
    // newline; a client that floods, stays silent or lies about the length
    // is disconnected, and the next hand-off still works.
    void RequestsArriveWholeAndFloodsAndSilenceAreCut() {
        porvane_test::TempDir runtime;
        ::chmod(runtime.Path().c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime.Path().c_str());
        SingleInstance first(kLink);
        first.SetRequestTimeout(300);
        QVERIFY(first.Listen());
        QStringList received;
        connect(&first, &SingleInstance::OpenCardRequested, this,
                [&received](const QString& path) { received << path; });
        const QString odd = "/cards/other.dcm\nx.dcm";
        QVERIFY(HandOffMeanwhile(kLink, odd));
        QCOMPARE(received, QStringList{odd});

        const std::string name = first.ServerName().toStdString();
        const int flood = Socket(name, false);
        std::thread sender([flood] {
            const std::string chunk(64 * 1024, 'A');
            for (int i = 0; i < 64; ++i)
                if (::send(flood, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0)
                    break;
        });
        QVERIFY(ClosedWithin(flood, 5000));
        sender.join();
        const int silent = Socket(name, false);
        QVERIFY(ClosedWithin(silent, 3000));
        const int lying = Socket(name, false);
        (void)::send(lying, "open 99999\n", 11, MSG_NOSIGNAL);
        QVERIFY(ClosedWithin(lying, 250));
        for (const int fd : {flood, silent, lying})
            ::close(fd);
        QVERIFY(HandOffMeanwhile(kLink, "/cards/next.dcm"));
        QCOMPARE(received, QStringList({odd, "/cards/next.dcm"}));
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
