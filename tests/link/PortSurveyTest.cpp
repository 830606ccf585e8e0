// Which parallel ports the system offers, as the doctor command reports them.
#include "link/PortSurvey.h"
#include "support/TestFiles.h"

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(PortSurvey, ListsPortsByNumberWithTheirBaseAndDevice) {
    porvane_test::TempDir dir;
    const fs::path proc = dir.Path() / "proc";
    const fs::path dev = dir.Path() / "dev";
    const fs::path sys = dir.Path() / "sys";
    // parport10 sorts after parport2; parport2 is a USB adapter (base 0)
    // whose node is missing; parport3 has a node but no kernel entry.
    for (const auto& [name, base] : {std::pair{"parport10", "632 634"}, {"parport2", "0"}}) {
        fs::create_directories(proc / name);
        std::ofstream(proc / name / "base-addr") << base << "\n";
    }
    fs::create_directories(proc / "parportx");
    fs::create_directories(dev);
    std::ofstream(dev / "parport10") << "";
    std::ofstream(dev / "parport3") << "";
    fs::create_directories(sys);

    PortSurveyResult survey = SurveyPorts(proc.string(), dev.string(), sys.string());
    EXPECT_FALSE(survey.ppdevLoaded);
    ASSERT_EQ(survey.ports.size(), 3u);
    EXPECT_EQ(survey.ports[0].number, 2);
    EXPECT_FALSE(survey.ports[0].deviceExists);
    EXPECT_EQ(survey.ports[1].number, 3);
    EXPECT_TRUE(survey.ports[1].canOpen);
    EXPECT_EQ(survey.ports[2].number, 10);
    EXPECT_EQ(survey.ports[2].base, 632u);
    EXPECT_EQ(survey.ports[2].device, (dev / "parport10").string());

    EXPECT_EQ(PortWithBase(survey, 632), &survey.ports[2]);
    EXPECT_EQ(PortWithBase(survey, 0), nullptr); // a port without an address matches nothing
    EXPECT_EQ(PortWithBase(survey, 888), nullptr);

    fs::create_directories(sys / "ppdev");
    EXPECT_TRUE(SurveyPorts(proc.string(), dev.string(), sys.string()).ppdevLoaded);
}

TEST(PortSurvey, PermissionFixJoinsTheDevicesGroupOnlyForARefusal) {
    ParportInfo port;
    port.deviceExists = true;
    port.openError = EACCES;
    port.group = "lp";
    EXPECT_EQ(PermissionFix(port, "ann"), "sudo adduser ann lp   (then log out and in again)");
    port.openError = EBUSY; // another driver holds it: no group helps
    EXPECT_EQ(PermissionFix(port, "ann"), "");
}
