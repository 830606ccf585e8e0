#include "tools/disasm/Disasm86k.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Appends text and blanks up to width characters; returns the new length.
int AppendPadded(char* line, int length, const char* text, int textLength, int width) {
    std::memcpy(line + length, text, static_cast<size_t>(textLength));
    length += textLength;
    while (textLength++ < width)
        line[length++] = ' ';
    return length;
}

} // namespace

Disasm86k::~Disasm86k() {
    Close();
}

bool Disasm86k::Open(const std::string& fileName) {
    Close();
    Position = 0;
    WindowEnd = kWindowSize;
    Counter = 0;
    LineStart = 0;
    ReadError = false;
    // A directory or device would open but yield nonsense sizes and reads.
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        return false;
    const auto size = std::filesystem::file_size(fileName, error);
    if (error)
        return false;
    File = std::fopen(fileName.c_str(), "rb");
    if (File == nullptr)
        return false;
    FileSize = static_cast<int64_t>(size);
    LoadChunk(0);
    return true;
}

bool Disasm86k::LoadChunk(int64_t chunkStart) {
    WindowEnd = chunkStart + kWindowSize;
    WindowFilled = chunkStart;
    if (File == nullptr || chunkStart >= FileSize)
        return File != nullptr;
    const auto wanted = static_cast<size_t>(std::min<int64_t>(kWindowSize, FileSize - chunkStart));
    size_t got = 0;
    if (std::fseek(File, static_cast<long>(chunkStart), SEEK_SET) == 0)
        got = std::fread(Window, 1, wanted, File);
    // A file cut short after it was opened ends the listing where its bytes end.
    WindowFilled = chunkStart + static_cast<int64_t>(got);
    if (got != wanted)
        ReadError = true;
    return got == wanted;
}

bool Disasm86k::SeekTo(int64_t position) {
    if (position < 0) {
        Position = FileSize;
        WindowFilled = 0;
        return false;
    }
    Position = position;
    return LoadChunk(position - position % kWindowSize);
}

bool Disasm86k::ReadByte(uint8_t& byte) {
    if (Position >= FileSize)
        return false;
    if (Position >= WindowEnd || Position < WindowEnd - kWindowSize)
        LoadChunk(Position - Position % kWindowSize);
    if (Position >= WindowFilled)
        return false;
    byte = Window[Position % kWindowSize];
    ++Position;
    return true;
}

void Disasm86k::Close() {
    if (File != nullptr)
        std::fclose(File);
    File = nullptr;
    FileSize = 0;
    WindowFilled = 0;
}

int Disasm86k::FormatLine(const Decoded86k& decoded, char (&line)[kMaxLineLength]) const {
    int length = 0;
    line[length++] = '$';
    for (int shift = 12; shift >= 0; shift -= 4)
        line[length++] = kHexDigits[(LineStart >> shift) & 0xF];
    line[length++] = ' ';
    length = AppendPadded(line, length, decoded.Bytes, decoded.BytesLength, 10);
    line[length++] = ' ';
    line[length++] = ' ';
    const char* mnemonic = decoded.Mnemonic;
    length = AppendPadded(line, length, mnemonic, static_cast<int>(std::strlen(mnemonic)), 8);
    return AppendPadded(line, length, decoded.Operands, decoded.OperandsLength, 0);
}

bool Disasm86k::NextLine(std::string& line) {
    LineStart = Counter;
    uint8_t opcode = 0;
    if (!ReadByte(opcode)) {
        line.clear();
        return false;
    }
    Decoded86k decoded;
    DecodeInstruction(opcode, Counter, decoded);
    char text[kMaxLineLength];
    line.assign(text, static_cast<size_t>(FormatLine(decoded, text)));
    return true;
}

std::string Disasm86k::NextLine() {
    std::string line;
    NextLine(line);
    return line;
}
