#include "tools/hexedit/qt/HexView.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace {

QFont GridFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(13);
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

int HexDigitValue(char32_t c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

} // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(GridFont());
    renderer_.SetFont(font());
    renderer_.SetColors(HexColors::Designed(palette()));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Hex data"));
    verticalScrollBar()->setAccessibleName(QStringLiteral("Scroll lines"));
    horizontalScrollBar()->setAccessibleName(QStringLiteral("Scroll columns"));
    setAccessibleDescription(CaretDescription());
    UpdateScrollBars();
}

void HexView::Refresh() {
    core_.ClampCaret();
    UpdateScrollBars();
    EnsureCaretVisible();
    viewport()->update();
    const QString description = CaretDescription();
    if (description != accessibleDescription())
        setAccessibleDescription(description);
    emit StateChanged();
}

void HexView::SetOptions(const HexOptions& options) {
    core_.SetOptions(options);
    Refresh();
}

bool HexView::LoadFile(const QString& path) {
    const bool loaded = core_.LoadFile(path.toStdString());
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    Refresh();
    return loaded;
}

bool HexView::SaveFile(const QString& path) {
    const bool saved = core_.SaveFile(path.toStdString());
    Refresh();
    return saved;
}

QString HexView::FileName() const {
    return QString::fromStdString(core_.Document().FileName());
}

bool HexView::Undo() {
    const bool done = core_.Undo();
    Refresh();
    return done;
}

bool HexView::DeleteSelection(const QString& text) {
    const bool done = core_.DeleteSelection(text.toStdString());
    Refresh();
    return done;
}

bool HexView::ReplaceSelection(std::span<const uint8_t> bytes, const QString& text) {
    const bool done = core_.ReplaceSelection(bytes, text.toStdString());
    Refresh();
    return done;
}

bool HexView::AppendAndSelect(std::span<const uint8_t> bytes, const QString& text) {
    const bool done = core_.AppendAndSelect(bytes, text.toStdString());
    Refresh();
    return done;
}

bool HexView::Seek(int64_t position, HexEditorCore::SeekOrigin origin, bool strict) {
    const bool done = core_.Seek(position, origin, strict);
    Refresh();
    return done;
}

void HexView::SetSelection(int64_t selStart, int64_t selEnd) {
    core_.SetSelection(selStart, selEnd);
    Refresh();
}

QString HexView::CaretDescription() const {
    const int64_t caret = core_.CaretPosition();
    QString text =
        QStringLiteral("Offset %1 (0x%2), ").arg(caret).arg(QString::number(caret, 16).toUpper());
    if (caret >= core_.DataSize())
        text += QStringLiteral("end of data");
    else
        text += QStringLiteral("value 0x%1")
                    .arg(QString::number(core_.Document().At(caret), 16)
                             .toUpper()
                             .rightJustified(2, '0'));
    if (core_.SelCount() > 0)
        text += QStringLiteral(", %1 bytes selected").arg(core_.SelCount());
    return text;
}

int HexView::VisibleLines() const {
    return std::max(1, viewport()->height() / renderer_.LineHeight());
}

int64_t HexView::FirstVisibleLine() const {
    return verticalScrollBar()->value();
}

void HexView::UpdateScrollBars() {
    const HexLayout layout = Layout();
    const int64_t lines = layout.LineCount();
    const int visible = VisibleLines();
    verticalScrollBar()->setRange(
        0, static_cast<int>(std::min<int64_t>(std::max<int64_t>(lines - visible, 0), INT32_MAX)));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    const int width = static_cast<int>(std::ceil(layout.TotalCells() * renderer_.CellWidth()));
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(static_cast<int>(std::ceil(renderer_.CellWidth())));
}

void HexView::EnsureCaretVisible() {
    const HexLayout layout = Layout();
    const int64_t line = core_.CaretPosition() / layout.BytesPerLine();
    const int64_t first = FirstVisibleLine();
    const int visible = VisibleLines();
    if (line < first)
        verticalScrollBar()->setValue(static_cast<int>(line));
    else if (line >= first + visible)
        verticalScrollBar()->setValue(static_cast<int>(line - visible + 1));

    const int index = static_cast<int>(core_.CaretPosition() % layout.BytesPerLine());
    const int cell = core_.Cursor().Field() == HexField::Hex
                         ? layout.HexCell(index, core_.Cursor().Nibble())
                         : layout.CharCell(index);
    const double left = cell * renderer_.CellWidth();
    const double right = left + renderer_.CellWidth();
    const int scroll = horizontalScrollBar()->value();
    if (left < scroll)
        horizontalScrollBar()->setValue(static_cast<int>(left));
    else if (right > scroll + viewport()->width())
        horizontalScrollBar()->setValue(static_cast<int>(std::ceil(right)) - viewport()->width());
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), renderer_.Colors().Background);
    HexRenderer::Frame frame;
    frame.firstLine = FirstVisibleLine();
    frame.lineCount = viewport()->height() / renderer_.LineHeight() + 1;
    frame.x = -horizontalScrollBar()->value();
    frame.focused = hasFocus();
    renderer_.Paint(painter, core_, Layout(), frame);
}

