#include "card/ShiftJis.h"

#include <cerrno>
#include <iconv.h>

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// One converter per thread, opened on first use; null when the C library
// has no code page 932, in which case every non-ASCII byte is replaced.
class Cp932Converter {
  public:
    Cp932Converter() : handle_(iconv_open("UTF-8", "CP932")) {}
    ~Cp932Converter() {
        if (Valid())
            iconv_close(handle_);
    }
    Cp932Converter(const Cp932Converter&) = delete;
    Cp932Converter& operator=(const Cp932Converter&) = delete;

    // iconv_open's failure value is (iconv_t)-1.
    bool Valid() const {
        return handle_ != reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
    }

    // Converts one character of up to two bytes at in, appending it to out;
    // the number of bytes taken, or 0 when they do not decode.
    size_t One(const uint8_t* in, size_t left, std::string& out) {
        const size_t width = (in[0] >= 0x81 && in[0] <= 0x9F) || in[0] >= 0xE0 ? 2 : 1;
        if (!Valid() || width > left)
            return 0;
        char source[2] = {static_cast<char>(in[0]), width == 2 ? static_cast<char>(in[1]) : '\0'};
        char target[16];
        char* from = source;
        char* to = target;
        size_t fromLeft = width;
        size_t toLeft = sizeof target;
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle_, &from, &fromLeft, &to, &toLeft) == static_cast<size_t>(-1) ||
            fromLeft != 0)
            return 0;
        out.append(target, static_cast<size_t>(to - target));
        return width;
    }

  private:
    iconv_t handle_;
};

} // namespace

std::string DecodeShiftJis(const uint8_t* bytes, size_t count) {
    thread_local Cp932Converter converter;
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count;) {
        const uint8_t c = bytes[i];
        if (c < 0x20 || c == 0x7F) {
            text.push_back(' ');
            ++i;
        } else if (c < 0x80) {
            text.push_back(static_cast<char>(c));
            ++i;
        } else if (const size_t taken = converter.One(bytes + i, count - i, text)) {
            i += taken;
        } else {
            text.append(kReplacement);
            ++i;
        }
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}
