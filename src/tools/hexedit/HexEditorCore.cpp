#include "tools/hexedit/HexEditorCore.h"

#include "tools/hexedit/HexLayout.h"
#include "tools/hexedit/HexText.h"

#include <algorithm>

void HexEditorCore::SetOptions(const HexOptions& options) {
    options_ = options;
    // Let the layout settle odd values to the ones the grid knows.
    const HexLayout layout(options_, DataSize());
    options_.BytesPerLine = layout.BytesPerLine();
    options_.BytesPerColumn = layout.BytesPerColumn();
    options_.CaretStyle = std::clamp(options_.CaretStyle, 0, 2);
    options_.OffsetDisplay = std::clamp(options_.OffsetDisplay, 0, 3);
    options_.GridLineWidth = std::clamp(options_.GridLineWidth, 0, 1);
    cursor_.Clamp(MaxCaret());
}

bool HexEditorCore::LoadFile(const std::string& path) {
    if (!document_.LoadFile(path))
        return false;
    cursor_.SetField(cursor_.Field());
    AfterEdit(0);
    return true;
}

void HexEditorCore::Reset(std::vector<uint8_t> bytes, const std::string& name) {
    document_.Reset(std::move(bytes), name);
    AfterEdit(0);
}

void HexEditorCore::ClampCaret() {
    if (cursor_.Caret() > MaxCaret() || cursor_.Anchor() > MaxCaret())
        halfTyped_ = -1;
    cursor_.Clamp(MaxCaret());
}

bool HexEditorCore::SaveFile(const std::string& path) {
    halfTyped_ = -1;
    return document_.SaveFile(path, options_.BackupExtension);
}

int64_t HexEditorCore::SelStart() const {
    if (!cursor_.HasSelection())
        return cursor_.Caret();
    return cursor_.Caret() > cursor_.Anchor() ? cursor_.Caret() - 1 : cursor_.Caret();
}

int64_t HexEditorCore::SelEnd() const {
    if (!cursor_.HasSelection())
        return cursor_.Caret();
    return cursor_.Caret() > cursor_.Anchor() ? cursor_.Anchor() : cursor_.Anchor() - 1;
}

void HexEditorCore::SetSelection(int64_t selStart, int64_t selEnd) {
    halfTyped_ = -1;
    const int64_t size = DataSize();
    if (size == 0) {
        cursor_.Place(0, 0, false);
        return;
    }
    selStart = std::clamp<int64_t>(selStart, 0, size - 1);
    selEnd = std::clamp<int64_t>(selEnd, 0, size - 1);
    if (selStart >= selEnd)
        cursor_.Select(selEnd, selStart + 1);
    else
        cursor_.Select(selEnd + 1, selStart);
}

void HexEditorCore::SelectAll() {
    if (DataSize() > 0)
        SetSelection(DataSize() - 1, 0);
}

bool HexEditorCore::ToggleInsertMode() {
    if (!options_.AllowInsertMode || options_.NoSizeChange)
        return false;
    insertFlag_ = !insertFlag_;
    return true;
}

bool HexEditorCore::Undo() {
    const int64_t offset = document_.Undo();
    if (offset < 0)
        return false;
    AfterEdit(offset);
    return true;
}

bool HexEditorCore::DeleteSelection(const std::string& text) {
    ClampCaret();
    if (!CanChangeSize() || !cursor_.HasSelection())
        return false;
    const int64_t low = cursor_.SelLow();
    document_.Replace(low, cursor_.SelCount(), {}, text);
    AfterEdit(low);
    return true;
}

bool HexEditorCore::ReplaceSelection(std::span<const uint8_t> bytes, const std::string& text) {
    ClampCaret();
    if (ReadOnly() || bytes.empty())
        return false;
    const auto length = static_cast<int64_t>(bytes.size());
    int64_t at = cursor_.Caret();
    int64_t count = 0;
    if (cursor_.HasSelection()) {
        at = cursor_.SelLow();
        count = cursor_.SelCount();
    } else if (options_.NoSizeChange) {
        count = DataSize() - at;
    }
    if (options_.NoSizeChange) {
        count = std::min(count, length);
        if (count == 0)
            return false;
        bytes = bytes.first(static_cast<size_t>(count));
    }
    document_.Replace(at, count, bytes, text);
    AfterEdit(at + static_cast<int64_t>(bytes.size()));
    return true;
}

bool HexEditorCore::AppendAndSelect(std::span<const uint8_t> bytes, const std::string& text) {
    if (!CanChangeSize() || bytes.empty())
        return false;
    const int64_t oldSize = DataSize();
    document_.Replace(oldSize, 0, bytes, text);
    halfTyped_ = -1;
    cursor_.Select(oldSize, DataSize());
    return true;
}

bool HexEditorCore::Seek(int64_t position, SeekOrigin origin, bool strict) {
    const int64_t size = DataSize();
    int64_t target = position;
    if (origin == SeekOrigin::Current)
        target += cursor_.Caret();
    else if (origin == SeekOrigin::End)
        target += size - 1;
    if (strict && (target < 0 || target >= size))
        return false;
    AfterEdit(std::clamp<int64_t>(target, 0, std::max<int64_t>(size - 1, 0)));
    return true;
}

