#pragma once

#include "tools/hexedit/HexEditorCore.h"
#include "tools/hexedit/HexLayout.h"
#include "tools/hexedit/qt/HexRenderer.h"

#include <QAbstractScrollArea>
#include <QString>
#include <span>

// The hex grid: offsets, hex digits and characters of the data, with the
// caret, the selection and editing by keyboard and mouse. The editing
// itself lives in HexEditorCore; this widget paints it, turns keys and
// clicks into its calls and reports every change with StateChanged.
//
// Keys: arrows, Home/End (line), Ctrl+Home/End (data), PgUp/PgDn, Tab
// between the hex and character columns, Insert, Delete, Backspace, and
// Ctrl+A, which appends a byte 0xFF. Shift with a movement key selects.
class HexView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit HexView(QWidget* parent = nullptr);

    const HexEditorCore& Core() const { return core_; }
    // For changes made straight on the core; call Refresh afterwards.
    HexEditorCore& Core() { return core_; }
    // Repaints, brings the caret into view and reports the change.
    void Refresh();

    const HexOptions& Options() const { return core_.Options(); }
    void SetOptions(const HexOptions& options);

    bool LoadFile(const QString& path);
    bool SaveFile(const QString& path);
    QString FileName() const;

    bool Undo();
    bool DeleteSelection(const QString& text);
    bool ReplaceSelection(std::span<const uint8_t> bytes, const QString& text);
    bool AppendAndSelect(std::span<const uint8_t> bytes, const QString& text);
    bool Seek(int64_t position, HexEditorCore::SeekOrigin origin, bool strict);
    void SetSelection(int64_t selStart, int64_t selEnd);

    // What a screen reader says about the caret: its offset and its byte.
    QString CaretDescription() const;
    const HexRenderer& Renderer() const { return renderer_; }
    // Lines that fit the viewport whole (at least one).
    int VisibleLines() const;
    int64_t FirstVisibleLine() const;

  signals:
    // After every change of caret, selection, data or mode.
    void StateChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Tab switches columns instead of leaving the grid.
    bool focusNextPrevChild(bool next) override;

  private:
    bool HandleMovement(QKeyEvent* event);
    bool HandleTyping(QKeyEvent* event);
    void MoveToPoint(const QPoint& point, bool extend, bool keepField);
    // The byte under a point of the viewport (clamped to the lines shown).
    int64_t ByteAt(const QPoint& point) const;
    void UpdateScrollBars();
    void EnsureCaretVisible();
    HexLayout Layout() const { return HexLayout(core_.Options(), core_.DataSize()); }

    HexEditorCore core_;
    HexRenderer renderer_;
    bool dragging_ = false;
    int64_t pressByte_ = 0;
};