bool HexView::HandleMovement(QKeyEvent* event) {
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int64_t perLine = core_.Options().BytesPerLine;
    switch (event->key()) {
    case Qt::Key_Left:
        core_.MoveDigits(-1, extend);
        return true;
    case Qt::Key_Right:
        core_.MoveDigits(1, extend);
        return true;
    case Qt::Key_Up:
        if (core_.CaretPosition() >= perLine)
            core_.MoveBytes(-perLine, extend);
        return true;
    case Qt::Key_Down:
        core_.MoveBytes(perLine, extend);
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const int64_t step = perLine * VisibleLines();
        const int64_t delta = event->key() == Qt::Key_PageUp ? -step : step;
        core_.MoveBytes(delta, extend);
        const int scroll = verticalScrollBar()->value();
        verticalScrollBar()->setValue(scroll + (delta < 0 ? -VisibleLines() : VisibleLines()));
        return true;
    }
    case Qt::Key_Home:
        if (control)
            core_.MoveTo(0, 0, extend);
        else
            core_.MoveToLineStart(extend);
        return true;
    case Qt::Key_End:
        if (control)
            core_.MoveTo(core_.MaxCaret(), 0, extend);
        else
            core_.MoveToLineEnd(extend);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        core_.SwitchField();
        return true;
    default:
        return false;
    }
}

bool HexView::HandleTyping(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Insert:
        core_.ToggleInsertMode();
        return true;
    case Qt::Key_Delete:
        core_.DeleteForward();
        return true;
    case Qt::Key_Backspace:
        core_.Backspace();
        return true;
    default:
        break;
    }
    const Qt::KeyboardModifiers commands = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const QString text = event->text();
    if (event->modifiers() & commands || text.isEmpty() || !text.at(0).isPrint())
        return false;
    for (const char32_t character : text.toUcs4()) {
        if (core_.Cursor().Field() == HexField::Hex) {
            const int digit = HexDigitValue(character);
            if (digit >= 0)
                core_.TypeHexDigit(digit);
        } else {
            core_.TypeCharacter(character);
        }
    }
    return true;
}

void HexView::keyPressEvent(QKeyEvent* event) {
    // Ctrl+A appends one byte 0xFF and selects it; the key goes no further.
    if (event->key() == Qt::Key_A && event->modifiers() == Qt::ControlModifier) {
        const uint8_t ff = 0xFF;
        AppendAndSelect(std::span(&ff, 1), QStringLiteral("Append byte"));
        event->accept();
        return;
    }
    if (HandleMovement(event) || HandleTyping(event)) {
        event->accept();
        Refresh();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void HexView::MoveToPoint(const QPoint& point, bool extend, bool keepField) {
    const HexLayout layout = Layout();
    const double cell = (point.x() + horizontalScrollBar()->value()) / renderer_.CellWidth();
    const int64_t lineOnScreen =
        point.y() < 0 ? -1 : static_cast<int64_t>(point.y() / renderer_.LineHeight());
    const int64_t line =
        std::clamp<int64_t>(FirstVisibleLine() + lineOnScreen, 0, layout.LineCount() - 1);
    const HexLayout::Hit hit = layout.HitTest(cell);
    if (!keepField && hit.field != core_.Cursor().Field())
        core_.SetField(hit.field);
    const int digit = core_.Cursor().Field() == HexField::Hex ? hit.digit : 0;
    core_.MoveTo(line * layout.BytesPerLine() + hit.index, extend ? 0 : digit, extend);
}

int64_t HexView::ByteAt(const QPoint& point) const {
    const HexLayout layout = Layout();
    const double cell = (point.x() + horizontalScrollBar()->value()) / renderer_.CellWidth();
    const int64_t lineOnScreen =
        point.y() < 0 ? -1 : static_cast<int64_t>(point.y() / renderer_.LineHeight());
    const int64_t line =
        std::clamp<int64_t>(FirstVisibleLine() + lineOnScreen, 0, layout.LineCount() - 1);
    return line * layout.BytesPerLine() + layout.HitTest(cell).index;
}

void HexView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    MoveToPoint(event->position().toPoint(), event->modifiers() & Qt::ShiftModifier, false);
    dragging_ = true;
    pressByte_ = core_.SelStart();
    Refresh();
}

void HexView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton) || core_.DataSize() == 0)
        return;
    // A drag selects whole bytes: the one pressed on and the one under the
    // pointer, both included. Within the pressed byte it is still a click.
    const int64_t pressed = std::min(pressByte_, core_.DataSize() - 1);
    const int64_t under = std::min(ByteAt(event->position().toPoint()), core_.DataSize() - 1);
    if (under == pressed && !core_.Cursor().HasSelection())
        return;
    core_.SetSelection(under, pressed);
    Refresh();
}

void HexView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void HexView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void HexView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void HexView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        renderer_.SetColors(HexColors::Designed(palette()));
        viewport()->update();
    } else if (event->type() == QEvent::FontChange) {
        renderer_.SetFont(font());
        UpdateScrollBars();
        viewport()->update();
    }
}

bool HexView::focusNextPrevChild(bool) {
    return false;
}
