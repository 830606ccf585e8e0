#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The character sets the grid's character column can show. The numbers are
// the ones the View menu's "Translation" items stand for.
enum class Translation : int { Ansi = 0, Dos8 = 1, Ascii7 = 2, Mac = 3, Ebcdic = 4 };

// Code point a byte stands for, or kNoCharacter where the set leaves the byte
// undefined (the holes of Windows-1252, the upper half of 7-bit ASCII).
inline constexpr char32_t kNoCharacter = 0xFFFFFFFF;
char32_t ToUnicode(Translation translation, uint8_t byte);
// The byte that stands for a code point, if the set has one.
std::optional<uint8_t> FromUnicode(Translation translation, char32_t character);

// What the character column shows for a byte. Control characters show as
// '.' while masked, else as their Unicode control pictures so that they stay
// visible; bytes without a character always show as '.'.
char32_t DisplayCharacter(Translation translation, uint8_t byte, bool maskWhiteSpaces);

// The byte of the lower-case form of the byte's character in the same set
// (the byte itself where there is none); used by case-blind search.
uint8_t FoldCase(Translation translation, uint8_t byte);

// UTF-8 as code points; a malformed sequence becomes U+FFFD.
std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);

// UTF-8 text as bytes of the set. With substitute, characters the set
// lacks become '?'; without, such a text gives nothing.
std::optional<std::vector<uint8_t>> EncodeText(Translation translation, std::string_view utf8,
                                               bool substitute);
