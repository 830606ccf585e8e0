#include "link/LinkOption.h"

#include "link/PpdevBackend.h"
#include "link/RawIoBackend.h"
#include "link/SocketBackend.h"
#include "link/emu/EmulatorBackend.h"

#include <sys/stat.h>

namespace {

// ppdev first; raw I/O when no ppdev device serves the port.
class AutoBackend : public PortBackend {
  public:
    bool Open() override {
        Close();
        wantOpen_ = true;
        if (ppdev_.Open()) {
            active_ = &ppdev_;
            return true;
        }
        error_ = ppdev_.LastError();
        if (io_.Open()) {
            active_ = &io_;
            return true;
        }
        return false;
    }
    void Close() override {
        if (active_)
            active_->Close();
        active_ = nullptr;
        wantOpen_ = false;
    }
    bool IsOpen() const override { return active_ && active_->IsOpen(); }
    // Another port: choose again, ppdev first, for the new address.
    void SelectBase(uint16_t base) override {
        if (base == base_) {
            // Same port: a ppdev device that vanished (or was missing) is
            // looked for again; raw I/O, once chosen, stays.
            if (wantOpen_ && active_ != &io_) {
                ppdev_.SelectBase(base);
                active_ = ppdev_.IsOpen() ? &ppdev_ : nullptr;
            }
            return;
        }
        base_ = base;
        const bool reopen = wantOpen_;
        Close();
        ppdev_.SelectBase(base);
        io_.SelectBase(base);
        if (reopen)
            Open();
    }
    bool Read(uint16_t port, uint8_t& value) override {
        return active_ && active_->Read(port, value);
    }
    bool Write(uint16_t port, uint8_t value) override {
        return active_ && active_->Write(port, value);
    }
    uint32_t LastError() const override { return active_ ? active_->LastError() : error_; }

  private:
    PpdevBackend ppdev_;
    RawIoBackend io_;
    PortBackend* active_ = nullptr;
    uint32_t error_ = 0;
    uint16_t base_ = 888;
    bool wantOpen_ = false;
};

bool StartsWith(const std::string& s, const char* prefix, std::string& rest) {
    const std::string p(prefix);
    if (s.compare(0, p.size(), p) != 0)
        return false;
    rest = s.substr(p.size());
    return true;
}

} // namespace

std::unique_ptr<PortBackend> MakePortBackend(const std::string& spec, std::string& error) {
    std::string arg;
    struct stat st {};
    if (spec == "auto")
        return std::make_unique<AutoBackend>();
    if (spec == "io")
        return std::make_unique<RawIoBackend>();
    if (StartsWith(spec, "ppdev:", arg) && !arg.empty())
        return std::make_unique<PpdevBackend>(arg);
    if (StartsWith(spec, "socket:", arg) && !arg.empty())
        return std::make_unique<SocketBackend>(arg);
    if (StartsWith(spec, "emulator:", arg)) {
        if (arg.empty() || ::stat(arg.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            error = "emulator: '" + arg + "' is not a folder";
            return nullptr;
        }
        return std::make_unique<EmulatorBackend>(std::make_unique<TwoSlotDevice>(arg));
    }
    if (StartsWith(spec, "emulator-paged:", arg)) {
        if (arg.empty() || ::stat(arg.c_str(), &st) != 0 || st.st_size <= 0 ||
            st.st_size % BoxDevice::kCardSize != 0) {
            error = "emulator-paged: '" + arg + "' must hold a whole number of 131072-byte pages";
            return nullptr;
        }
        return std::make_unique<EmulatorBackend>(std::make_unique<PagedDevice>(arg));
    }
    error = "bad --link '" + spec +
            "' (auto, ppdev:/dev/parportN, io, emulator:DIR, emulator-paged:FILE, socket:PATH)";
    return nullptr;
}

bool TakeLinkOption(std::vector<std::string>& args, std::string& spec, std::string& error) {
    size_t i = 0;
    while (i < args.size() && args[i].rfind("--link", 0) == 0) {
        if (args[i] == "--link") {
            if (i + 1 >= args.size()) {
                error = "--link needs a value";
                return false;
            }
            spec = args[i + 1];
            i += 2;
        } else if (args[i].rfind("--link=", 0) == 0) {
            spec = args[i].substr(7);
            i += 1;
        } else {
            break;
        }
    }
    args.erase(args.begin(), args.begin() + static_cast<long>(i));
    if (spec != "auto" && spec != "io" && spec.find(':') == std::string::npos) {
        error = "bad --link '" + spec + "'";
        return false;
    }
    return true;
}
