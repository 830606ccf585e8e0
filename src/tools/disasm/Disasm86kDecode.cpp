#include "tools/disasm/Disasm86k.h"

#include <array>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Operand pieces; an instruction's operand text is up to three of them joined
// with ",", their bytes following the opcode in the same order.
enum class Form : uint8_t {
    None,
    R8,   // s8 relative to the address after the byte: A + 2 + s8
    R16,  // s16, low byte first: A + 2 + s16
    A16,  // absolute address, high byte first
    A12,  // low 12 address bits, the top four from the address after the instruction
    Imm8, // immediate data
    D9,   // direct address, bit 8 from opcode bit 0
    D9Hi, // direct address, bit 8 from opcode bit 4
    Rj,   // indirect register @R0-@R3 from opcode bits 0-1; no byte
    Bit,  // bit number from opcode bits 0-2; no byte
    // The bit number of BPC, BP and BN: part of their address-bit-target
    // operand, so it is shown only when the address byte was there.
    BranchBit,
    // MOV #imm,d9: the address byte comes first although the data is shown first.
    MovImmD9,
};

struct Entry {
    const char* mnemonic = "...";
    Form forms[3] = {Form::None, Form::None, Form::None};
};

constexpr Entry Make(const char* mnemonic, Form a = Form::None, Form b = Form::None,
                     Form c = Form::None) {
    Entry entry;
    entry.mnemonic = mnemonic;
    entry.forms[0] = a;
    entry.forms[1] = b;
    entry.forms[2] = c;
    return entry;
}

// Opcodes x0-x7: the row's own instructions.
constexpr Entry LowHalf(int row, int column) {
    // Rows whose columns 1, 2-3 and 4-7 are an arithmetic instruction on
    // #imm8, d9 and @Rj; column 0 holds something unrelated.
    struct Arith {
        const char* column0;
        Form column0Form;
        const char* name;
    };
    constexpr Arith kArith[8] = {
        {"BZ", Form::R8, "ADD"},      {"BNZ", Form::R8, "ADDC"},   {"RET", Form::None, "SUB"},
        {"RETI", Form::None, "SUBC"}, {"ROR", Form::None, "XCH"},  {"RORC", Form::None, "OR"},
        {"ROL", Form::None, "AND"},   {"ROLC", Form::None, "XOR"},
    };
    const int group = column < 1 ? 0 : column < 2 ? 1 : column < 4 ? 2 : 3;
    switch (row) {
    case 0x0:
        return group == 0   ? Make("NOP")
               : group == 1 ? Make("BR", Form::R8)
               : group == 2 ? Make("LD", Form::D9)
                            : Make("LD", Form::Rj);
    case 0x1:
        return group == 0   ? Make("CALLR", Form::R16)
               : group == 1 ? Make("BRF", Form::R16)
               : group == 2 ? Make("ST", Form::D9)
                            : Make("ST", Form::Rj);
    case 0x2:
        return group == 0   ? Make("CALLF", Form::A16)
               : group == 1 ? Make("JMPF", Form::A16)
               : group == 2 ? Make("MOV", Form::MovImmD9)
                            : Make("MOV", Form::Imm8, Form::Rj);
    case 0x3:
    case 0x4: {
        const char* name = row == 0x3 ? "BE" : "BNE";
        return group == 0   ? Make(row == 0x3 ? "MUL" : "DIV")
               : group == 1 ? Make(name, Form::Imm8, Form::R8)
               : group == 2 ? Make(name, Form::D9, Form::R8)
                            : Make(name, Form::Rj, Form::Imm8, Form::R8);
    }
    case 0x5:
        return group <= 1   ? Make("...")
               : group == 2 ? Make("DBNZ", Form::D9, Form::R8)
                            : Make("DBNZ", Form::Rj, Form::R8);
    case 0x6:
    case 0x7:
        return group <= 1   ? Make(row == 0x6 ? "PUSH" : "POP", Form::D9)
               : group == 2 ? Make(row == 0x6 ? "INC" : "DEC", Form::D9)
                            : Make(row == 0x6 ? "INC" : "DEC", Form::Rj);
    default: {
        const Arith& arith = kArith[row - 0x8];
        // C1 is LDC, without operands; the other rows take #imm8 there.
        return group == 0   ? Make(arith.column0, arith.column0Form)
               : group == 1 ? (row == 0xC ? Make("LDC") : Make(arith.name, Form::Imm8))
               : group == 2 ? Make(arith.name, Form::D9)
                            : Make(arith.name, Form::Rj);
    }
    }
}

