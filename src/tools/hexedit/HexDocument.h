#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The bytes the hex editor works on: its own copy of a file, which bytes
// changed since the file was loaded or saved, and the undo steps, each
// carrying a short text that names the change.
class HexDocument {
  public:
    int64_t Size() const { return static_cast<int64_t>(data_.size()); }
    const std::vector<uint8_t>& Data() const { return data_; }
    uint8_t At(int64_t position) const { return data_[static_cast<size_t>(position)]; }
    // Whether the byte differs from the file as last loaded or saved.
    bool IsChanged(int64_t position) const { return changed_[static_cast<size_t>(position)] != 0; }
    // Whether any byte in [first, last) is marked changed.
    bool AnyChanged(int64_t first, int64_t last) const;

    const std::string& FileName() const { return fileName_; }
    bool Modified() const { return static_cast<int64_t>(steps_.size()) != cleanStep_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

    // Reads the whole file; on failure nothing changes.
    bool LoadFile(const std::string& path);
    // Starts over with the given bytes under a name that isn't a file yet.
    void Reset(std::vector<uint8_t> bytes, const std::string& name);
    // Writes the data through a temporary file in the same folder that then
    // replaces the target, so a failed save leaves the old file whole. On
    // success the name becomes path and the data counts as saved.
    // With a backupExtension, a file already there is kept under that
    // extension first.
    bool SaveFile(const std::string& path, const char* backupExtension = "");

    // The one way the data changes: count bytes at offset are replaced by
    // bytes, as one undo step named text. With merge, a one-byte change to
    // the byte the last step also changed joins that step instead (both
    // nibbles of a byte are one step).
    void Replace(int64_t offset, int64_t count, std::span<const uint8_t> bytes,
                 const std::string& text, bool merge = false);
    // A copy of count bytes from start, cut to the data.
    std::vector<uint8_t> BufferFromFile(int64_t start, int64_t count) const;

    bool CanUndo() const { return !steps_.empty(); }
    // Text of the last step, "" when there is none.
    std::string UndoText() const { return steps_.empty() ? std::string() : steps_.back().text; }
    // Takes back the last step; returns where it happened, -1 when there was
    // nothing to undo.
    int64_t Undo();

  private:
    struct Step {
        std::string text;
        int64_t offset = 0;
        std::vector<uint8_t> removed;
        std::vector<uint8_t> removedChanged;
        int64_t insertedCount = 0;
    };

    std::vector<uint8_t> data_;
    std::vector<uint8_t> changed_;
    std::vector<Step> steps_;
    // Number of steps at the last load or save; -1 once that state can't be
    // reached by undoing any more.
    int64_t cleanStep_ = 0;
    std::string fileName_;
    bool readOnly_ = false;
};
