#include "ui/app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 2000;
// "open <length>\n": the header line's longest form, then the path.
constexpr const char kOpenRequest[] = "open ";
constexpr int kHeaderBytes = 16;
constexpr qint64 kMaxRequestBytes = kHeaderBytes + SingleInstance::kMaxPathBytes;
constexpr const char kAcknowledge[] = "ok\n";

// The process at the other end of a local socket runs as this user.
bool PeerIsThisUser(qintptr fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return fd >= 0 &&
           ::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}

bool SocketFileIsThisUsers(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISSOCK(info.st_mode) &&
           info.st_uid == ::geteuid();
}

// A folder of this user's that nobody else may enter or write.
bool FolderIsPrivate(const QByteArray& path, QString& problem) {
    struct stat info {};
    const QString name = QFile::decodeName(path);
    if (::lstat(path.constData(), &info) != 0)
        problem = name + ": " + QString::fromLocal8Bit(std::strerror(errno));
    else if (!S_ISDIR(info.st_mode))
        problem = name + " is not a folder";
    else if (info.st_uid != ::geteuid())
        problem = name + " belongs to another user";
    else if ((info.st_mode & 077) != 0)
        problem = name + " is open to other users";
    else
        return true;
    return false;
}

// The length in "open <length>\n" (the header without its newline), or -1
// for any other header.
int RequestLength(const QByteArray& header) {
    const qsizetype start = sizeof kOpenRequest - 1;
    if (!header.startsWith(kOpenRequest) || header.size() == start || header.size() > start + 5)
        return -1;
    int length = 0;
    for (qsizetype i = start; i < header.size(); ++i) {
        if (header[i] < '0' || header[i] > '9')
            return -1;
        length = length * 10 + (header[i] - '0');
    }
    return length <= SingleInstance::kMaxPathBytes ? length : -1;
}

} // namespace

SingleInstance::SingleInstance(const QString& linkSpec, QObject* parent) : QObject(parent) {
    const QString folder = PrivateFolder(&problem_);
    if (!folder.isEmpty())
        name_ = folder + "/" + SocketName(linkSpec);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::SocketName(const QString& linkSpec) {
    const QByteArray hash =
        QCryptographicHash::hash(linkSpec.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return "porvane-" + QString::fromLatin1(hash);
}

QString SingleInstance::PrivateFolder(QString* problem) {
    QString why;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && FolderIsPrivate(runtime, why))
        return QFile::decodeName(runtime);
    const QString fallback = QDir::tempPath() + "/porvane-" + QString::number(::geteuid());
    const QByteArray path = QFile::encodeName(fallback);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        why = fallback + ": " + QString::fromLocal8Bit(std::strerror(errno));
    } else {
        // A folder of this user's left too open (by an older umask, say) is
        // closed; one of anybody else's is never used.
        struct stat info {};
        if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == ::geteuid() && (info.st_mode & 077) != 0)
            ::chmod(path.constData(), 0700);
        if (FolderIsPrivate(path, why))
            return fallback;
    }
    if (problem != nullptr)
        *problem = why;
    return {};
}

bool SingleInstance::OwnProgramListens() {
    if (!SocketFileIsThisUsers(name_))
        return false;
    QLocalSocket probe;
    probe.connectToServer(name_);
    return probe.waitForConnected(kWaitMs / 4) && PeerIsThisUser(probe.socketDescriptor());
}

bool SingleInstance::HandOff(const QString& cardPath) {
    const QByteArray path = cardPath.toUtf8();
    // A path too long to send is opened by this start itself.
    if (name_.isEmpty() || path.size() > kMaxPathBytes || !SocketFileIsThisUsers(name_))
        return false;
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    if (!PeerIsThisUser(socket.socketDescriptor())) {
        socket.abort();
        return false;
    }
    socket.write(kOpenRequest + QByteArray::number(path.size()) + '\n' + path);
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    // The running program answers once it has the request, so a start that
    // ends here never loses the file it was given.
    while (socket.bytesAvailable() < static_cast<qint64>(sizeof(kAcknowledge) - 1)) {
        if (!socket.waitForReadyRead(kWaitMs))
            return false;
    }
    return socket.readAll().startsWith(kAcknowledge);
}

bool SingleInstance::Listen() {
    if (name_.isEmpty())
        return false;
    // No socket options: with them Qt binds elsewhere and renames the socket
    // over whatever holds the name, a live program's included. The folder
    // keeps other users out.
    server_ = new QLocalServer(this);
    if (!server_->listen(name_)) {
        // Another start may have taken the name since HandOff looked: then
        // it answers, and the caller hands off to it. Otherwise the name is a
        // leftover of a program that ended without cleaning up, or not this
        // user's: replaced, never obeyed.
        if (OwnProgramListens())
            return false;
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::ReadRequest);
    return true;
}

void SingleInstance::ReadRequest() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Qt reads no more than this ahead, so a client that never ends its
        // request costs no more memory than one request.
        socket->setReadBufferSize(kMaxRequestBytes + 1);
        auto* silence = new QTimer(socket);
        silence->setObjectName("RequestTimeout");
        silence->setSingleShot(true);
        connect(silence, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        silence->start(requestTimeoutMs_);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { TakeRequest(socket); });
        if (socket->bytesAvailable() > 0)
            TakeRequest(socket);
    }
}

void SingleInstance::TakeRequest(QLocalSocket* socket) {
    const QByteArray data = socket->peek(kMaxRequestBytes + 1);
    const qsizetype end = data.indexOf('\n');
    const auto refuse = [socket] {
        socket->abort();
        socket->deleteLater();
    };
    if (end < 0) {
        if (data.size() > kHeaderBytes)
            refuse();
        return; // wait for the rest of the header
    }
    const int length = end <= kHeaderBytes ? RequestLength(data.left(end)) : -1;
    if (length < 0) {
        refuse();
        return;
    }
    const qsizetype whole = end + 1 + length;
    if (data.size() < whole)
        return; // wait for the whole path
    if (data.size() > whole) {
        refuse(); // one request per connection
        return;
    }
    socket->readAll();
    if (auto* silence = socket->findChild<QTimer*>("RequestTimeout"))
        silence->stop();
    socket->write(kAcknowledge);
    socket->flush();
    emit OpenCardRequested(QString::fromUtf8(data.mid(end + 1, length)));
}
