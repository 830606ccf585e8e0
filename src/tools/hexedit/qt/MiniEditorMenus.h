#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <array>

// The hex editor window's menu bar with every item under its caption and
// shortcut. The items the window doesn't offer ("&New", "&Open...",
// "Import from Hex Text...", "Jump" and "Translation" with their items) are
// made disabled and stay so.
struct MiniEditorMenus {
    QMenuBar* bar = nullptr;

    QMenu* file = nullptr;
    QAction* newFile = nullptr;
    QAction* open = nullptr;
    QAction* importHexText = nullptr;
    QAction* save = nullptr;
    QMenu* saveAs = nullptr;
    QAction* saveAsAnyFile = nullptr;
    QAction* saveAsHexText = nullptr;
    QMenu* printLayout = nullptr;
    std::array<QAction*, 3> printLayouts{}; // Hex, Decimal, Octal
    QAction* printPreview = nullptr;
    QAction* printSetup = nullptr;
    QAction* print = nullptr;
    QAction* exit = nullptr;

    QMenu* edit = nullptr;
    QAction* undo = nullptr;
    QAction* cut = nullptr;
    QAction* copy = nullptr;
    QAction* paste = nullptr;
    QAction* pasteText = nullptr;
    QAction* gotoPosition = nullptr;
    QAction* find = nullptr;
    QAction* findNext = nullptr;
    QMenu* jump = nullptr;
    QAction* jumpAmount = nullptr;
    QAction* jumpForward = nullptr;
    QAction* jumpBackward = nullptr;

    QMenu* view = nullptr;
    QMenu* lineSize = nullptr;
    std::array<QAction*, 3> lineSizes{}; // 16, 32, 64
    QMenu* columnWidth = nullptr;
    std::array<QAction*, 3> columnWidths{}; // 1, 2, 4
    QMenu* caretStyle = nullptr;
    std::array<QAction*, 3> caretStyles{}; // full block, left line, bottom line
    QAction* caretAuto = nullptr;
    QMenu* offsetDisplay = nullptr;
    std::array<QAction*, 4> offsetDisplays{}; // hex, dec, octal, none
    QAction* grid = nullptr;
    QAction* showMarkers = nullptr;
    QAction* swapNibbles = nullptr;
    QAction* maskWhitespaces = nullptr;
    QAction* fixedFileSize = nullptr;
    QMenu* translation = nullptr;
    // In menu order: Ansi, ASCII 7 Bit, DOS 8 Bit, Mac, IBM EBCDIC CP 38.
    std::array<QAction*, 5> translations{};
};

MiniEditorMenus BuildMiniEditorMenus(QWidget* owner);
