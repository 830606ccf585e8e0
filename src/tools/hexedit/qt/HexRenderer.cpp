#include "tools/hexedit/qt/HexRenderer.h"

#include "tools/hexedit/HexText.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <cmath>

HexColors HexColors::Designed(const QPalette& palette) {
    HexColors c;
    c.Background = palette.color(QPalette::Base);
    c.ChangedBackground = c.Background;
    c.Selection = palette.color(QPalette::Highlight);
    c.SelectionText = palette.color(QPalette::HighlightedText);
    if (c.Background.lightnessF() >= 0.5) {
        c.ChangedText = QColor(0xFF, 0x00, 0x00);
        c.PositionBackground = QColor(0x80, 0x00, 0x00);
        c.PositionText = QColor(0xFF, 0x00, 0x00);
        c.CursorFrame = QColor(0x00, 0x00, 0x00);
        c.Offset = QColor(0x00, 0x00, 0x00);
        c.OddColumn = QColor(0x00, 0x00, 0xFF);
        c.EvenColumn = QColor(0x00, 0x00, 0x80);
        c.Text = QColor(0x00, 0x00, 0x00);
        c.Grid = QColor(0xC0, 0xC0, 0xC0);
        return c;
    }
    // A dark theme: the same hues, light enough to read on its background.
    c.ChangedText = QColor(0xFF, 0x70, 0x70);
    c.PositionBackground = QColor(0x80, 0x00, 0x00);
    c.PositionText = QColor(0xFF, 0xB0, 0xB0);
    c.CursorFrame = QColor(0xFF, 0xFF, 0xFF);
    c.Offset = palette.color(QPalette::Text);
    c.OddColumn = QColor(0x90, 0xB8, 0xFF);
    c.EvenColumn = QColor(0xC8, 0xD8, 0xFF);
    c.Text = palette.color(QPalette::Text);
    c.Grid = QColor(0x50, 0x50, 0x50);
    return c;
}

void HexRenderer::SetFont(const QFont& font) {
    font_ = font;
    const QFontMetricsF metrics(font_);
    cellWidth_ = metrics.horizontalAdvance(QLatin1Char('0'));
    lineHeight_ = static_cast<int>(std::ceil(metrics.height())) + 1;
    ascent_ = static_cast<int>(std::ceil(metrics.ascent()));
    glyphsReady_ = false;
}

void HexRenderer::PrepareGlyphs(const HexOptions& options) {
    if (glyphsReady_ && glyphsSwapped_ == options.SwapNibbles &&
        glyphsMasked_ == options.MaskWhiteSpaces && glyphsTranslation_ == options.Translation)
        return;
    const QFontMetrics metrics(font_);
    for (int b = 0; b < 256; ++b) {
        const uint8_t byte = static_cast<uint8_t>(b);
        QStaticText& hex = hexGlyphs_[static_cast<size_t>(b)];
        hex.setText(QString::fromLatin1(ToHexText(std::span(&byte, 1), options.SwapNibbles)));
        hex.setTextFormat(Qt::PlainText);
        hex.prepare(QTransform(), font_);
        char32_t shown = DisplayCharacter(options.Translation, byte, options.MaskWhiteSpaces);
        // Control pictures are missing from many fixed-pitch fonts; a middle
        // dot still tells an unmasked control character from a real '.'.
        if (shown >= 0x2400 && shown <= 0x2421 && !metrics.inFontUcs4(shown))
            shown = 0x00B7;
        QStaticText& text = charGlyphs_[static_cast<size_t>(b)];
        text.setText(QString::fromUcs4(&shown, 1));
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), font_);
    }
    glyphsReady_ = true;
    glyphsSwapped_ = options.SwapNibbles;
    glyphsMasked_ = options.MaskWhiteSpaces;
    glyphsTranslation_ = options.Translation;
}

