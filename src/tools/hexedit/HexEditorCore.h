#pragma once

#include "tools/hexedit/HexCursor.h"
#include "tools/hexedit/HexDocument.h"
#include "tools/hexedit/HexOptions.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The hex grid without its widget: data, caret, selection and options, and
// every edit the keys, the menus and the clipboard make. Each call that
// changes something returns whether it did.
class HexEditorCore {
  public:
    enum class SeekOrigin { Absolute, Current, End };

    HexDocument& Document() { return document_; }
    const HexDocument& Document() const { return document_; }
    const HexCursor& Cursor() const { return cursor_; }
    const HexOptions& Options() const { return options_; }
    // Options are set through here so that the caret stays where it may be.
    void SetOptions(const HexOptions& options);

    bool LoadFile(const std::string& path);
    // Starts over with the given bytes under a name that isn't a file yet.
    void Reset(std::vector<uint8_t> bytes, const std::string& name);
    // Brings caret and selection back inside the data after the document
    // was changed from outside.
    void ClampCaret();
    bool SaveFile(const std::string& path);

    int64_t DataSize() const { return document_.Size(); }
    int64_t CaretPosition() const { return cursor_.Caret(); }
    // The two ends of the selection as byte positions (both included):
    // SelStart at the caret's end, SelEnd at the other. Without a
    // selection both are the caret position.
    int64_t SelStart() const;
    int64_t SelEnd() const;
    int64_t SelCount() const { return cursor_.SelCount(); }
    // Selects the bytes from selEnd to selStart (either order) and puts
    // the caret at selStart's end.
    void SetSelection(int64_t selStart, int64_t selEnd);
    void SelectAll();

    bool Modified() const { return document_.Modified(); }
    bool ReadOnly() const { return document_.ReadOnly(); }
    // Insert mode is on only when asked for and allowed, and the size may change.
    bool InsertMode() const {
        return insertFlag_ && options_.AllowInsertMode && !options_.NoSizeChange;
    }
    // The Insert key: switches between insert and overwrite where inserting
    // is allowed at all.
    bool ToggleInsertMode();

    bool CanUndo() const { return document_.CanUndo(); }
    std::string UndoText() const { return document_.UndoText(); }
    bool Undo();

    std::vector<uint8_t> BufferFromFile(int64_t start, int64_t count) const {
        return document_.BufferFromFile(start, count);
    }
    std::vector<uint8_t> SelectedBytes() const {
        return document_.BufferFromFile(cursor_.SelLow(), cursor_.SelCount());
    }
    bool DeleteSelection(const std::string& text = "Delete");
    // Replaces the selection, or inserts at the caret when nothing is
    // selected. With a fixed size the shorter of buffer and selection wins,
    // and without a selection the bytes at the caret are overwritten.
    bool ReplaceSelection(std::span<const uint8_t> bytes, const std::string& text);
    // Appends at the end and selects what was appended.
    bool AppendAndSelect(std::span<const uint8_t> bytes, const std::string& text);

    // Moves the caret; with strict a target outside the data fails, else it
    // is clamped into the data.
    bool Seek(int64_t position, SeekOrigin origin, bool strict);
    // First match at or after from, or -1.
    int64_t Find(std::span<const uint8_t> bytes, bool ignoreCase, int64_t from) const;

    // The whole data as hex text, and all data replaced from hex text (both
    // honour SwapNibbles).
    std::string HexText() const;
    bool SetHexText(const std::string& text);

    // Keys. Digits and characters go into the column the caret is in.
    bool TypeHexDigit(int digit);
    bool TypeCharacter(char32_t character);
    bool DeleteForward();
    bool Backspace();

    // Caret movement; extend grows the selection (Shift).
    void MoveBytes(int64_t delta, bool extend);
    void MoveDigits(int delta, bool extend); // left/right in the hex column
    void MoveTo(int64_t position, int digit, bool extend);
    void MoveToLineStart(bool extend);
    void MoveToLineEnd(bool extend);
    void SwitchField();
    void SetField(HexField field);
    // The last position the caret may take: the data size (after the last byte).
    int64_t MaxCaret() const { return DataSize(); }

  private:
    bool CanChangeSize() const { return !ReadOnly() && !options_.NoSizeChange; }
    void AfterEdit(int64_t caret);

    HexDocument document_;
    HexCursor cursor_;
    HexOptions options_;
    bool insertFlag_ = false;
    // The byte whose first digit was just typed; the second digit joins the
    // same undo step. -1 when no byte is half typed.
    int64_t halfTyped_ = -1;
};
