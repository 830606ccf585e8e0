#include "tools/hexedit/HexEditorCore.h"
#include "tools/hexedit/SearchState.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

using porvane_test::ReadFileBytes;
using porvane_test::WriteFileBytes;

HexEditorCore EditorWith(std::string_view text) {
    HexEditorCore editor;
    editor.Document().Reset(Bytes(text), "Untitled");
    return editor;
}

} // namespace

TEST(HexEditorCore, BothDigitsOfAByteAreOneUndoStep) {
    HexEditorCore editor;
    editor.Document().Reset({0, 0}, "Untitled");
    EXPECT_TRUE(editor.TypeHexDigit(0xA));
    EXPECT_TRUE(editor.TypeHexDigit(0xB));
    EXPECT_TRUE(editor.TypeHexDigit(0xC));
    EXPECT_EQ(editor.Document().Data(), (std::vector<uint8_t>{0xAB, 0xC0}));
    EXPECT_EQ(editor.UndoText(), "Overwrite byte");
    EXPECT_TRUE(editor.Modified());
    EXPECT_TRUE(editor.Document().IsChanged(1));

    EXPECT_TRUE(editor.Undo()); // the half-typed second byte
    EXPECT_EQ(editor.Document().Data(), (std::vector<uint8_t>{0xAB, 0x00}));
    EXPECT_TRUE(editor.Undo()); // both digits of the first byte at once
    EXPECT_EQ(editor.Document().Data(), (std::vector<uint8_t>{0x00, 0x00}));
    EXPECT_FALSE(editor.Modified());
    EXPECT_FALSE(editor.CanUndo());
    EXPECT_FALSE(editor.Document().IsChanged(0));

    // Moving away between the digits starts a new step.
    editor.TypeHexDigit(1);
    editor.MoveDigits(1, false);
    editor.MoveDigits(-1, false);
    editor.TypeHexDigit(2);
    EXPECT_EQ(editor.Document().At(0), 0x12);
    editor.Undo();
    EXPECT_EQ(editor.Document().At(0), 0x10);

    // With swapped nibbles the first shown digit is the low one.
    HexOptions options = editor.Options();
    options.SwapNibbles = true;
    editor.SetOptions(options);
    editor.MoveTo(1, 0, false);
    editor.TypeHexDigit(0xF);
    editor.TypeHexDigit(0x1);
    EXPECT_EQ(editor.Document().At(1), 0x1F);
}

TEST(HexEditorCore, InsertOnlyWhereAllowed) {
    HexEditorCore editor = EditorWith("AB");
    // Overwrite by default; the Insert key switches.
    editor.SetField(HexField::Char);
    EXPECT_TRUE(editor.TypeCharacter(U'x'));
    EXPECT_EQ(editor.Document().Data(), Bytes("xB"));
    EXPECT_TRUE(editor.ToggleInsertMode());
    EXPECT_TRUE(editor.InsertMode());
    EXPECT_TRUE(editor.TypeCharacter(U'y'));
    EXPECT_EQ(editor.Document().Data(), Bytes("xyB"));
    EXPECT_EQ(editor.UndoText(), "Insert byte");

    // A fixed size turns insert mode off and refuses every size change.
    HexOptions options = editor.Options();
    options.NoSizeChange = true;
    editor.SetOptions(options);
    EXPECT_FALSE(editor.InsertMode());
    EXPECT_FALSE(editor.ToggleInsertMode());
    EXPECT_TRUE(editor.TypeCharacter(U'z'));
    EXPECT_EQ(editor.Document().Data(), Bytes("xyz"));
    EXPECT_FALSE(editor.TypeCharacter(U'w')); // the caret is after the last byte
    EXPECT_FALSE(editor.DeleteForward());
    const std::vector<uint8_t> ff = {0xFF};
    EXPECT_FALSE(editor.AppendAndSelect(ff, "Append"));
    EXPECT_EQ(editor.DataSize(), 3);

    // Without AllowInsertMode the Insert key does nothing.
    options.NoSizeChange = false;
    options.AllowInsertMode = false;
    editor.SetOptions(options);
    EXPECT_FALSE(editor.InsertMode());
    EXPECT_FALSE(editor.ToggleInsertMode());

    // Read-only refuses everything.
    editor.Document().SetReadOnly(true);
    editor.MoveTo(0, 0, false);
    EXPECT_FALSE(editor.TypeCharacter(U'q'));
    EXPECT_FALSE(editor.ReplaceSelection(ff, "Paste"));
}

