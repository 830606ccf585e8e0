#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// Little-endian numbers and raw bytes in and out of the history's files.

inline void PutNumber(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void PutBytes(std::string& out, const uint8_t* bytes, size_t count) {
    out.append(reinterpret_cast<const char*>(bytes), count);
}

// Reads from a bounded buffer; any read past its end fails.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Get(uint64_t& value, int bytes) {
        if (!Has(static_cast<size_t>(bytes)))
            return false;
        value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<uint64_t>(data_[at_ + i]) << (8 * i);
        at_ += static_cast<size_t>(bytes);
        return true;
    }
    bool GetBytes(uint8_t* out, size_t count) {
        if (!Has(count))
            return false;
        std::memcpy(out, data_ + at_, count);
        at_ += count;
        return true;
    }
    // The next count bytes where they stand, skipped.
    const uint8_t* Take(size_t count) {
        if (!Has(count))
            return nullptr;
        const uint8_t* at = data_ + at_;
        at_ += count;
        return at;
    }
    bool Has(size_t count) const { return size_ - at_ >= count; }
    bool AtEnd() const { return at_ == size_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};
