#include "link/support/LinkTestSupport.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace linktest {

bool TraceBackend::Read(uint16_t port, uint8_t& value) {
    bool ok = true;
    if (inner_) {
        ok = inner_->Read(port, value);
    } else if (port == 889) {
        value = status(statusReads);
    } else {
        value = 0;
    }
    if (port == 889 || (inner_ && port % 4 == 1))
        ++statusReads;
    ops.push_back({false, port, value});
    return ok;
}

bool TraceBackend::Write(uint16_t port, uint8_t value) {
    ops.push_back({true, port, value});
    return inner_ ? inner_->Write(port, value) : true;
}

std::string SteppingHost::ClockText() {
    const long second = 27 + (step_ > 0 ? calls / step_ : 0);
    ++calls;
    char text[64];
    std::snprintf(text, sizeof text, "14:%02ld:%02ld", (3 + second / 60) % 60, second % 60);
    return text;
}

std::vector<Frame> DecodeFrames(const std::vector<PortOp>& ops, uint16_t base) {
    std::vector<Frame> frames;
    bool inCommand = false;
    uint8_t data = 0;
    uint8_t out = 0, in = 0;
    int bits = 0;
    bool sampledSinceRise = false;
    for (const PortOp& op : ops) {
        if (op.write && op.port == base + 2) {
            if ((op.value & 1) && !inCommand) {
                frames.emplace_back();
                bits = 0;
                out = in = 0;
                sampledSinceRise = true; // handshake polls are not data bits
            }
            inCommand = op.value & 1;
        } else if (op.write && op.port == base) {
            const bool falling = (data & 1) && !(op.value & 1);
            const bool rising = !(data & 1) && (op.value & 1);
            data = op.value;
            if (inCommand && falling) {
                out = static_cast<uint8_t>((out << 1) | ((op.value >> 1) & 1));
            }
            if (inCommand && rising)
                sampledSinceRise = false;
        } else if (!op.write && op.port == base + 1 && inCommand && (data & 1) &&
                   !sampledSinceRise && !frames.empty()) {
            // The box's bit is read once after each rising clock edge.
            sampledSinceRise = true;
            in = static_cast<uint8_t>((in << 1) | ((op.value >> 6) & 1));
            if (++bits == 8) {
                frames.back().sent.push_back(out);
                frames.back().received.push_back(in);
                bits = 0;
                out = in = 0;
            }
        }
    }
    return frames;
}

SameCpu::SameCpu() {
    if (sched_getaffinity(0, sizeof saved_, &saved_) != 0)
        return;
    cpu_set_t one;
    CPU_ZERO(&one);
    const int cpu = sched_getcpu();
    CPU_SET(cpu >= 0 ? cpu : 0, &one);
    pinned_ = sched_setaffinity(0, sizeof one, &one) == 0;
}

SameCpu::~SameCpu() {
    if (pinned_)
        sched_setaffinity(0, sizeof saved_, &saved_);
}

LinkboxProcess::LinkboxProcess(const std::string& linkSpec, const std::string& socketPath,
                               const std::vector<std::string>& extra, const std::string& errors) {
    const std::string linkbox = std::string(PORVANE_BIN_DIR) + "/porvane-linkbox";
    std::vector<std::string> args = {linkbox, "--link", linkSpec, "--socket", socketPath};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        if (!errors.empty()) {
            const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 2);
        }
        execv(linkbox.c_str(), argv.data());
        _exit(127);
    }
    if (pid_ < 0)
        return;
    // The socket file appears at bind, before listen: probe until a connect works.
    for (int i = 0; i < 500 && !started_; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
        started_ = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (!started_)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

LinkboxProcess::~LinkboxProcess() {
    Stop();
}

int LinkboxProcess::Stop() {
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> PatternCard(uint32_t seed, size_t size) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 rng(seed);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

std::unique_ptr<LinkPort> FastLink(std::unique_ptr<PortBackend> backend, LinkHost* host) {
    auto link = std::make_unique<LinkPort>(std::move(backend), host);
    link->ShortDelay = link->LongDelay = link->LongestDelay = 0;
    return link;
}

} // namespace linktest
