#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace icontest {

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

// A BMP file as other programs write them: any size and depth (1, 4 or 8
// bits), a palette of the given colours only, rows bottom-up or top-down.
// index(y, x) gives the palette index of the pixel in picture row y (0 = top).
struct BmpLayout {
    int width = 32;
    int height = 32;
    int bitsPerPixel = 8;
    bool topDown = false;
    std::vector<Rgb> palette;
    std::function<int(int y, int x)> index = [](int, int) { return 0; };
};

inline void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline std::vector<uint8_t> MakeBmp(const BmpLayout& setup) {
    const uint32_t stride = (static_cast<uint32_t>(setup.width * setup.bitsPerPixel) + 31) / 32 * 4;
    const auto paletteBytes = static_cast<uint32_t>(4 * setup.palette.size());
    const uint32_t offset = 54 + paletteBytes;
    const uint32_t pixelBytes = stride * static_cast<uint32_t>(setup.height);
    std::vector<uint8_t> out = {'B', 'M'};
    Put(out, offset + pixelBytes, 4);
    Put(out, 0, 4);
    Put(out, offset, 4);
    Put(out, 40, 4);
    Put(out, static_cast<uint32_t>(setup.width), 4);
    Put(out, static_cast<uint32_t>(setup.topDown ? -setup.height : setup.height), 4);
    Put(out, 1, 2);
    Put(out, static_cast<uint32_t>(setup.bitsPerPixel), 2);
    Put(out, 0, 4);
    Put(out, pixelBytes, 4);
    Put(out, 2835, 4);
    Put(out, 2835, 4);
    Put(out, static_cast<uint32_t>(setup.palette.size()), 4);
    Put(out, 0, 4);
    for (const Rgb& c : setup.palette)
        out.insert(out.end(), {c.blue, c.green, c.red, 0});
    for (int row = 0; row < setup.height; ++row) {
        const int y = setup.topDown ? row : setup.height - 1 - row;
        std::vector<uint8_t> line(stride, 0);
        for (int x = 0; x < setup.width; ++x) {
            const auto v = static_cast<uint32_t>(setup.index(y, x));
            const int bit = x * setup.bitsPerPixel;
            const int shift = 8 - setup.bitsPerPixel - bit % 8;
            line[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(v << shift);
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

inline void WriteBmp(const std::string& path, const BmpLayout& setup) {
    const std::vector<uint8_t> bytes = MakeBmp(setup);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

} // namespace icontest
