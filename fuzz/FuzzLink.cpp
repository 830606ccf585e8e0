#include "FuzzLink.h"

#include "card/CardFeedback.h"
#include "card/CardVolume.h"
#include "settings/Settings.h"

#include <cstdio>
#include <memory>

namespace fuzz {

std::string SteppingClock::ClockText() {
    const unsigned long s = calls_++;
    char text[16];
    std::snprintf(text, sizeof text, "12:%02lu:%02lu", (s / 60) % 60, s % 60);
    return text;
}

LinkScript SplitLinkInput(const uint8_t* data, size_t size) {
    LinkScript script;
    if (size == 0)
        return script;
    script.count = 1 + data[0] % 8;
    if (script.count > size - 1)
        script.count = size - 1;
    script.commands = data + 1;
    script.replies = data + 1 + script.count;
    script.replyCount = size - 1 - script.count;
    return script;
}

void RunLinkCommands(LinkPort& link, const uint8_t* commands, size_t count) {
    link.ShortDelay = 0;
    link.LongDelay = 0;
    link.LongestDelay = 0;
    Settings settings;
    SilentCardFeedback ui;
    auto volume = std::make_unique<CardVolume>();
    volume->Store().SetLink(&link);
    volume->Store().SetConfig(&settings);
    volume->Store().SetFeedback(&ui);
    uint8_t block[512];
    for (int i = 0; i < 512; ++i)
        block[i] = static_cast<uint8_t>(i * 7 + 3);
    uint8_t in[512];
    for (size_t i = 0; i < count; ++i) {
        const int arg = commands[i] >> 4;
        const uint8_t slot = static_cast<uint8_t>(arg & 1);
        const auto at = static_cast<uint8_t>(arg * 17);
        switch (commands[i] & 0x0F) {
        case 0:
            link.DetectDevice();
            break;
        case 1: {
            bool card1 = false;
            bool card2 = false;
            link.GetSlotStatus(card1, card2);
            break;
        }
        case 2:
            link.ReadBlock(slot, at, in);
            break;
        case 3:
            link.WriteBlock(slot, at, block);
            break;
        case 4:
            link.ReadMemory(static_cast<uint32_t>(at) * 512, in);
            break;
        case 5:
            link.WriteMemory(static_cast<uint32_t>(at) * 512 + 128, block);
            break;
        case 6: {
            uint16_t page = 0;
            link.SetPage(static_cast<uint16_t>(arg));
            link.GetPage(page);
            break;
        }
        case 7:
            link.SetPage16M(static_cast<uint8_t>(arg));
            break;
        case 8:
            link.ReadSpan(static_cast<uint32_t>(at) * 512 + 4 * arg, in);
            break;
        case 9:
            link.WriteBlockParts(slot, at, block, static_cast<uint8_t>(arg));
            break;
        case 10:
        case 11:
            settings.VerifyTransfers = arg & 2 ? 0 : 1;
            volume->SetPlace(slot == 0 ? CardPlace::Slot1 : CardPlace::Slot2);
            if ((commands[i] & 0x0F) == 10)
                volume->ReadRawBlock(slot, at, in);
            else
                volume->WriteRawBlock(slot, at, block);
            break;
        case 12:
            link.DirectMode = (arg & 1) != 0;
            break;
        default: {
            uint8_t chunk[128];
            link.BeginBlockAccess();
            link.FetchChunk(slot, at, static_cast<uint8_t>(arg & 3));
            link.ReadChunk(chunk);
            link.WriteChunk(block);
            link.StoreChunk(slot, at, static_cast<uint8_t>(arg & 3));
            link.CommitBlock(slot, at);
            link.EndBlockAccess();
            break;
        }
        }
    }
}

} // namespace fuzz
