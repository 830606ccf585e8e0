// The socket backend's far end answering with bytes from outside: the link
// commands, whole blocks and the block store run over a real UNIX socket
// whose server replies to every port read with the next input byte, and
// hangs up when they run out.
#include "FuzzFiles.h"
#include "FuzzLink.h"
#include "link/SocketBackend.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

int Listener(std::string& path) {
    path = fuzz::PrivateFolder() + "/box.sock";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        std::abort();
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 4) != 0) {
        std::perror("listen");
        std::abort();
    }
    return fd;
}

// Answers the reads with replies, in order, then ends its side of the
// connection. The far end of a real box answers each read as it comes; as
// the answers do not depend on the requests here, they all go at once, which
// spares a round trip between the threads per read and gives the same bytes
// to the same reads. The requests are drained until the link hangs up.
void Serve(int fd, const uint8_t* replies, size_t count) {
    size_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::send(fd, replies + sent, count - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    uint8_t requests[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, requests, sizeof requests, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path;
    static const int listener = Listener(path);
    const fuzz::LinkScript script = fuzz::SplitLinkInput(data, size);
    if (script.count == 0)
        return 0;

    fuzz::SteppingClock clock;
    auto link = std::make_unique<LinkPort>(std::make_unique<SocketBackend>(path), &clock);
    if (!link->Port().Opened())
        std::abort();
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0)
        std::abort();
    std::thread server(Serve, fd, script.replies, script.replyCount);
    fuzz::RunLinkCommands(*link, script.commands, script.count);
    link.reset(); // closes the connection, which ends the server
    server.join();
    return 0;
}
