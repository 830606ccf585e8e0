#pragma once

#include "card/CardFeedback.h"
#include "card/CardVolume.h"
#include "card/LoadVolume.h"
#include "card/support/CardTestSupport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Helpers shared by the transfer-engine and DCI/DCM tests.
namespace engine_test {

using porvane_test::TempDir;

using cardtest::RecordingFeedback;

// The listing of a view: ListMap, ListedCount and FreeBlocks (floored at 0).
void ListVolume(CardVolume& volume);
// Opens (creating) an image volume at path, formats it and loads it.
bool MakeImage(CardVolume& volume, const std::string& path, uint8_t userBlocks = 200);

// Writes a saver straight onto a loaded volume: chain as given, blocks filled
// with a pattern from seed, directory entry at index, then reloads.
void PlaceSaver(CardVolume& volume, int index, const std::string& name12, uint8_t type,
                const std::vector<uint8_t>& chain, uint8_t seed);
// The 12-character name padded with blanks.
std::string Name12(const std::string& name);

// Card-order bytes of the blocks of a chain, read through the block store.
std::vector<uint8_t> ChainBytes(CardVolume& volume, const std::vector<uint8_t>& chain);
// The chain from first as the in-memory Fat links it (at most 256 blocks).
std::vector<uint8_t> ChainOf(const CardVolume& volume, uint8_t first);
using porvane_test::ReadFileBytes;
using porvane_test::WriteFileBytes;
// One block of an image file, card order.
std::vector<uint8_t> FileBlock(const std::string& path, int block);

// The directory index of the first listed saver named name (12 characters).
int EntryNamed(const CardVolume& volume, const std::string& name12);

// A single-saver file made by hand: header bytes 0, 2 and 3 as given, the
// name padded to 12, blocks (card order) from a pattern of seed.
std::vector<uint8_t> MakeDciBytes(uint8_t type, uint8_t byte2, uint8_t byte3,
                                  const std::string& name, int size, uint8_t seed);

// Sets table entries in memory and on the card, then reloads the volume.
void DamageTable(CardVolume& volume, std::initializer_list<std::pair<int, uint16_t>> links);

// Two card images in a fresh folder, a.dcm and b.dcm, formatted with 200
// user blocks and loaded; both tell ui_ what they would tell the user.
class TwoImageTest : public ::testing::Test {
  protected:
    void SetUp() override;
    std::string APath() const { return dir_.File("a.dcm"); }
    std::string BPath() const { return dir_.File("b.dcm"); }
    // A file of the folder holding bytes (a single-saver file, say); its path.
    std::string Dci(const std::string& name, const std::vector<uint8_t>& bytes);

    TempDir dir_;
    RecordingFeedback ui_;
    std::unique_ptr<CardVolume> a_;
    std::unique_ptr<CardVolume> b_;
};

} // namespace engine_test