// Opcodes x8-xF: one instruction per pair of rows, opcode bit 4 being address
// bit 8 (or bit 11 of a CALL/JMP target) and bits 0-2 the bit number.
constexpr Entry HighHalf(int row) {
    switch (row >> 1) {
    case 0:
        return Make("CALL", Form::A12);
    case 1:
        return Make("JMP", Form::A12);
    case 2:
        return Make("BPC", Form::D9Hi, Form::BranchBit, Form::R8);
    case 3:
        return Make("BP", Form::D9Hi, Form::BranchBit, Form::R8);
    case 4:
        return Make("BN", Form::D9Hi, Form::BranchBit, Form::R8);
    case 5:
        return Make("NOT1", Form::D9Hi, Form::Bit);
    case 6:
        return Make("CLR1", Form::D9Hi, Form::Bit);
    default:
        return Make("SET1", Form::D9Hi, Form::Bit);
    }
}

constexpr std::array<Entry, 256> BuildDecodeTable() {
    std::array<Entry, 256> table{};
    for (int opcode = 0; opcode < 256; ++opcode) {
        const int row = opcode >> 4;
        const int column = opcode & 0xF;
        table[opcode] = column < 8 ? LowHalf(row, column) : HighHalf(row);
    }
    return table;
}

constexpr std::array<Entry, 256> kDecodeTable = BuildDecodeTable();

struct RegisterText {
    char text[8] = {};
};

struct NamedRegister {
    uint16_t address;
    const char* name;
};

constexpr NamedRegister kNamedRegisters[] = {
    {0x100, "ACC"},    {0x101, "PSW"},    {0x102, "B"},     {0x103, "C"},     {0x104, "TRL"},
    {0x105, "TRH"},    {0x106, "SP"},     {0x107, "PCON"},  {0x108, "IE"},    {0x109, "IP"},
    {0x10D, "EXT"},    {0x10E, "OCR"},    {0x110, "T0CNT"}, {0x111, "T0PRR"}, {0x112, "T0L"},
    {0x113, "T0LR"},   {0x114, "T0H"},    {0x115, "T0HR"},  {0x118, "T1CNT"}, {0x11A, "T1LC"},
    {0x11B, "T1LR"},   {0x11C, "T1HC"},   {0x11D, "T1HR"},  {0x120, "MCR"},   {0x122, "STAD"},
    {0x123, "CNR"},    {0x124, "TDR"},    {0x125, "XBNK"},  {0x127, "VCCR"},  {0x130, "SCON0"},
    {0x131, "SBUF0"},  {0x132, "SBR"},    {0x134, "SCON1"}, {0x135, "SBUF1"}, {0x144, "P1"},
    {0x145, "P1DDR"},  {0x146, "P1FCR"},  {0x14C, "P3"},    {0x14D, "P3DDR"}, {0x14E, "P3INT"},
    {0x15C, "P7"},     {0x15D, "I01CR"},  {0x15E, "I23CR"}, {0x15F, "ISL"},   {0x163, "VSEL"},
    {0x164, "VRMAD1"}, {0x165, "VRMAD2"}, {0x166, "VTRBF"}, {0x17F, "BTCR"},
};

// Every 9-bit address's text, worked out once: a name from the list, or "fx"
// and the low 8 bits in hex without leading zeros.
constexpr std::array<RegisterText, 512> BuildRegisterTable() {
    std::array<RegisterText, 512> table{};
    for (int address = 0; address < 512; ++address) {
        RegisterText& entry = table[address];
        const int low = address & 0xFF;
        int length = 0;
        entry.text[length++] = 'f';
        entry.text[length++] = 'x';
        if (low >= 0x10)
            entry.text[length++] = kHexDigits[low >> 4];
        entry.text[length++] = kHexDigits[low & 0xF];
    }
    for (const NamedRegister& named : kNamedRegisters) {
        RegisterText& entry = table[named.address];
        int length = 0;
        for (const char* c = named.name; *c != '\0'; ++c)
            entry.text[length++] = *c;
        for (; length < 8; ++length)
            entry.text[length] = '\0';
    }
    return table;
}

constexpr std::array<RegisterText, 512> kRegisterTable = BuildRegisterTable();

