#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the system offers for the real link box: the parallel ports the kernel
// lists, their ppdev device nodes, and whether this user may open them. Used
// to tell a user why no box answers.
struct ParportInfo {
    int number = 0;         // N of parportN
    unsigned long base = 0; // base I/O address; 0 for a port without one (USB)
    std::string device;     // /dev/parportN
    bool deviceExists = false;
    bool canOpen = false; // opened for reading and writing just now
    int openError = 0;    // errno of the failed open
    std::string group;    // group owning the device node, empty if unknown
};

struct PortSurveyResult {
    bool ppdevLoaded = false;       // the ppdev module (or a built-in ppdev) is there
    std::vector<ParportInfo> ports; // lowest N first
};

// Looks at procRoot (the kernel's parport list), devRoot (the device nodes)
// and sysModuleRoot (loaded modules). The roots are parameters for tests.
PortSurveyResult SurveyPorts(const std::string& procRoot = "/proc/sys/dev/parport",
                             const std::string& devRoot = "/dev",
                             const std::string& sysModuleRoot = "/sys/module");

// The port whose base address is base, or null.
const ParportInfo* PortWithBase(const PortSurveyResult& survey, unsigned long base);

// The command that lets the user open device: join its group. Empty when
// nothing needs fixing or the reason is not a permission.
std::string PermissionFix(const ParportInfo& port, const std::string& userName);
