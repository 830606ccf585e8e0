// porvane-linkbox: serves the emulated link box on a UNIX socket, so that the
// program and the tests can talk to a box in another process.
#include "base/AtomicFile.h"
#include "base/FileSizeLimit.h"
#include "link/LinkOption.h"
#include "link/SocketBackend.h"
#include "link/emu/EmulatorBackend.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

void PrintUsage(std::ostream& os) {
    os << "usage: porvane-linkbox --link emulator:DIR|emulator-paged:FILE --socket PATH "
          "[--base ADDR] [--once] [--stats FILE] [--stop-after-writes N]\n"
          "       [--client-timeout MS]\n"
          "       porvane-linkbox --help | --version\n"
          "  serves the emulated box's registers at ADDR, ADDR+1, ADDR+2 (default 888)\n"
          "  PATH is made for this user only (0600); a file there that is not a socket\n"
          "  is never replaced\n"
          "  --once: serve one connection, then exit\n"
          "  --stats FILE: after each connection, the block reads and writes so far\n"
          "  --stop-after-writes N: the box stops answering once it has written N blocks\n"
          "    (a link cut off in the middle of a change, for tests)\n"
          "  --client-timeout: a client silent this long is disconnected, so that it\n"
          "  cannot keep the box from others (default 5000)\n";
}

// What the box did to its cards since it started, as counted lines.
void WriteStats(const std::string& path, EmulatorBackend& box) {
    if (path.empty())
        return;
    const BoxTally& t = box.Box().Tally();
    const std::string text = "block reads " + std::to_string(t.blockReads) +
                             "\ndistinct blocks read " + std::to_string(t.DistinctBlocksRead()) +
                             "\ncommits " + std::to_string(t.commits) + "\nquarter writes " +
                             std::to_string(t.quarterWrites) + "\n";
    std::string error;
    if (!WriteFileAtomically(path, text.data(), text.size(), &error))
        std::cerr << "porvane-linkbox: " << error << "\n";
}

int Usage() {
    PrintUsage(std::cerr);
    return 2;
}

// Serves one connection until the peer closes it or stays silent for
// silentMs: one client at a time holds the box, and one that says nothing
// must not keep it from the others.
void Serve(int fd, EmulatorBackend& box, int silentMs) {
    uint8_t in[4096];
    uint8_t replies[1024];
    size_t have = 0;
    while (!g_stop) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, silentMs);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0) {
            std::cerr << "porvane-linkbox: a client was silent for " << silentMs
                      << " ms; its connection is closed\n";
            return;
        }
        const ssize_t n = ::recv(fd, in + have, sizeof in - have, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        have += static_cast<size_t>(n);
        size_t used = 0;
        size_t replyCount = 0;
        while (have - used >= 4) {
            const uint8_t* r = in + used;
            const uint16_t port = static_cast<uint16_t>(r[1] | (r[2] << 8));
            if (r[0] == SocketBackend::kRead) {
                uint8_t value = 0;
                box.Read(port, value);
                replies[replyCount++] = value;
            } else if (r[0] == SocketBackend::kWrite) {
                box.Write(port, r[3]);
            }
            used += 4;
            if (replyCount == sizeof replies) {
                if (::send(fd, replies, replyCount, MSG_NOSIGNAL) != ssize_t(replyCount))
                    return;
                replyCount = 0;
            }
        }
        if (replyCount && ::send(fd, replies, replyCount, MSG_NOSIGNAL) != ssize_t(replyCount))
            return;
        std::memmove(in, in + used, have - used);
        have -= used;
    }
}

// Why PATH cannot take the socket: a file there that is not a socket is
// never removed, nor is a socket a box still serves. Empty when it can (a
// socket left by a box that ended is removed here).
std::string SocketPathProblem(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return errno == ENOENT ? "" : path + ": " + std::strerror(errno);
    if (!S_ISSOCK(info.st_mode))
        return path + " exists and is not a socket; it is left as it is";
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const bool live =
        probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (probe >= 0)
        ::close(probe);
    if (live)
        return path + " is in use by another box";
    if (::unlink(path.c_str()) != 0)
        return "cannot replace " + path + ": " + std::strerror(errno);
    return "";
}

} // namespace

int main(int argc, char** argv) {
    FailWritesPastFileSizeLimit();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string spec;
    std::string error;
    std::string socketPath;
    std::string statsPath;
    uint16_t base = 888;
    bool once = false;
    unsigned long stopAfterWrites = 0;
    int silentMs = 5000;
    // All options are the box's own, so --link may stand anywhere among them.
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            PrintUsage(std::cout);
            return 0;
        }
        if (args[i] == "--version") {
            std::cout << "porvane-linkbox " PORVANE_VERSION "\n";
            return 0;
        }
        if (args[i] == "--link" && i + 1 < args.size())
            spec = args[++i];
        else if (args[i].rfind("--link=", 0) == 0)
            spec = args[i].substr(7);
        else if (args[i] == "--socket" && i + 1 < args.size())
            socketPath = args[++i];
        else if (args[i] == "--base" && i + 1 < args.size())
            base = static_cast<uint16_t>(std::strtoul(args[++i].c_str(), nullptr, 0));
        else if (args[i] == "--stats" && i + 1 < args.size())
            statsPath = args[++i];
        else if (args[i] == "--once")
            once = true;
        else if (args[i] == "--stop-after-writes" && i + 1 < args.size())
            stopAfterWrites = std::strtoul(args[++i].c_str(), nullptr, 10);
        else if (args[i] == "--client-timeout" && i + 1 < args.size())
            silentMs = static_cast<int>(std::strtol(args[++i].c_str(), nullptr, 10));
        else
            return Usage();
    }
    if (socketPath.empty() || spec.rfind("emulator", 0) != 0)
        return Usage();
    std::unique_ptr<PortBackend> backend = MakePortBackend(spec, error);
    if (!backend) {
        std::cerr << "porvane-linkbox: " << error << "\n";
        return 2;
    }
    auto* box = static_cast<EmulatorBackend*>(backend.get());
    box->Open();
    box->SelectBase(base);
    box->Box().Faults().stopAfterWrites = static_cast<uint32_t>(stopAfterWrites);

    sockaddr_un addr{};
    if (socketPath.size() >= sizeof addr.sun_path) {
        std::cerr << "porvane-linkbox: socket path too long\n";
        return 1;
    }
    if (silentMs <= 0)
        return Usage();
    const std::string refusal = SocketPathProblem(socketPath);
    if (!refusal.empty()) {
        std::cerr << "porvane-linkbox: " << refusal << "\n";
        return 1;
    }
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    // Made 0600 from the start, whatever the umask: the cards behind it are
    // this user's.
    const mode_t mask = ::umask(0177);
    const bool bound =
        listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    const int bindError = errno;
    ::umask(mask);
    if (!bound || ::listen(listener, 4) != 0) {
        std::cerr << "porvane-linkbox: cannot listen on " << socketPath << ": "
                  << std::strerror(bound ? errno : bindError) << "\n";
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    while (!g_stop) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        // Whatever a client left half done, the next one finds the box idle.
        box->Write(static_cast<uint16_t>(base + 2), 0);
        Serve(fd, *box, silentMs);
        ::close(fd);
        WriteStats(statsPath, *box);
        if (once)
            break;
    }
    ::close(listener);
    // Only the socket: a file put under its name meanwhile stays.
    struct stat info {};
    if (::lstat(socketPath.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(socketPath.c_str());
    return 0;
}
