#include "card/VmiFile.h"

#include <cstring>

namespace {

constexpr uint8_t kChecksumMask[4] = {'S', 'E', 'G', 'A'};
constexpr int kDaysInWeek = 7;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
           (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint8_t ToBcd(int value) {
    value %= 100;
    return static_cast<uint8_t>((value / 10) << 4 | (value % 10));
}
int FromBcd(uint8_t bcd) {
    return (bcd >> 4) * 10 + (bcd & 0x0F);
}

// A name field: printable characters, then nothing but NULs. The resource
// names a file and is plain ASCII; a saver's name on a card may hold
// Shift-JIS.
bool PlainName(const uint8_t* field, int length, bool ascii) {
    int k = 0;
    while (k < length && field[k] != 0) {
        if (field[k] < 0x20 || field[k] == 0x7F || (ascii && field[k] > 0x7F))
            return false;
        ++k;
    }
    for (; k < length; ++k) {
        if (field[k] != 0)
            return false;
    }
    return true;
}

bool LeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

} // namespace

std::string VmiAdvice::Line(const std::string& file) const {
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (checksumWrong)
        add("its checksum does not match its resource name (imported all the same)");
    if (extraBytes > 0)
        add("it is " + std::to_string(kVmiSize + extraBytes) + " bytes long; the " +
            std::to_string(extraBytes) + " after the first 108 are ignored");
    if (dateImpossible)
        add("its date is impossible, so the saver is dated now");
    return text.empty() ? text : file + ": " + text;
}

uint32_t VmiChecksum(const uint8_t* resource8) {
    uint8_t sum[4];
    for (int i = 0; i < 4; ++i)
        sum[i] = static_cast<uint8_t>(resource8[i] & kChecksumMask[i]);
    return Le32(sum);
}

void EncodeVmi(const VmiFields& f, uint8_t* out) {
    std::memset(out, 0, kVmiSize);
    Put32(out + 0x00, VmiChecksum(f.resource));
    std::memcpy(out + 0x04, f.description, sizeof f.description);
    std::memcpy(out + 0x24, f.copyright, sizeof f.copyright);
    Put16(out + 0x44, f.year);
    const uint8_t clock[6] = {f.month, f.day, f.hour, f.minute, f.second, f.weekday};
    std::memcpy(out + 0x46, clock, sizeof clock);
    Put16(out + 0x4C, f.version);
    Put16(out + 0x4E, f.fileNumber);
    std::memcpy(out + 0x50, f.resource, sizeof f.resource);
    std::memcpy(out + 0x58, f.name, sizeof f.name);
    Put16(out + 0x64, f.mode);
    Put32(out + 0x68, f.dataBytes);
}

bool DecodeVmi(const uint8_t* in, size_t fileSize, VmiFields& f, VmiAdvice& advice,
               std::string& error) {
    advice = VmiAdvice();
    if (fileSize < static_cast<size_t>(kVmiSize)) {
        error = "the VMI file is " + std::to_string(fileSize) + " bytes long, not 108";
        return false;
    }
    std::memcpy(f.description, in + 0x04, sizeof f.description);
    std::memcpy(f.copyright, in + 0x24, sizeof f.copyright);
    f.year = Le16(in + 0x44);
    f.month = in[0x46];
    f.day = in[0x47];
    f.hour = in[0x48];
    f.minute = in[0x49];
    f.second = in[0x4A];
    f.weekday = in[0x4B];
    f.version = Le16(in + 0x4C);
    f.fileNumber = Le16(in + 0x4E);
    std::memcpy(f.resource, in + 0x50, sizeof f.resource);
    std::memcpy(f.name, in + 0x58, sizeof f.name);
    f.mode = Le16(in + 0x64);
    f.dataBytes = Le32(in + 0x68);
    if (!PlainName(f.resource, kVmiResourceLength, true) || f.resource[0] == 0) {
        error = "the VMI's resource name is empty or holds control bytes";
        return false;
    }
    if (!PlainName(f.name, SaverEntry::kNameLength, false) || f.name[0] == 0) {
        error = "the VMI's saver name is empty or holds control bytes";
        return false;
    }
    advice.checksumWrong = Le32(in) != VmiChecksum(f.resource);
    advice.extraBytes = fileSize - kVmiSize;
    return true;
}

bool VmiTimeToCardStamp(const VmiFields& f, uint8_t* stamp) {
    if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
        f.day > DaysInMonth(f.year, f.month) || f.hour > 23 || f.minute > 59 || f.second > 59 ||
        f.weekday >= kDaysInWeek)
        return false;
    const uint8_t card[SaverEntry::kStampLength] = {
        ToBcd(f.year / 100), ToBcd(f.year), ToBcd(f.month), ToBcd(f.day), ToBcd(f.hour),
        ToBcd(f.minute), ToBcd(f.second),
        // Sunday is 0 in the VMI and 6 on the card.
        ToBcd((f.weekday + kDaysInWeek - 1) % kDaysInWeek)};
    std::memcpy(stamp, card, sizeof card);
    return true;
}

void CardStampToVmiTime(const uint8_t* stamp, VmiFields& f) {
    f.year = static_cast<uint16_t>(FromBcd(stamp[0]) * 100 + FromBcd(stamp[1]));
    f.month = static_cast<uint8_t>(FromBcd(stamp[2]));
    f.day = static_cast<uint8_t>(FromBcd(stamp[3]));
    f.hour = static_cast<uint8_t>(FromBcd(stamp[4]));
    f.minute = static_cast<uint8_t>(FromBcd(stamp[5]));
    f.second = static_cast<uint8_t>(FromBcd(stamp[6]));
    f.weekday = static_cast<uint8_t>((FromBcd(stamp[7]) + 1) % kDaysInWeek);
}

void CardStampAt(std::time_t when, uint8_t* stamp) {
    std::tm local{};
    localtime_r(&when, &local);
    const int year = local.tm_year + 1900;
    const uint8_t card[SaverEntry::kStampLength] = {
        ToBcd(year / 100),
        ToBcd(year),
        ToBcd(local.tm_mon + 1),
        ToBcd(local.tm_mday),
        ToBcd(local.tm_hour),
        ToBcd(local.tm_min),
        ToBcd(local.tm_sec % 60), // a leap second
        ToBcd((local.tm_wday + kDaysInWeek - 1) % kDaysInWeek)};
    std::memcpy(stamp, card, sizeof card);
}