void HexRenderer::Paint(QPainter& painter, const HexEditorCore& editor, const HexLayout& layout,
                        const Frame& frame) {
    PrepareGlyphs(editor.Options());
    painter.setFont(font_);
    for (int i = 0; i < frame.lineCount; ++i) {
        const int64_t line = frame.firstLine + i;
        if (line >= layout.LineCount())
            break;
        PaintLine(painter, editor, layout, line, frame.x, static_cast<double>(i) * lineHeight_);
    }
    if (editor.Options().GridLineWidth > 0)
        PaintGrid(painter, layout, frame);
    // With bytes selected the caret stands on the selection's caret end byte.
    const int64_t caretLine = editor.SelStart() / layout.BytesPerLine();
    if (caretLine >= frame.firstLine && caretLine < frame.firstLine + frame.lineCount)
        PaintCaret(painter, editor, layout, frame,
                   static_cast<double>(caretLine - frame.firstLine) * lineHeight_);
}

void HexRenderer::PaintLine(QPainter& painter, const HexEditorCore& editor, const HexLayout& layout,
                            int64_t line, double x, double y) {
    const HexDocument& document = editor.Document();
    const HexCursor& cursor = editor.Cursor();
    const int perLine = layout.BytesPerLine();
    const int64_t base = line * perLine;
    const bool caretLine = editor.CaretPosition() / perLine == line;
    const auto cellX = [&](int cell) { return x + cell * cellWidth_; };

    if (layout.MarkerCells() > 0) {
        if (document.AnyChanged(base, base + perLine))
            painter.fillRect(QRectF(cellX(0), y, 3, lineHeight_), colors_.ChangedText);
        if (caretLine) {
            // A small triangle pointing at the line.
            const double left = cellX(0) + 4;
            const double mid = y + lineHeight_ / 2.0;
            const QPointF points[3] = {{left, mid - 4}, {left + 6, mid}, {left, mid + 4}};
            painter.setPen(Qt::NoPen);
            painter.setBrush(colors_.PositionBackground);
            painter.drawPolygon(points, 3);
            painter.setBrush(Qt::NoBrush);
        }
    }
    if (layout.OffsetWidth() > 0) {
        const QString offset = QString::fromLatin1(layout.OffsetText(base));
        if (caretLine) {
            painter.fillRect(QRectF(cellX(layout.OffsetStart()), y,
                                    layout.OffsetWidth() * cellWidth_, lineHeight_),
                             colors_.PositionBackground);
            painter.setPen(colors_.PositionText);
        } else {
            painter.setPen(colors_.Offset);
        }
        painter.drawText(QPointF(cellX(layout.OffsetStart()), y + ascent_), offset);
    }

    const int64_t size = document.Size();
    const int64_t selLow = cursor.HasSelection() ? cursor.SelLow() : -1;
    const int64_t selHigh = cursor.HasSelection() ? cursor.SelHigh() : -1;
    for (int i = 0; i < perLine; ++i) {
        const int64_t position = base + i;
        if (position >= size)
            break;
        const bool selected = position >= selLow && position < selHigh;
        const bool changed = document.IsChanged(position);
        const uint8_t byte = document.At(position);
        const double hexX = cellX(layout.HexCell(i, 0));
        const double charX = cellX(layout.CharCell(i));
        if (selected) {
            // Through the blank to the next byte while it is selected too.
            const bool joined = i + 1 < perLine && position + 1 < selHigh;
            const double width =
                joined ? (layout.HexCell(i + 1, 0) - layout.HexCell(i, 0)) * cellWidth_
                       : 2 * cellWidth_;
            painter.fillRect(QRectF(hexX, y, width, lineHeight_), colors_.Selection);
            painter.fillRect(QRectF(charX, y, cellWidth_, lineHeight_), colors_.Selection);
        } else if (changed && colors_.ChangedBackground != colors_.Background) {
            painter.fillRect(QRectF(hexX, y, 2 * cellWidth_, lineHeight_),
                             colors_.ChangedBackground);
            painter.fillRect(QRectF(charX, y, cellWidth_, lineHeight_), colors_.ChangedBackground);
        }
        const QColor column = layout.ColumnOf(i) % 2 ? colors_.OddColumn : colors_.EvenColumn;
        painter.setPen(selected ? colors_.SelectionText : changed ? colors_.ChangedText : column);
        painter.drawStaticText(QPointF(hexX, y), hexGlyphs_[byte]);
        painter.setPen(selected  ? colors_.SelectionText
                       : changed ? colors_.ChangedText
                                 : colors_.Text);
        painter.drawStaticText(QPointF(charX, y), charGlyphs_[byte]);
    }
}

