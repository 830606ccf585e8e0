#pragma once

// What the porvane-cli tests share: byte files, single-saver files made by
// hand, and a fixture that runs the program in a fresh folder.

#include "card/CardVolume.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace clitest {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

using porvane_test::ReadFileBytes;
using porvane_test::WriteFileBytes;

// A single-saver file: 12 name bytes as given, blocks filled with a pattern
// of seed, a header block (the second for a game) with a description and
// `frames` icon frames of a recognisable pattern.
inline Bytes MakeDci(const std::string& name12, int blocks, bool game, int frames, uint8_t seed) {
    Bytes dci(32 + 512 * blocks, 0);
    dci[0] = game ? 0xCC : 0x33;
    dci[2] = game ? 0 : 199;
    for (int i = 0; i < 12; ++i)
        dci[4 + i] = i < static_cast<int>(name12.size()) ? name12[i] : ' ';
    const uint8_t stamp[8] = {0x20, 0x24, 0x01, 0x31, 0x23, 0x59, 0x58, 0x03};
    std::copy(stamp, stamp + 8, dci.begin() + 16);
    dci[24] = static_cast<uint8_t>(blocks);
    for (int b = 0; b < blocks; ++b) {
        uint8_t block[512];
        for (int i = 0; i < 512; ++i)
            block[i] = static_cast<uint8_t>(seed + b * 7 + i);
        const int header = game ? 1 : 0;
        if (b == header) {
            const std::string text = "A TEST SAVER\tFOR THE CLI";
            for (int i = 0; i < 48; ++i)
                block[i] = i < static_cast<int>(text.size()) ? text[i] : ' ';
            block[0x40] = static_cast<uint8_t>(frames);
            block[0x41] = 0;
            for (int c = 0; c < 16; ++c) {
                block[0x60 + 2 * c] = static_cast<uint8_t>(c * 0x11);
                block[0x61 + 2 * c] = 0xF0 | static_cast<uint8_t>(c);
            }
        }
        SwapWords(block);
        std::copy(block, block + 512, dci.begin() + 32 + 512 * b);
    }
    return dci;
}

// The blocks of a DCI, without the header.
// Sets table entries of the card image at path (the table is block 254,
// stored in card order like every block).
inline void SetFatInImage(const fs::path& path,
                          const std::vector<std::pair<int, uint16_t>>& links) {
    Bytes card = ReadFileBytes(path);
    uint8_t* table = card.data() + 254 * 512;
    SwapWords(table);
    for (const auto& [block, value] : links) {
        table[2 * block] = static_cast<uint8_t>(value & 0xFF);
        table[2 * block + 1] = static_cast<uint8_t>(value >> 8);
    }
    SwapWords(table);
    WriteFileBytes(path, card);
}

// Sets byte `offset` of directory entry `entry` in the card image at path.
inline void SetEntryByteInImage(const fs::path& path, int entry, int offset, uint8_t value) {
    Bytes card = ReadFileBytes(path);
    uint8_t* block = card.data() + (253 - entry / 16) * 512;
    SwapWords(block);
    block[32 * (entry % 16) + offset] = value;
    SwapWords(block);
    WriteFileBytes(path, card);
}

inline Bytes DciBlocks(const Bytes& dci) {
    return Bytes(dci.begin() + 32, dci.end());
}

class CliFixture : public ::testing::Test {
  protected:
    struct Result {
        int code = -1;
        std::string out;
        std::string err;
    };

    void SetUp() override {
        dir_ = temp_.Path();
        fs::create_directories(dir_ / "emu");
    }

    fs::path P(const std::string& name) const { return dir_ / name; }

    // Runs porvane-cli in the test folder with the given arguments, behind
    // prefix (a command that starts it, or nothing).
    Result Cli(const std::string& args, const std::string& prefix = "") {
        const std::string cmd = "cd '" + dir_.string() + "' && " + prefix +
                                "'" PORVANE_BIN_DIR "/porvane-cli' " + args + " >out.txt 2>err.txt";
        Result r;
        const int status = std::system(cmd.c_str());
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const Bytes out = ReadFileBytes(P("out.txt"));
        const Bytes err = ReadFileBytes(P("err.txt"));
        r.out.assign(out.begin(), out.end());
        r.err.assign(err.begin(), err.end());
        return r;
    }

    // A fresh formatted image.
    void NewCard(const std::string& name, const std::string& blocks = "200") {
        ASSERT_EQ(Cli("new " + name).code, 0);
        ASSERT_EQ(Cli("format " + name + " " + blocks).code, 0);
    }

    porvane_test::TempDir temp_;
    fs::path dir_;
};

} // namespace clitest
