#pragma once

#include <cstdint>
#include <string>
#include <vector>

class HexEditorCore;

// The hex editor's search, kept from one visit to the next: the text as
// typed, the bytes it stands for (text already in the grid's character
// set), whether case is ignored and where the last match was.
class SearchState {
  public:
    const std::string& LastText() const { return lastText_; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    int64_t LastMatch() const { return lastMatch_; }

    // A new search: forgets the bytes, the match and the case flag.
    void Reset();
    enum class Taken { Nothing, Ready, NotInCharacterSet };
    // Takes a typed text: Nothing when it gives nothing to search,
    // NotInCharacterSet for text the grid's character set can't hold (so
    // the data can't hold it either).
    Taken Take(const std::string& typedUtf8, const HexEditorCore& editor);
    bool HasBytes() const { return !bytes_.empty(); }

    // Searches from a position; selects and remembers a match. False when
    // nothing was found.
    bool SearchFrom(HexEditorCore& editor, int64_t from);
    // Where "Find Next" starts: after the last match while it is still the
    // selection's start, else at the last match, or at the caret when the
    // last search found nothing.
    int64_t NextStart(const HexEditorCore& editor) const;

  private:
    std::string lastText_;
    std::vector<uint8_t> bytes_;
    bool ignoreCase_ = false;
    int64_t lastMatch_ = -1;
};