void HexRenderer::PaintCaret(QPainter& painter, const HexEditorCore& editor,
                             const HexLayout& layout, const Frame& frame, double y) {
    const HexCursor& cursor = editor.Cursor();
    const HexOptions& options = editor.Options();
    const int64_t position = editor.SelStart();
    const int index = static_cast<int>(position % layout.BytesPerLine());
    const bool inHex = cursor.Field() == HexField::Hex;
    const auto cellX = [&](int cell) { return frame.x + cell * cellWidth_; };

    // The caret's byte in the other column gets a frame.
    const QRectF mirror =
        inHex ? QRectF(cellX(layout.CharCell(index)), y, cellWidth_, lineHeight_)
              : QRectF(cellX(layout.HexCell(index, 0)), y, 2 * cellWidth_, lineHeight_);
    painter.setPen(colors_.CursorFrame);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(mirror.adjusted(0.5, 0.5, -0.5, -0.5));

    const QRectF cell =
        inHex ? QRectF(cellX(layout.HexCell(index, cursor.Nibble())), y, cellWidth_, lineHeight_)
              : QRectF(cellX(layout.CharCell(index)), y, cellWidth_, lineHeight_);
    if (!frame.focused) {
        painter.drawRect(cell.adjusted(0.5, 0.5, -0.5, -0.5));
        return;
    }
    const int style = options.AutoCaretMode ? (editor.InsertMode() ? 1 : 0) : options.CaretStyle;
    if (style == 1) {
        painter.fillRect(QRectF(cell.left(), cell.top(), 2, cell.height()), colors_.CursorFrame);
    } else if (style == 2) {
        painter.fillRect(QRectF(cell.left(), cell.bottom() - 2, cell.width(), 2),
                         colors_.CursorFrame);
    } else {
        painter.fillRect(cell, colors_.CursorFrame);
        if (position < editor.DataSize()) {
            const uint8_t byte = editor.Document().At(position);
            QString shown;
            if (inHex) {
                const std::string digits = ToHexText(std::span(&byte, 1), options.SwapNibbles);
                shown = QString(QLatin1Char(digits[static_cast<size_t>(cursor.Nibble())]));
            } else {
                shown = charGlyphs_[byte].text();
            }
            painter.setPen(colors_.Background);
            painter.drawText(QPointF(cell.left(), y + ascent_), shown);
        }
    }
}

void HexRenderer::PaintGrid(QPainter& painter, const HexLayout& layout, const Frame& frame) {
    painter.setPen(colors_.Grid);
    const double height = frame.lineCount * lineHeight_;
    const double left = frame.x + (layout.HexStart() - 0.5) * cellWidth_;
    const double right = frame.x + (layout.TotalCells() - 0.5) * cellWidth_;
    for (int i = 1; i <= frame.lineCount; ++i) {
        const double y = i * lineHeight_ - 0.5;
        painter.drawLine(QPointF(left, y), QPointF(right, y));
    }
    const int columns = layout.BytesPerLine() / layout.BytesPerColumn();
    for (int c = 0; c <= columns; ++c) {
        const int cell =
            c < columns ? layout.HexCell(c * layout.BytesPerColumn(), 0) : layout.HexEnd() + 1;
        const double x = frame.x + (cell - 0.5) * cellWidth_;
        painter.drawLine(QPointF(x, 0), QPointF(x, height));
    }
    const double charLeft = frame.x + (layout.CharStart() - 0.5) * cellWidth_;
    painter.drawLine(QPointF(charLeft, 0), QPointF(charLeft, height));
    painter.drawLine(QPointF(right, 0), QPointF(right, height));
}
