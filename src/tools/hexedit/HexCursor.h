#pragma once

#include <algorithm>
#include <cstdint>

// Which of the grid's two columns the caret types into.
enum class HexField { Hex, Char };

// The caret and the selection. The caret sits before a byte (position 0 to
// the data size); the selection is the bytes between the anchor and the
// caret. In the hex column the caret is also on one of the byte's two shown
// digits.
class HexCursor {
  public:
    int64_t Caret() const { return caret_; }
    int Nibble() const { return nibble_; }
    HexField Field() const { return field_; }
    void SetField(HexField field) {
        field_ = field;
        nibble_ = 0;
    }

    // Moves the caret; with extend the selection grows from where it started
    // (or from the old caret), else it is dropped.
    void Place(int64_t position, int nibble, bool extend) {
        if (extend && !selecting_) {
            anchor_ = caret_;
            selecting_ = true;
        } else if (!extend) {
            selecting_ = false;
        }
        caret_ = std::max<int64_t>(position, 0);
        nibble_ = field_ == HexField::Hex ? nibble : 0;
    }
    void Select(int64_t anchor, int64_t caret) {
        anchor_ = std::max<int64_t>(anchor, 0);
        caret_ = std::max<int64_t>(caret, 0);
        nibble_ = 0;
        selecting_ = true;
    }
    void ClearSelection() { selecting_ = false; }
    // Keeps caret and anchor inside 0 .. maxCaret after the data shrank.
    void Clamp(int64_t maxCaret) {
        caret_ = std::clamp<int64_t>(caret_, 0, maxCaret);
        anchor_ = std::clamp<int64_t>(anchor_, 0, maxCaret);
        if (caret_ == maxCaret && nibble_ != 0)
            nibble_ = 0;
    }

    bool HasSelection() const { return selecting_ && anchor_ != caret_; }
    int64_t Anchor() const { return selecting_ ? anchor_ : caret_; }
    // The selection as [low, high).
    int64_t SelLow() const { return std::min(Anchor(), caret_); }
    int64_t SelHigh() const { return std::max(Anchor(), caret_); }
    int64_t SelCount() const { return SelHigh() - SelLow(); }

  private:
    int64_t caret_ = 0;
    int64_t anchor_ = 0;
    int nibble_ = 0;
    bool selecting_ = false;
    HexField field_ = HexField::Hex;
};