int64_t HexEditorCore::Find(std::span<const uint8_t> bytes, bool ignoreCase, int64_t from) const {
    return FindBytes(document_.Data(), bytes, ignoreCase, options_.Translation,
                     std::max<int64_t>(from, 0));
}

std::string HexEditorCore::HexText() const {
    return ToHexText(document_.Data(), options_.SwapNibbles);
}

bool HexEditorCore::SetHexText(const std::string& text) {
    const std::vector<uint8_t> bytes = FromHexText(text, options_.SwapNibbles);
    SelectAll();
    if (bytes.empty())
        return DeleteSelection("Replace all");
    return ReplaceSelection(bytes, "Replace all");
}

bool HexEditorCore::TypeHexDigit(int digit) {
    ClampCaret();
    if (ReadOnly() || digit < 0 || digit > 15 || cursor_.Field() != HexField::Hex)
        return false;
    cursor_.ClearSelection();
    const int64_t at = cursor_.Caret();
    const int shown = cursor_.Nibble();
    const bool high = (shown == 0) != options_.SwapNibbles;
    if (shown == 0 && (InsertMode() || at == DataSize())) {
        if (!CanChangeSize())
            return false;
        const uint8_t value = static_cast<uint8_t>(high ? digit << 4 : digit);
        document_.Replace(at, 0, std::span(&value, 1), "Insert byte");
    } else {
        const uint8_t old = document_.At(at);
        const uint8_t value =
            static_cast<uint8_t>(high ? (old & 0x0F) | (digit << 4) : (old & 0xF0) | digit);
        const bool secondDigit = shown == 1 && halfTyped_ == at;
        document_.Replace(at, 1, std::span(&value, 1), "Overwrite byte", secondDigit);
    }
    if (shown == 0) {
        cursor_.Place(at, 1, false);
        halfTyped_ = at;
    } else {
        AfterEdit(at + 1);
    }
    return true;
}

bool HexEditorCore::TypeCharacter(char32_t character) {
    ClampCaret();
    if (ReadOnly() || cursor_.Field() != HexField::Char)
        return false;
    const auto byte = FromUnicode(options_.Translation, character);
    if (!byte)
        return false;
    cursor_.ClearSelection();
    const int64_t at = cursor_.Caret();
    if (InsertMode() || at == DataSize()) {
        if (!CanChangeSize())
            return false;
        document_.Replace(at, 0, std::span(&*byte, 1), "Insert byte");
    } else {
        document_.Replace(at, 1, std::span(&*byte, 1), "Overwrite byte");
    }
    AfterEdit(at + 1);
    return true;
}

bool HexEditorCore::DeleteForward() {
    ClampCaret();
    if (!CanChangeSize())
        return false;
    if (cursor_.HasSelection())
        return DeleteSelection();
    const int64_t at = cursor_.Caret();
    if (at >= DataSize())
        return false;
    document_.Replace(at, 1, {}, "Delete byte");
    AfterEdit(at);
    return true;
}

bool HexEditorCore::Backspace() {
    ClampCaret();
    if (!CanChangeSize()) {
        MoveBytes(-1, false);
        return false;
    }
    if (cursor_.HasSelection())
        return DeleteSelection();
    const int64_t at = cursor_.Caret();
    if (at == 0)
        return false;
    document_.Replace(at - 1, 1, {}, "Delete byte");
    AfterEdit(at - 1);
    return true;
}

void HexEditorCore::MoveBytes(int64_t delta, bool extend) {
    MoveTo(cursor_.Caret() + delta, 0, extend);
}

void HexEditorCore::MoveDigits(int delta, bool extend) {
    if (extend || cursor_.Field() != HexField::Hex) {
        MoveBytes(delta, extend);
        return;
    }
    const int64_t digit =
        std::clamp<int64_t>(cursor_.Caret() * 2 + cursor_.Nibble() + delta, 0, MaxCaret() * 2);
    MoveTo(digit / 2, static_cast<int>(digit % 2), false);
}

void HexEditorCore::MoveTo(int64_t position, int digit, bool extend) {
    halfTyped_ = -1;
    position = std::clamp<int64_t>(position, 0, MaxCaret());
    cursor_.Place(position, position == MaxCaret() ? 0 : digit, extend);
}

void HexEditorCore::MoveToLineStart(bool extend) {
    const int64_t caret = cursor_.Caret();
    MoveTo(caret - caret % options_.BytesPerLine, 0, extend);
}

void HexEditorCore::MoveToLineEnd(bool extend) {
    const int64_t caret = cursor_.Caret();
    MoveTo(caret - caret % options_.BytesPerLine + options_.BytesPerLine - 1, 0, extend);
}

void HexEditorCore::SwitchField() {
    SetField(cursor_.Field() == HexField::Hex ? HexField::Char : HexField::Hex);
}

void HexEditorCore::SetField(HexField field) {
    halfTyped_ = -1;
    cursor_.SetField(field);
}

void HexEditorCore::AfterEdit(int64_t caret) {
    halfTyped_ = -1;
    cursor_.Place(std::clamp<int64_t>(caret, 0, MaxCaret()), 0, false);
}
