// The hand-off socket belongs to the user: another user who binds its name,
// or runs the server behind it, never receives a hand-off, and the start goes
// on with a window of its own. A request arrives whole; floods and silence
// are cut off. The other user's steps need root and are skipped without it.
#include "ui/app/SingleInstance.h"

#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

int Connect(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int Bind(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ::unlink(path.c_str());
    return ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ? fd : -1;
}

// Another user's server: binds each path (as root when bindFirst, so the
// file is the victim's), becomes nobody, listens, and answers every
// connection "ok" after logging what it heard to `heard`.
class OtherUsersServer {
  public:
    OtherUsersServer(const std::vector<std::string>& paths, const std::string& heard,
                     bool bindFirst) {
        int ready[2];
        (void)::pipe(ready);
        child_ = ::fork();
        if (child_ != 0) {
            ::close(ready[1]);
            char c = 0;
            (void)::read(ready[0], &c, 1);
            ::close(ready[0]);
            return;
        }
        std::vector<int> fds;
        const auto bindAll = [&] {
            for (const std::string& path : paths)
                fds.push_back(Bind(path));
        };
        if (bindFirst)
            bindAll();
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(1);
        if (!bindFirst)
            bindAll();
        for (const int fd : fds) {
            ::listen(fd, 8);
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
        }
        (void)::write(ready[1], "r", 1);
        for (;;) {
            for (const int fd : fds) {
                const int client = ::accept(fd, nullptr, nullptr);
                if (client < 0)
                    continue;
                char buffer[512];
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                const int log = ::open(heard.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
                (void)::write(log, buffer, n > 0 ? static_cast<size_t>(n) : 0);
                ::close(log);
                (void)::send(client, "ok\n", 3, MSG_NOSIGNAL);
                ::close(client);
            }
            ::usleep(2000);
        }
    }
    ~OtherUsersServer() {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }

  private:
    pid_t child_ = -1;
};

QString Link() {
    return "emulator:/tmp/porvane-single-" +
           QString::number(QRandomGenerator::global()->generate() & 0xFFFFFF);
}

// Hands off from another thread while this one runs the listening side.
bool HandOffMeanwhile(const QString& link, const QString& path) {
    std::atomic<int> handed{-1};
    std::thread second([&] { handed = SingleInstance(link).HandOff(path) ? 1 : 0; });
    QElapsedTimer waited;
    waited.start();
    while (handed.load() < 0 && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    second.join();
    return handed.load() == 1;
}

// Whether the server closed a connection within ms, the events of this
// thread running meanwhile.
bool ClosedWithin(int fd, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        char c;
        const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            return true;
    }
    return false;
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        qunsetenv("XDG_RUNTIME_DIR");
        qunsetenv("TMPDIR");
    }

    // Another user bound the names a start looks for (the old predictable
    // one in the temporary folder, and the fallback folder): nothing is
    // handed to it, and the start runs on its own. With a private runtime
    // folder, a server there that runs as another user, or whose socket
    // file is another user's, is not obeyed but replaced.
    void NothingIsHandedToAnotherUser() {
        if (!porvane_test::CanActAsAnotherUser())
            QSKIP("needs root for a second user");
        porvane_test::TempDir temp;
        porvane_test::ShareFolder(temp.Path());
        qputenv("TMPDIR", temp.Path().c_str());
        const QString link = Link();
        const std::string heard = temp.File("heard");
        const std::string uid = std::to_string(::geteuid());
        const std::string hash = QCryptographicHash::hash(link.toUtf8(), QCryptographicHash::Sha1)
                                     .toHex()
                                     .left(12)
                                     .toStdString();
        const std::string fallback = temp.File("porvane-" + uid);
        {
            porvane_test::RunAsNobody([&] { return ::mkdir(fallback.c_str(), 0700); });
            OtherUsersServer other(
                {temp.File("porvane-" + uid + "-" + hash), fallback + "/porvane-" + hash}, heard,
                false);
            SingleInstance start(link);
            QVERIFY(!start.HandOff("/home/victim/private.dcm"));
            QVERIFY(!start.Listen());
            QVERIFY(start.ServerName().isEmpty());
            QVERIFY2(start.Problem().endsWith("belongs to another user"),
                     qPrintable(start.Problem()));
        }
        QVERIFY(!QFile::exists(QString::fromStdString(heard)));

        porvane_test::TempDir runtime;
        ::chmod(runtime.Path().c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime.Path().c_str());
        const std::string name = runtime.File("porvane-" + hash);
        {
            OtherUsersServer other({name}, heard, true);
            SingleInstance start(link);
            QCOMPARE(start.ServerName(), QString::fromStdString(name));
            QVERIFY(!start.HandOff("/home/victim/private.dcm"));
            QVERIFY(start.Listen());
            QVERIFY(HandOffMeanwhile(link, "/home/victim/own.dcm"));
        }
        // Connected to once, to learn whose it is, and told nothing.
        QCOMPARE(porvane_test::ReadFileText(heard), std::string());

        SingleInstance first(link);
        QVERIFY(first.Listen());
        QVERIFY(::lchown(name.c_str(), kNobody, kNobody) == 0);
        QVERIFY(!SingleInstance(link).HandOff(QString()));
        QVERIFY(SingleInstance(link).Listen());
    }

    // A file name with a newline opens that file, not the one before the
    // newline; a client that floods or stays silent is disconnected.
    void RequestsArriveWholeAndFloodsAndSilenceAreCut() {
        porvane_test::TempDir runtime;
        ::chmod(runtime.Path().c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime.Path().c_str());
        const QString link = Link();
        SingleInstance first(link);
        first.SetRequestTimeout(300);
        QVERIFY(first.Listen());
        QStringList received;
        connect(&first, &SingleInstance::OpenCardRequested, this,
                [&received](const QString& path) { received << path; });
        const QString odd = "/cards/other.dcm\nx.dcm";
        QVERIFY(HandOffMeanwhile(link, odd));
        QCOMPARE(received, QStringList{odd});

        const std::string name = first.ServerName().toStdString();
        const int flood = Connect(name);
        std::atomic<bool> cut{false};
        std::thread sender([&] {
            const std::string chunk(64 * 1024, 'A');
            for (int i = 0; i < 64 && !cut; ++i)
                cut = ::send(flood, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0;
        });
        QVERIFY(ClosedWithin(flood, 5000));
        sender.join();
        ::close(flood);

        const int silent = Connect(name);
        QVERIFY(silent >= 0);
        QVERIFY(ClosedWithin(silent, 3000));
        ::close(silent);
        const int junk = Connect(name);
        (void)::send(junk, "open 99999\n", 11, MSG_NOSIGNAL);
        QVERIFY(ClosedWithin(junk, 200));
        ::close(junk);
        QCOMPARE(received, QStringList{odd});
        QVERIFY(HandOffMeanwhile(link, "/cards/next.dcm"));
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
