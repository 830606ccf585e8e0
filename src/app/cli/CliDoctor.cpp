// porvane-cli doctor: why a link box does or does not answer, step by step,
// from the port devices to a test read of one card block.
#include "app/cli/CliCardParts.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliVolume.h"
#include "link/PortSurvey.h"

#include <cstdio>
#include <cstring>
#include <ostream>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string Hex(unsigned long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

std::string UserName() {
    const passwd* pw = ::getpwuid(::getuid());
    return pw != nullptr ? pw->pw_name : std::string();
}

bool UsesParallelPort(const std::string& spec) {
    return spec == "auto" || spec == "io" || spec.rfind("ppdev:", 0) == 0;
}

// The parallel ports, their devices and rights; the one BasePort selects.
void ReportPorts(CliContext& ctx, uint16_t basePort) {
    std::ostream& out = ctx.out;
    const PortSurveyResult survey = SurveyPorts();
    out << "ppdev module: " << (survey.ppdevLoaded ? "loaded" : "not loaded") << "\n";
    if (!survey.ppdevLoaded)
        out << "  fix: sudo modprobe ppdev\n";
    if (survey.ports.empty())
        out << "parallel ports: none (the kernel lists none under /proc/sys/dev/parport and "
               "there is no /dev/parportN)\n";
    const std::string user = UserName();
    for (const ParportInfo& port : survey.ports) {
        out << "parport" << port.number << ": base "
            << (port.base != 0 ? Hex(port.base) : std::string("none (USB adapter?)")) << ", "
            << port.device;
        if (!port.deviceExists)
            out << " missing\n";
        else if (port.canOpen)
            out << " opens for reading and writing (group " << port.group << ")\n";
        else
            out << " does not open: " << std::strerror(port.openError) << " (group " << port.group
                << ")\n";
        const std::string fix = PermissionFix(port, user);
        if (!fix.empty())
            out << "  fix: " << fix << "\n";
    }
    const ParportInfo* match = PortWithBase(survey, basePort);
    out << "BasePort " << Hex(basePort) << ": ";
    if (match != nullptr)
        out << "parport" << match->number << " (" << match->device << ")\n";
    else
        out << "no port has this base address; choose one in \"Setup...\" or use "
               "--link ppdev:/dev/parportN\n";
}

// Reads one block twice; says whether the two reads agree, and how long
// the two took: a verified block read at the current counts.
bool TwoReadsAgree(CliContext& ctx, LinkPort& link, uint8_t slot, const char* name) {
    uint8_t first[LinkPort::kBlockSize];
    uint8_t second[LinkPort::kBlockSize];
    ctx.out << name << ": root block read twice: ";
    const int64_t start = link.ClockNs();
    if (!link.ReadBlock(slot, 255, first) || !link.ReadBlock(slot, 255, second)) {
        ctx.out << "a read failed (porvane-cli speed finds counts the box keeps up with)\n";
        return false;
    }
    const int64_t took = link.ClockNs() - start;
    int differ = 0;
    for (int i = 0; i < LinkPort::kBlockSize; ++i)
        differ += first[i] != second[i] ? 1 : 0;
    if (differ != 0) {
        ctx.out << "the reads differ in " << differ
                << " bytes (try longer delays in \"Setup...\" or porvane-cli speed, check the "
                   "cable)\n";
        return false;
    }
    ctx.out << "the reads agree\n";
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.2f ms", static_cast<double>(took) / 1e6);
    ctx.out << name << ": one verified block takes " << ms << " at the current counts (short "
            << Hex(static_cast<unsigned long>(link.ShortDelay)) << ", long "
            << Hex(static_cast<unsigned long>(link.LongDelay)) << ", longest "
            << Hex(static_cast<unsigned long>(link.LongestDelay)) << ")\n";
    return true;
}

} // namespace

int CliDoctor(CliContext& ctx) {
    CliArgs args;
    long page = -1;
    const int parsed = ParseCardArgs(ctx, {}, {}, 0, "usage: porvane-cli doctor", args, page);
    if (parsed != kCliOk)
        return parsed;
    std::ostream& out = ctx.out;
    out << "link: " << ctx.linkSpec << "\n";

    CliSession session(ctx);
    std::string error;
    const int opened = session.OpenLink(-1, error);
    if (opened == kCliUsage)
        return CliFail(ctx, kCliUsage, error);
    if (UsesParallelPort(ctx.linkSpec))
        ReportPorts(ctx, session.Config().BasePort);
    if (opened != kCliOk) {
        out << "box: " << error << "\n";
        out << "  try: load ppdev and join the port's group (above), check the cable and the "
               "box's power, or try the program on an emulated box: --link emulator:DIR\n";
        out << "result: no box answers\n";
        return kCliFailed;
    }

    LinkPort& link = *session.Link();
    bool cardAgrees = false;
    if (link.DirectMode) {
        uint16_t current = 0;
        uint16_t highest = 0;
        link.GetPage(current);
        // As the window does: page 255 reads back the highest page.
        if (link.SetPage(255))
            link.GetPage(highest);
        link.SetPage(current);
        out << "box: paged card, highest page " << highest << ", current page " << current << "\n";
        cardAgrees = TwoReadsAgree(ctx, link, 0, "card");
    } else {
        out << "box: two-slot unit\n";
        bool card1 = false;
        bool card2 = false;
        if (!link.GetSlotStatus(card1, card2)) {
            out << "slots: the slot status command failed\n";
        } else {
            out << "slot1: " << (card1 ? "card" : "empty") << "\n";
            out << "slot2: " << (card2 ? "card" : "empty") << "\n";
            if (card1)
                cardAgrees = TwoReadsAgree(ctx, link, 0, "slot1") || cardAgrees;
            if (card2)
                cardAgrees = TwoReadsAgree(ctx, link, 1, "slot2") || cardAgrees;
        }
    }
    out << "result: "
        << (cardAgrees ? "the box and a card answer" : "the box answers, no card reads well")
        << "\n";
    return cardAgrees ? kCliOk : kCliFailed;
}
