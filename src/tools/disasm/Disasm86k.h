#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Text of one decoded instruction, kept in fixed buffers so that listing a
// whole file allocates nothing per line.
struct Decoded86k {
    static constexpr int kOperandsSize = 32;
    static constexpr int kBytesSize = 12;

    const char* Mnemonic = "...";
    char Operands[kOperandsSize] = {};
    char Bytes[kBytesSize] = {};
    int OperandsLength = 0;
    int BytesLength = 0;
    // Bytes of the instruction that were read, opcode included (1 to 3).
    int ByteCount = 0;
};

// Listing of 86K machine code, one instruction per line, read from a binary
// file through a 16 KB window that slides forward while reading sequentially.
// The address of a line is its byte's position plus whatever offset the caller
// gave Counter; only its low 16 bits are shown.
class Disasm86k {
  public:
    static constexpr int kWindowSize = 16384;
    // Longest line: 27 columns before the operands, at most 14 operand characters.
    static constexpr int kMaxLineLength = 64;

    Disasm86k() = default;
    ~Disasm86k();
    Disasm86k(const Disasm86k&) = delete;
    Disasm86k& operator=(const Disasm86k&) = delete;

    // Opens the file and loads its first chunk; Position, Counter and LineStart
    // start at 0. False when the file can't be opened (or is not a regular
    // file); the reader then yields no lines.
    bool Open(const std::string& fileName);
    // Moves the reader to a file position and loads the chunk holding it.
    // Counter is left to the caller. False when the position is negative or the
    // chunk can't be read; the reader then yields no lines until the next seek.
    bool SeekTo(int64_t position);
    // Next byte of the file; false at the end of the file or on a read error.
    bool ReadByte(uint8_t& byte);
    // One listing line, or "" at the end of the file.
    std::string NextLine();
    // Same, into a caller's string whose storage is reused; false at the end.
    bool NextLine(std::string& line);
    void Close();

    // Decodes the instruction that starts with opcode, reading its operand
    // bytes itself. counter is the instruction's address on entry and the
    // address of the next instruction on return.
    void DecodeInstruction(uint8_t opcode, uint32_t& counter, Decoded86k& out);

    // Text shown for a 9-bit direct address (higher bits are ignored).
    static const char* RegisterName(uint32_t address);

    bool IsOpen() const { return File != nullptr; }
    int64_t GetPosition() const { return Position; }
    // Set when a chunk could not be read in full since Open: the listing ended
    // early, not at the end of the file.
    bool ReadFailed() const { return ReadError; }

    // Address counter: the address of the instruction being decoded, advanced
    // by one per byte consumed; between lines the address of the next one.
    uint32_t Counter = 0;
    // Address of the instruction of the current line.
    uint32_t LineStart = 0;

  private:
    bool LoadChunk(int64_t chunkStart);
    bool ReadOperand(uint32_t& counter, Decoded86k& out, uint8_t& byte);
    int FormatLine(const Decoded86k& decoded, char (&line)[kMaxLineLength]) const;

    std::FILE* File = nullptr;
    int64_t Position = 0;
    int64_t WindowEnd = 0;
    int64_t FileSize = 0;
    // First file position whose byte is not held in Window: the chunk's end, or
    // less when the chunk was cut short by the end of the file or a read error.
    int64_t WindowFilled = 0;
    bool ReadError = false;
    uint8_t Window[kWindowSize] = {};
};