TEST(HexEditorCore, PasteAppendAndFixedSize) {
    HexEditorCore editor = EditorWith("abcdef");
    const std::vector<uint8_t> two = {0x0A, 0xFF};
    // Nothing selected: inserted at the caret.
    editor.MoveTo(1, 0, false);
    EXPECT_TRUE(editor.ReplaceSelection(two, "Paste"));
    EXPECT_EQ(editor.Document().Data(),
              (std::vector<uint8_t>{'a', 0x0A, 0xFF, 'b', 'c', 'd', 'e', 'f'}));
    EXPECT_EQ(editor.CaretPosition(), 3);
    editor.Undo();

    // A selection is replaced.
    editor.SetSelection(3, 1);
    EXPECT_EQ(editor.SelCount(), 3);
    EXPECT_EQ(editor.SelectedBytes(), Bytes("bcd"));
    EXPECT_TRUE(editor.ReplaceSelection(two, "Paste"));
    EXPECT_EQ(editor.Document().Data(), (std::vector<uint8_t>{'a', 0x0A, 0xFF, 'e', 'f'}));
    editor.Undo();
    EXPECT_EQ(editor.Document().Data(), Bytes("abcdef"));

    // Fixed size: the shorter of buffer and selection, and overwriting
    // without a selection, cut at the end of the data.
    HexOptions options = editor.Options();
    options.NoSizeChange = true;
    editor.SetOptions(options);
    editor.SetSelection(1, 3);
    EXPECT_TRUE(editor.ReplaceSelection(two, "Paste"));
    EXPECT_EQ(editor.Document().Data(), (std::vector<uint8_t>{'a', 0x0A, 0xFF, 'd', 'e', 'f'}));
    editor.MoveTo(5, 0, false);
    EXPECT_TRUE(editor.ReplaceSelection(Bytes("XYZ"), "Paste Text"));
    EXPECT_EQ(editor.Document().Data(), (std::vector<uint8_t>{'a', 0x0A, 0xFF, 'd', 'e', 'X'}));
    editor.SetSelection(0, 0);
    EXPECT_FALSE(editor.DeleteSelection());

    // Ctrl+A's append selects what it added.
    options.NoSizeChange = false;
    editor.SetOptions(options);
    const std::vector<uint8_t> ff = {0xFF};
    EXPECT_TRUE(editor.AppendAndSelect(ff, "Append"));
    EXPECT_EQ(editor.DataSize(), 7);
    EXPECT_EQ(editor.Document().At(6), 0xFF);
    EXPECT_EQ(editor.SelCount(), 1);
    EXPECT_EQ(editor.SelStart(), 6);
    EXPECT_EQ(editor.SelEnd(), 6);

    // Data replaced behind the editor's back: the caret comes back inside.
    editor.MoveTo(7, 0, false);
    editor.Document().Reset({1}, "Untitled");
    EXPECT_TRUE(editor.TypeHexDigit(7));
    EXPECT_EQ(editor.Document().Data(), (std::vector<uint8_t>{0x01, 0x70}));
}

