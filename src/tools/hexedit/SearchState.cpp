#include "tools/hexedit/SearchState.h"

#include "tools/hexedit/HexEditorCore.h"
#include "tools/hexedit/HexText.h"

void SearchState::Reset() {
    bytes_.clear();
    ignoreCase_ = false;
    lastMatch_ = -1;
}

SearchState::Taken SearchState::Take(const std::string& typedUtf8, const HexEditorCore& editor) {
    lastText_ = typedUtf8;
    const auto request = ParseFindText(typedUtf8);
    if (!request)
        return Taken::Nothing;
    if (request->textMode) {
        const std::string text(request->bytes.begin(), request->bytes.end());
        const auto converted = EncodeText(editor.Options().Translation, text, false);
        if (!converted)
            return Taken::NotInCharacterSet;
        bytes_ = *converted;
    } else {
        bytes_ = request->bytes;
    }
    ignoreCase_ = request->ignoreCase;
    return bytes_.empty() ? Taken::Nothing : Taken::Ready;
}

bool SearchState::SearchFrom(HexEditorCore& editor, int64_t from) {
    const int64_t found = editor.Find(bytes_, ignoreCase_, from);
    if (found < 0)
        return false;
    lastMatch_ = found;
    editor.SetSelection(found + static_cast<int64_t>(bytes_.size()) - 1, found);
    return true;
}

int64_t SearchState::NextStart(const HexEditorCore& editor) const {
    if (lastMatch_ < 0)
        return editor.CaretPosition();
    return editor.SelEnd() == lastMatch_ ? lastMatch_ + 1 : lastMatch_;
}
