#include "link/PortSurvey.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The group name of a file, or empty.
std::string GroupOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    const group* g = ::getgrgid(st.st_gid);
    return g != nullptr ? g->gr_name : std::to_string(st.st_gid);
}

} // namespace

PortSurveyResult SurveyPorts(const std::string& procRoot, const std::string& devRoot,
                             const std::string& sysModuleRoot) {
    namespace fs = std::filesystem;
    PortSurveyResult result;
    std::error_code ec;
    result.ppdevLoaded = fs::exists(sysModuleRoot + "/ppdev", ec);

    std::vector<int> numbers;
    for (const auto& entry : fs::directory_iterator(procRoot, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 7 && name.compare(0, 7, "parport") == 0 &&
            name.find_first_not_of("0123456789", 7) == std::string::npos && name.size() < 12)
            numbers.push_back(std::stoi(name.substr(7)));
    }
    // Device nodes without a listed port still count: they may open.
    for (const auto& entry : fs::directory_iterator(devRoot, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 7 && name.compare(0, 7, "parport") == 0 &&
            name.find_first_not_of("0123456789", 7) == std::string::npos && name.size() < 12)
            numbers.push_back(std::stoi(name.substr(7)));
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

    for (const int n : numbers) {
        ParportInfo port;
        port.number = n;
        std::ifstream in(procRoot + "/parport" + std::to_string(n) + "/base-addr");
        unsigned long base = 0;
        if (in >> base)
            port.base = base;
        port.device = devRoot + "/parport" + std::to_string(n);
        port.deviceExists = fs::exists(port.device, ec);
        if (port.deviceExists) {
            port.group = GroupOf(port.device);
            // Opening does not claim the port: harmless while a printer uses it.
            const int fd = ::open(port.device.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
            port.canOpen = fd >= 0;
            port.openError = fd >= 0 ? 0 : errno;
            if (fd >= 0)
                ::close(fd);
        }
        result.ports.push_back(port);
    }
    return result;
}

const ParportInfo* PortWithBase(const PortSurveyResult& survey, unsigned long base) {
    for (const ParportInfo& port : survey.ports)
        if (port.base != 0 && port.base == base)
            return &port;
    return nullptr;
}

std::string PermissionFix(const ParportInfo& port, const std::string& userName) {
    if (port.canOpen || !port.deviceExists || (port.openError != EACCES && port.openError != EPERM))
        return {};
    const std::string group = port.group.empty() ? "lp" : port.group;
    return "sudo adduser " + (userName.empty() ? std::string("$USER") : userName) + " " + group +
           "   (then log out and in again)";
}
