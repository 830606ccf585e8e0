#include "ui/app/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 2000;
// One request per connection: "open" + '\n' + the path (UTF-8) + '\n'.
constexpr const char kOpenRequest[] = "open\n";
constexpr const char kAcknowledge[] = "ok\n";

} // namespace

SingleInstance::SingleInstance(const QString& linkSpec, QObject* parent) : QObject(parent) {
    const QByteArray hash =
        QCryptographicHash::hash(linkSpec.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    name_ = QString("porvane-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::HandOff(const QString& cardPath) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(kOpenRequest);
    socket.write(cardPath.toUtf8() + '\n');
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
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // Another start may have taken the name since HandOff looked: then
        // it answers, and the caller hands off to it. Otherwise the name is a
        // leftover of a program that ended without cleaning up.
        QLocalSocket probe;
        probe.connectToServer(name_);
        if (probe.waitForConnected(kWaitMs / 4))
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            const QByteArray data = socket->peek(4096);
            const int first = data.indexOf('\n');
            const int second = first < 0 ? -1 : data.indexOf('\n', first + 1);
            if (second < 0)
                return; // wait for the whole request
            socket->readAll();
            if (data.left(first + 1) != kOpenRequest) {
                socket->disconnectFromServer();
                return;
            }
            socket->write(kAcknowledge);
            socket->flush();
            emit OpenCardRequested(QString::fromUtf8(data.mid(first + 1, second - first - 1)));
        });
    }
}
