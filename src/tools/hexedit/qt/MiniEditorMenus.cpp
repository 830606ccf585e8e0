#include "tools/hexedit/qt/MiniEditorMenus.h"

#include <QActionGroup>

namespace {

QAction* Item(QMenu* menu, const QString& caption, const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(caption);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

QAction* Check(QMenu* menu, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setCheckable(true);
    return action;
}

template <size_t N>
std::array<QAction*, N> Choices(QMenu* menu, const std::array<const char*, N>& captions) {
    std::array<QAction*, N> actions{};
    auto* group = new QActionGroup(menu);
    for (size_t i = 0; i < N; ++i) {
        actions[i] = Check(menu, QString::fromLatin1(captions[i]));
        group->addAction(actions[i]);
    }
    return actions;
}

QMenu* SubMenu(QMenu* parent, const QString& title) {
    QMenu* menu = parent->addMenu(title);
    menu->setAccessibleName(QString(title).remove('&'));
    return menu;
}

void BuildFileMenu(MiniEditorMenus& m) {
    QMenu* file = m.file;
    m.newFile = Item(file, "&New");
    m.open = Item(file, "&Open...");
    m.importHexText = Item(file, "Import from Hex Text...");
    m.save = Item(file, "&Save");
    m.saveAs = SubMenu(file, "Save &as");
    m.saveAsAnyFile = Item(m.saveAs, "Any file...");
    m.saveAsHexText = Item(m.saveAs, "Hex text...");
    file->addSeparator();
    m.printLayout = SubMenu(file, "Print layout");
    m.printLayouts = Choices<3>(m.printLayout, {"Hex", "Decimal", "Octal"});
    m.printPreview = Item(file, "Print preview");
    m.printSetup = Item(file, "Print setup");
    m.print = Item(file, "Print", QKeySequence(Qt::CTRL | Qt::Key_P));
    file->addSeparator();
    m.exit = Item(file, "&Exit");
    for (QAction* offered : {m.newFile, m.open, m.importHexText})
        offered->setEnabled(false);
}

void BuildEditMenu(MiniEditorMenus& m) {
    QMenu* edit = m.edit;
    m.undo = Item(edit, "Undo", QKeySequence(Qt::CTRL | Qt::Key_Z));
    edit->addSeparator();
    m.cut = Item(edit, "Cut", QKeySequence(Qt::CTRL | Qt::Key_X));
    m.copy = Item(edit, "Copy", QKeySequence(Qt::CTRL | Qt::Key_C));
    m.paste = Item(edit, "Paste", QKeySequence(Qt::CTRL | Qt::Key_V));
    m.pasteText = Item(edit, "Paste Text", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    edit->addSeparator();
    m.gotoPosition = Item(edit, "Goto...", QKeySequence(Qt::CTRL | Qt::Key_G));
    m.find = Item(edit, "Find ", QKeySequence(Qt::CTRL | Qt::Key_F));
    m.findNext = Item(edit, "Find Next", QKeySequence(Qt::Key_F3));
    edit->addSeparator();
    m.jump = SubMenu(edit, "Jump");
    m.jumpAmount = Item(m.jump, "Amount : 4000");
    m.jumpForward = Item(m.jump, "Jump forward", QKeySequence(Qt::CTRL | Qt::Key_J));
    m.jumpBackward = Item(m.jump, "Jump backward", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_J));
    m.jump->setEnabled(false);
    m.jump->menuAction()->setEnabled(false);
    for (QAction* offered : {m.jumpAmount, m.jumpForward, m.jumpBackward})
        offered->setEnabled(false);
}

void BuildViewMenu(MiniEditorMenus& m) {
    QMenu* view = m.view;
    m.lineSize = SubMenu(view, "Line size");
    m.lineSizes =
        Choices<3>(m.lineSize, {"16 Bytes per line", "32 Bytes per line", "64 Bytes per line"});
    m.columnWidth = SubMenu(view, "Column width");
    m.columnWidths = Choices<3>(m.columnWidth,
                                {"1 Byte per column", "2 Bytes per column", "4 Bytes per column"});
    m.caretStyle = SubMenu(view, "Caret style");
    m.caretStyles = Choices<3>(m.caretStyle, {"Full block", "Left line", "Bottom line"});
    m.caretStyle->addSeparator();
    m.caretAuto = Check(m.caretStyle, "Auto");
    m.offsetDisplay = SubMenu(view, "Offset display");
    m.offsetDisplays = Choices<4>(m.offsetDisplay, {"Hex", "Dec", "Octal", "None"});
    view->addSeparator();
    m.grid = Check(view, "Grid");
    m.showMarkers = Check(view, "Show markers");
    m.swapNibbles = Check(view, "Swap Nibbles");
    m.maskWhitespaces = Check(view, "Mask Whitespaces");
    m.fixedFileSize = Check(view, "Fixed File size");
    view->addSeparator();
    m.translation = SubMenu(view, "Translation");
    m.translations =
        Choices<5>(m.translation, {"Ansi", "ASCII 7 Bit", "DOS 8 Bit", "Mac", "IBM EBCDIC CP 38"});
    m.translation->setEnabled(false);
    m.translation->menuAction()->setEnabled(false);
    for (QAction* offered : m.translations)
        offered->setEnabled(false);
}

} // namespace

MiniEditorMenus BuildMiniEditorMenus(QWidget* owner) {
    MiniEditorMenus m;
    m.bar = new QMenuBar(owner);
    m.bar->setAccessibleName(QStringLiteral("Menu bar"));
    m.file = m.bar->addMenu(QStringLiteral("&File"));
    m.file->setAccessibleName(QStringLiteral("File"));
    m.edit = m.bar->addMenu(QStringLiteral("&Edit"));
    m.edit->setAccessibleName(QStringLiteral("Edit"));
    m.view = m.bar->addMenu(QStringLiteral("&View"));
    m.view->setAccessibleName(QStringLiteral("View"));
    BuildFileMenu(m);
    BuildEditMenu(m);
    BuildViewMenu(m);
    return m;
}
