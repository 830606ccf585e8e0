#pragma once

#include "tools/hexedit/HexEditorCore.h"
#include "tools/hexedit/HexLayout.h"

#include <QColor>
#include <QFont>
#include <QStaticText>
#include <array>

class QPainter;
class QPalette;

// The grid's colours.
struct HexColors {
    QColor Background;
    QColor ChangedBackground;
    QColor ChangedText;
    QColor PositionBackground; // offset of the caret's line, marker
    QColor PositionText;
    QColor CursorFrame;
    QColor Offset;
    QColor OddColumn;
    QColor EvenColumn;
    QColor Text; // character column
    QColor Grid;
    QColor Selection;
    QColor SelectionText;

    // Window-coloured background, red changed bytes, a maroon position
    // marker with red text, black caret frame and offsets, odd columns blue
    // and even ones navy; the selection in the desktop's highlight. On a
    // dark background the same hues in light shades, the text in the
    // theme's own text colour.
    static HexColors Designed(const QPalette& palette);
};

// Paints lines of the grid: offsets, marker column, hex digits and
// characters, selection, changed bytes and the caret.
class HexRenderer {
  public:
    void SetFont(const QFont& font);
    const QFont& Font() const { return font_; }
    void SetColors(const HexColors& colors) { colors_ = colors; }
    const HexColors& Colors() const { return colors_; }
    double CellWidth() const { return cellWidth_; }
    int LineHeight() const { return lineHeight_; }

    struct Frame {
        int64_t firstLine = 0;
        int lineCount = 0;
        double x = 0; // left edge of cell 0 in the painter's coordinates
        bool focused = false;
    };
    void Paint(QPainter& painter, const HexEditorCore& editor, const HexLayout& layout,
               const Frame& frame);

  private:
    void PrepareGlyphs(const HexOptions& options);
    void PaintLine(QPainter& painter, const HexEditorCore& editor, const HexLayout& layout,
                   int64_t line, double x, double y);
    void PaintCaret(QPainter& painter, const HexEditorCore& editor, const HexLayout& layout,
                    const Frame& frame, double y);
    void PaintGrid(QPainter& painter, const HexLayout& layout, const Frame& frame);

    QFont font_;
    HexColors colors_;
    double cellWidth_ = 8;
    int lineHeight_ = 16;
    int ascent_ = 12;
    // Prepared texts of every byte's two digits and its character, for the
    // options they were made for.
    std::array<QStaticText, 256> hexGlyphs_;
    std::array<QStaticText, 256> charGlyphs_;
    bool glyphsReady_ = false;
    bool glyphsSwapped_ = false;
    bool glyphsMasked_ = true;
    Translation glyphsTranslation_ = Translation::Ansi;
};
