#include "link/SocketBackend.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

SocketBackend::SocketBackend(std::string path) : path_(std::move(path)) {}

SocketBackend::~SocketBackend() {
    Close();
}

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

bool SocketBackend::Open() {
    Close();
    return Connect();
}

bool SocketBackend::Connect() {
    sockaddr_un addr{};
    if (path_.size() >= sizeof addr.sun_path) {
        lastError_ = ENAMETOOLONG;
        return false;
    }
    // Connected without blocking: a server whose queue is full (it accepts
    // no more) would hold a blocking connect, and the window with it, for
    // as long as it likes. The connection then works blocking, as before.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    int connected = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (connected != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int error = ETIMEDOUT;
        socklen_t length = sizeof error;
        if (::poll(&p, 1, kConnectTimeoutMs) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
            connected = 0;
        else
            errno = error != 0 ? error : ETIMEDOUT;
    }
    if (connected != 0 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    broken_ = false;
    pendingLength_ = 0;
    lastActivityMs_ = NowMs();
    return true;
}

void SocketBackend::ReconnectIfClosed() {
    // Between commands the box owes no bytes: a connection that reads as
    // ended was closed by the box for its silence.
    if (fd_ < 0 || broken_ || pendingLength_ != 0 || NowMs() - lastActivityMs_ < kIdleCheckMs)
        return;
    pollfd p{fd_, POLLRDHUP, 0};
    if (::poll(&p, 1, 0) <= 0 || (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0) {
        lastActivityMs_ = NowMs();
        return;
    }
    ::close(fd_);
    fd_ = -1;
    if (!Connect())
        Fail(static_cast<int>(lastError_));
}

void SocketBackend::Close() {
    if (fd_ >= 0) {
        Flush();
        ::close(fd_);
    }
    fd_ = -1;
}

void SocketBackend::Fail(int error) {
    // A closed connection reads as a port that answers 0 from now on.
    broken_ = true;
    lastError_ = static_cast<uint32_t>(error);
    pendingLength_ = 0;
}

bool SocketBackend::Flush() {
    size_t sent = 0;
    while (!broken_ && sent < pendingLength_) {
        const ssize_t n = ::send(fd_, pending_ + sent, pendingLength_ - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : EPIPE);
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    pendingLength_ = 0;
    lastActivityMs_ = NowMs();
    return !broken_;
}

void SocketBackend::Queue(uint8_t op, uint16_t port, uint8_t value) {
    ReconnectIfClosed();
    if (pendingLength_ + 4 > sizeof pending_)
        Flush();
    uint8_t* p = pending_ + pendingLength_;
    p[0] = op;
    p[1] = static_cast<uint8_t>(port & 0xFF);
    p[2] = static_cast<uint8_t>(port >> 8);
    p[3] = value;
    pendingLength_ += 4;
}

bool SocketBackend::Write(uint16_t port, uint8_t value) {
    if (fd_ < 0 || broken_) {
        lastError_ = broken_ ? lastError_ : EBADF;
        return false;
    }
    Queue(kWrite, port, value);
    if (port == base_ + 2)
        return Flush();
    return true;
}

bool SocketBackend::Read(uint16_t port, uint8_t& value) {
    if (fd_ < 0 || broken_) {
        lastError_ = broken_ ? lastError_ : EBADF;
        return false;
    }
    Queue(kRead, port, 0);
    if (!Flush())
        return false;
    for (;;) {
        // A server that accepted but never answers must not hang the caller:
        // after the time-out it counts as a closed connection.
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, kReplyTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            Fail(ready == 0 ? ETIMEDOUT : errno);
            return false;
        }
        uint8_t reply = 0;
        const ssize_t n = ::recv(fd_, &reply, 1, 0);
        if (n == 1) {
            value = reply;
            lastActivityMs_ = NowMs();
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue;
        Fail(n < 0 ? errno : EPIPE);
        return false;
    }
}