// Appends to the fixed operand buffer; the longest operand text is far below
// its size, the bound only guards against a mistake.
struct OperandWriter {
    Decoded86k& out;

    void Char(char c) {
        if (out.OperandsLength < Decoded86k::kOperandsSize - 1)
            out.Operands[out.OperandsLength++] = c;
    }
    void Text(const char* text) {
        while (*text != '\0')
            Char(*text++);
    }
    void Separator() {
        if (out.OperandsLength > 0)
            Char(',');
    }
    void Hex(uint32_t value, int digits) {
        for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
            Char(kHexDigits[(value >> shift) & 0xF]);
    }
    void Address(uint32_t value) {
        Char('$');
        Hex(value, 4);
    }
    void Immediate(uint8_t value) {
        Char('#');
        Hex(value, 2);
        Char('H');
    }
};

} // namespace

const char* Disasm86k::RegisterName(uint32_t address) {
    return kRegisterTable[address & 0x1FF].text;
}

bool Disasm86k::ReadOperand(uint32_t& counter, Decoded86k& out, uint8_t& byte) {
    if (!ReadByte(byte))
        return false;
    if (out.BytesLength + 3 < Decoded86k::kBytesSize) {
        out.Bytes[out.BytesLength++] = ' ';
        out.Bytes[out.BytesLength++] = kHexDigits[byte >> 4];
        out.Bytes[out.BytesLength++] = kHexDigits[byte & 0xF];
    }
    ++out.ByteCount;
    ++counter;
    return true;
}

void Disasm86k::DecodeInstruction(uint8_t opcode, uint32_t& counter, Decoded86k& out) {
    out = Decoded86k{};
    out.Bytes[0] = kHexDigits[opcode >> 4];
    out.Bytes[1] = kHexDigits[opcode & 0xF];
    out.BytesLength = 2;
    out.ByteCount = 1;
    const Entry& entry = kDecodeTable[opcode];
    out.Mnemonic = entry.mnemonic;
    OperandWriter text{out};
    const uint32_t d9 = (opcode & 0x01u) << 8;
    const uint32_t d9Hi = (opcode & 0x10u) << 4;

    // Once the file runs out no later byte can be read, but the forms that
    // take no byte (@Rj, a NOT1/CLR1/SET1 bit number) are still shown.
    bool truncated = false;
    for (const Form form : entry.forms) {
        const uint32_t at = counter;
        uint8_t first = 0;
        uint8_t second = 0;
        if (form == Form::None)
            break;
        if (form == Form::Rj) {
            text.Separator();
            text.Text("@R");
            text.Hex(opcode & 0x3u, 1);
            continue;
        }
        if (form == Form::Bit || (form == Form::BranchBit && !truncated)) {
            text.Separator();
            text.Hex(opcode & 0x7u, 1);
            continue;
        }
        if (truncated || form == Form::BranchBit)
            continue;
        if (!ReadOperand(counter, out, first)) {
            truncated = true;
            continue;
        }
        switch (form) {
        case Form::R8:
            text.Separator();
            text.Address(at + 2 + static_cast<uint32_t>(static_cast<int8_t>(first)));
            break;
        case Form::R16: {
            if (!ReadOperand(counter, out, second)) {
                truncated = true;
                break;
            }
            const auto offset = static_cast<int16_t>(static_cast<uint16_t>(second << 8 | first));
            text.Separator();
            text.Address(at + 2 + static_cast<uint32_t>(offset));
            break;
        }
        case Form::A16:
            if (!ReadOperand(counter, out, second)) {
                truncated = true;
                break;
            }
            text.Separator();
            text.Address(static_cast<uint32_t>(first) << 8 | second);
            break;
        case Form::A12: {
            const uint32_t target =
                ((at + 2) & 0xF000u) | ((opcode & 0x10u) << 7) | ((opcode & 0x07u) << 8) | first;
            text.Separator();
            text.Address(target);
            break;
        }
        case Form::Imm8:
            text.Separator();
            text.Immediate(first);
            break;
        case Form::D9:
            text.Separator();
            text.Text(RegisterName(d9 | first));
            break;
        case Form::D9Hi:
            text.Separator();
            text.Text(RegisterName(d9Hi | first));
            break;
        case Form::MovImmD9:
            if (ReadOperand(counter, out, second)) {
                text.Immediate(second);
                text.Char(',');
            }
            text.Text(RegisterName(d9 | first));
            break;
        default:
            break;
        }
    }
    ++counter;
}