TEST(HexEditorCore, SeekAndSearch) {
    HexEditorCore editor = EditorWith("..ABC..abc.. abc");
    EXPECT_TRUE(editor.Seek(16 - 1, HexEditorCore::SeekOrigin::Absolute, true));
    EXPECT_FALSE(editor.Seek(16, HexEditorCore::SeekOrigin::Absolute, true));
    EXPECT_FALSE(editor.Seek(-1, HexEditorCore::SeekOrigin::Absolute, true));
    EXPECT_TRUE(editor.Seek(100, HexEditorCore::SeekOrigin::Absolute, false));
    EXPECT_EQ(editor.CaretPosition(), 15);
    editor.Seek(0, HexEditorCore::SeekOrigin::Absolute, true);

    SearchState search;
    ASSERT_EQ(search.Take("Tabc", editor), SearchState::Taken::Ready);
    ASSERT_TRUE(search.SearchFrom(editor, editor.CaretPosition()));
    EXPECT_EQ(search.LastMatch(), 2);
    EXPECT_EQ(editor.SelStart(), 4); // the match's last byte
    EXPECT_EQ(editor.SelEnd(), 2);   // its first
    // Find Next goes on after the match while it is still selected.
    ASSERT_TRUE(search.SearchFrom(editor, search.NextStart(editor)));
    EXPECT_EQ(search.LastMatch(), 7);
    ASSERT_TRUE(search.SearchFrom(editor, search.NextStart(editor)));
    EXPECT_EQ(search.LastMatch(), 13);
    EXPECT_FALSE(search.SearchFrom(editor, search.NextStart(editor)));

    search.Reset();
    ASSERT_EQ(search.Take("t abc", editor), SearchState::Taken::Ready);
    ASSERT_TRUE(search.SearchFrom(editor, 0));
    EXPECT_EQ(search.LastMatch(), 12);
    search.Reset();
    ASSERT_EQ(search.Take("41 42", editor), SearchState::Taken::Ready);
    EXPECT_EQ(search.Bytes(), Bytes("AB"));
    EXPECT_EQ(search.Take("zz", editor), SearchState::Taken::Nothing);
    search.Reset();
    EXPECT_EQ(search.NextStart(editor), editor.CaretPosition());
    EXPECT_EQ(search.Take("t\xE2\x82\xAC", editor),
              SearchState::Taken::Ready); // € is in Windows-1252
    HexOptions options = editor.Options();
    options.Translation = Translation::Ascii7;
    editor.SetOptions(options);
    EXPECT_EQ(search.Take("t\xE2\x82\xAC", editor), SearchState::Taken::NotInCharacterSet);
}

TEST(HexEditorCore, SaveReplacesTheFileOnlyWhenWhole) {
    porvane_test::TempDir dir;
    const std::string work = dir.File("~ico._");
    WriteFileBytes(work, {1, 2, 3});
    ::chmod(work.c_str(), 0640);
    HexEditorCore editor;
    ASSERT_TRUE(editor.LoadFile(work));
    EXPECT_EQ(editor.Document().FileName(), work);
    editor.TypeHexDigit(0xF);
    editor.TypeHexDigit(0xF);
    EXPECT_TRUE(editor.Modified());
    // The editor's copy: the file is untouched until saved.
    EXPECT_EQ(ReadFileBytes(work), (std::vector<uint8_t>{1, 2, 3}));
    ASSERT_TRUE(editor.SaveFile(work));
    EXPECT_FALSE(editor.Modified());
    EXPECT_FALSE(editor.Document().IsChanged(0));
    EXPECT_EQ(ReadFileBytes(work), (std::vector<uint8_t>{0xFF, 2, 3}));
    struct stat info {};
    ::stat(work.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // Undoing past the save counts as a change again.
    editor.Undo();
    EXPECT_TRUE(editor.Modified());

    // A folder can't be replaced: the save fails and nothing changes.
    EXPECT_FALSE(editor.SaveFile(dir.Path().string()));
    EXPECT_EQ(editor.Document().FileName(), work);
    EXPECT_FALSE(editor.SaveFile(dir.File("missing/dir/file")));
    EXPECT_FALSE(editor.LoadFile(dir.File("missing")));
    EXPECT_EQ(editor.DataSize(), 3);

    // Hex text replaces everything as one step.
    ASSERT_TRUE(editor.SetHexText("de ad be ef"));
    EXPECT_EQ(editor.Document().Data(), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(editor.HexText(), "DEADBEEF");
    EXPECT_EQ(editor.UndoText(), "Replace all");
}
