#include "tools/hexedit/qt/MiniEditorWindow.h"

#include "support/TestFiles.h"
#include "tools/hexedit/HexLayout.h"
#include "tools/hexedit/qt/HexRenderer.h"
#include "tools/hexedit/qt/HexView.h"
#include "ui/support/ScriptedPrompter.h"

#include <QAccessible>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPrinter>
#include <QStatusBar>
#include <QtTest>

namespace {

QString WriteFile(const porvane_test::TempDir& dir, const QByteArray& bytes,
                  const char* name = "~ico._") {
    const QString path = QString::fromStdString(dir.File(name));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    return path;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QByteArray Data(const MiniEditorWindow& window) {
    const auto& bytes = window.Grid()->Core().Document().Data();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

// Runs a menu item as the user would: its menu opens first (which sets the
// enabling), then the item is chosen if it is enabled.
bool Choose(QAction* action) {
    for (QObject* object : action->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(object))
            emit menu->aboutToShow();
    if (!action->isEnabled())
        return false;
    action->trigger();
    return true;
}

} // namespace

class MiniEditorWindowTest : public QObject {
    Q_OBJECT
  private slots:
    // Copy gives hex text; Paste reads any hex text, Paste Text the bytes.
    void ClipboardAsHexText() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray::fromHex("0AFF"))));
        QVERIFY(!Choose(window.Menus().copy)); // nothing selected yet
        window.Grid()->SetSelection(1, 0);
        QVERIFY(Choose(window.Menus().copy));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("0AFF"));

        for (const char* text : {"0a ff", "0A-FF"}) {
            window.Grid()->Seek(0, HexEditorCore::SeekOrigin::Absolute, true);
            QGuiApplication::clipboard()->setText(text);
            QVERIFY(Choose(window.Menus().paste));
            QCOMPARE(Data(window).left(4), QByteArray::fromHex("0AFF0AFF"));
            window.Grid()->Undo();
        }
        QGuiApplication::clipboard()->setText("ABC");
        QVERIFY(Choose(window.Menus().paste));
        QCOMPARE(Data(window), QByteArray::fromHex("AB0AFF"));
        QVERIFY(Choose(window.Menus().pasteText));
        QCOMPARE(Data(window), QByteArray::fromHex("AB414243") + QByteArray::fromHex("0AFF"));
        QCOMPARE(window.Menus().undo->text(), QString("Undo : Paste Text"));

        // Cut copies, then takes the bytes out.
        window.Grid()->SetSelection(0, 0);
        QVERIFY(Choose(window.Menus().cut));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("AB"));
        QCOMPARE(Data(window), QByteArray::fromHex("4142430AFF"));
    }

    // "Hex text..." follows Swap Nibbles; the clipboard never does.
    void HexTextWithSwappedNibbles() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray::fromHex("1F"))));
        Choose(window.Menus().swapNibbles);
        QVERIFY(window.Menus().swapNibbles->isChecked());
        const QString hexFile = QString::fromStdString(dir.File("out.txt"));
        prompter.Then(hexFile);
        QVERIFY(Choose(window.Menus().saveAsHexText));
        QCOMPARE(ReadFile(hexFile), QByteArray("F1"));
        QCOMPARE(prompter.Calls().last().setup.title, QString("Save as"));
        QCOMPARE(prompter.Calls().last().setup.filter, QString("All Files (*.*)|*.*"));
        QVERIFY(prompter.Calls().last().setup.confirmOverwrite);
        window.Grid()->SetSelection(0, 0);
        Choose(window.Menus().copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("1F"));

        // A folder can't be written: the error names it.
        prompter.Then(QString::fromStdString(dir.Path().string()));
        Choose(window.Menus().saveAsHexText);
        QCOMPARE(prompter.Messages().last(),
                 "Cannot save file\n" + QString::fromStdString(dir.Path().string()));
    }

    void FindInTextAndHex() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray("xABC abc\x01\x23\x41\x42", 12))));
        const auto& core = window.Grid()->Core();
        const auto find = [&](const QString& text) {
            window.Grid()->Seek(0, HexEditorCore::SeekOrigin::Absolute, true);
            prompter.Then(text);
            Choose(window.Menus().find);
            return core.SelCount() > 0 ? std::min(core.SelStart(), core.SelEnd()) : -1;
        };
        QCOMPARE(find("t abc"), 4); // the blank belongs to the text
        QCOMPARE(prompter.Calls().last().setup.title, QString("Find Data"));
        QCOMPARE(prompter.Calls().last().text,
                 QString("\"t..\" ascii, \"T..\" + ignore case, else search hex"));
        QCOMPARE(core.SelCount(), 4);
        QCOMPARE(window.PanelText(1), QString("Sel : 4 - 7"));
        QCOMPARE(window.PanelText(0), QString("Pos : 7")); // the caret on the last byte
        QCOMPARE(find("Tabc"), 1);
        // The box opens with the last text; Find Next goes on after the match.
        QCOMPARE(prompter.Calls().last().setup.fileName, QString("t abc"));
        QVERIFY(Choose(window.Menus().findNext));
        QCOMPARE(std::min(core.SelStart(), core.SelEnd()), int64_t{5});
        QCOMPARE(find("41 42"), 1);
        QCOMPARE(find("4142"), 1);
        QCOMPARE(find("123"), 8);
        QVERIFY(prompter.Messages().isEmpty());
        QCOMPARE(find("t xyz"), -1);
        QCOMPARE(prompter.Messages(), QStringList{"Data not found."});
    }

    // A mouse drag selects whole bytes: from the one pressed on up to and
    // including the one under the pointer, in either direction.
    void MouseDragSelectsTheByteUnderThePointer() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray(64, 'x'))));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        HexView* grid = window.Grid();
        QWidget* port = grid->viewport();
        const auto& core = grid->Core();
        const auto pointAt = [&](int byte) { // the middle of the byte's first digit
            const HexLayout layout(core.Options(), core.DataSize());
            const int line = grid->Renderer().LineHeight();
            return QPoint(int((layout.HexCell(byte % 16, 0) + 0.5) * grid->Renderer().CellWidth()),
                          byte / 16 * line + line / 2);
        };
        QTest::mousePress(port, Qt::LeftButton, {}, pointAt(2));
        QTest::mouseMove(port, pointAt(5));
        QTest::mouseRelease(port, Qt::LeftButton, {}, pointAt(5));
        QCOMPARE(window.PanelText(1), QString("Sel : 2 - 5"));
        QCOMPARE(window.PanelText(0), QString("Pos : 5"));
        QTest::mousePress(port, Qt::LeftButton, {}, pointAt(20));
        QTest::mouseMove(port, pointAt(17));
        QTest::mouseRelease(port, Qt::LeftButton, {}, pointAt(17));
        QCOMPARE(window.PanelText(1), QString("Sel : 17 - 20"));
        QCOMPARE(window.PanelText(0), QString("Pos : 17"));
    }

    // On a dark theme the grid's texts stay readable.
    void DarkThemeColours() {
        QPalette dark;
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        const HexColors c = HexColors::Designed(dark);
        for (const QColor& text : {c.Text, c.Offset, c.OddColumn, c.EvenColumn, c.ChangedText})
            QVERIFY2(text.lightnessF() - c.Background.lightnessF() > 0.5, qPrintable(text.name()));
    }

    void GotoForms() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray(40, 'x'))));
        for (const char* text : {"0x10", "$10", "16"}) {
            window.Grid()->Seek(0, HexEditorCore::SeekOrigin::Absolute, true);
            prompter.Then(text);
            QVERIFY(Choose(window.Menus().gotoPosition));
            QCOMPARE(window.Grid()->Core().CaretPosition(), int64_t{16});
            QCOMPARE(window.PanelText(0), QString("Pos : 16"));
        }
        QCOMPARE(prompter.Calls().last().setup.title, QString("Goto file position..."));
        QCOMPARE(prompter.Calls().last().text, QString("(prefix \"0x\" or \"$\" means hex)"));
        QCOMPARE(prompter.Calls().last().setup.fileName, QString("0"));
        for (const char* text : {"abc", "40"}) {
            prompter.Then(text);
            Choose(window.Menus().gotoPosition);
            QCOMPARE(prompter.Messages().last(), QString("Invalid position"));
        }
        QCOMPARE(window.Grid()->Core().CaretPosition(), int64_t{16});
    }

    // Typed digits edit in place; both digits of a byte are one undo step.
    void TypingAndUndo() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray::fromHex("000000"))));
        QVERIFY(!Choose(window.Menus().undo));
        QTest::keyClicks(window.Grid(), "abc");
        QCOMPARE(Data(window), QByteArray::fromHex("ABC000"));
        QCOMPARE(window.PanelText(2), QString("*"));
        QCOMPARE(window.PanelText(4), QString("OVW"));
        QVERIFY(Choose(window.Menus().undo));
        QVERIFY(Choose(window.Menus().undo));
        QCOMPARE(Data(window), QByteArray::fromHex("000000"));
        QVERIFY(!Choose(window.Menus().undo));
        QCOMPARE(window.PanelText(2), QString());

        // Tab to the character column, Insert, type; Ctrl+A appends 0xFF.
        QTest::keyClick(window.Grid(), Qt::Key_Tab);
        QTest::keyClick(window.Grid(), Qt::Key_Insert);
        QCOMPARE(window.PanelText(4), QString("INS"));
        QTest::keyClicks(window.Grid(), "Hi");
        QCOMPARE(Data(window), QByteArray::fromHex("4869000000"));
        QCOMPARE(window.Menus().undo->text(), QString("Undo : Insert byte"));
        QTest::keyClick(window.Grid(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(Data(window), QByteArray::fromHex("4869000000FF"));
        QCOMPARE(window.PanelText(1), QString("Sel : 5 - 5"));
        QCOMPARE(window.PanelText(5), QString("Size : 6"));
        // A fixed size switches insert mode off.
        Choose(window.Menus().fixedFileSize);
        QCOMPARE(window.PanelText(4), QString("OVW"));
        QTest::keyClick(window.Grid(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(Data(window).size(), 6);

        // The grid tells a screen reader where the caret is.
        QTest::keyClick(window.Grid(), Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(window.Grid(), Qt::Key_Right);
        QCOMPARE(window.Grid()->accessibleDescription(), QString("Offset 1 (0x1), value 0x69"));
    }

    void CloseQuery() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        const QString work = WriteFile(dir, QByteArray::fromHex("0102"));
        QVERIFY(window.LoadFile(work));
        window.show();
        // Not modified: closes at once.
        QVERIFY(Choose(window.Menus().exit));
        QVERIFY(!window.isVisible());
        QVERIFY(prompter.Calls().isEmpty());

        window.show();
        QTest::keyClicks(window.Grid(), "ff");
        prompter.Then("cancel");
        Choose(window.Menus().exit);
        QVERIFY(window.isVisible());
        QCOMPARE(prompter.Messages(), QStringList{"Save changes to\n" + work + " ?"});
        prompter.Then("no");
        Choose(window.Menus().exit);
        QVERIFY(!window.isVisible());
        QVERIFY(!window.SaveRequested());
        QCOMPARE(ReadFile(work), QByteArray::fromHex("0102"));

        window.show();
        prompter.Then("yes");
        Choose(window.Menus().exit);
        QVERIFY(!window.isVisible());
        QVERIFY(window.SaveRequested());
        QCOMPARE(ReadFile(work), QByteArray::fromHex("FF02"));
    }

    // "&Save" writes the work file and asks for the write-back, which a
    // later "No" at the close query doesn't take back.
    void SaveThenCloseWithNo() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        const QString work = WriteFile(dir, QByteArray::fromHex("0102"));
        QVERIFY(window.LoadFile(work));
        window.show();
        QVERIFY(!Choose(window.Menus().save)); // nothing to save yet
        QTest::keyClicks(window.Grid(), "ee");
        QVERIFY(Choose(window.Menus().save));
        QVERIFY(window.SaveRequested());
        QCOMPARE(ReadFile(work), QByteArray::fromHex("EE02"));
        // The file as it was before the save stays beside it.
        QCOMPARE(ReadFile(QString::fromStdString(dir.File("~ico.bak"))),
                 QByteArray::fromHex("0102"));
        QTest::keyClicks(window.Grid(), "dd");
        prompter.Then("no");
        Choose(window.Menus().exit);
        QVERIFY(!window.isVisible());
        QVERIFY(window.SaveRequested());
        QCOMPARE(ReadFile(work), QByteArray::fromHex("EE02"));

        // Unnamed data asks for a name; a failed save keeps the window open.
        window.Grid()->Core().Reset({1}, "Untitled");
        window.Grid()->Refresh();
        window.show();
        QTest::keyClicks(window.Grid(), "7");
        prompter.Clear();
        prompter.Then("yes").Then(QString::fromStdString(dir.Path().string()));
        Choose(window.Menus().exit);
        QVERIFY(window.isVisible());
        QCOMPARE(prompter.Messages(),
                 (QStringList{"Save changes to\nUnnamed File ?",
                              "Cannot save file\n" + QString::fromStdString(dir.Path().string())}));
        window.Grid()->Undo();
        window.close();
    }

    // The program's first argument is loaded on the first activation only,
    // and the disabled items stay disabled whatever happens.
    void FirstActivationAndDisabledItems() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        const QString argument = WriteFile(dir, QByteArray::fromHex("CAFE"), "arg.bin");
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray::fromHex("01"))));
        window.SetStartupArgument(argument);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(Data(window), QByteArray::fromHex("CAFE"));
        window.hide();
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray::fromHex("02"))));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(Data(window), QByteArray::fromHex("02"));

        const MiniEditorMenus& m = window.Menus();
        for (QMenu* menu : {m.file, m.edit, m.view, m.jump, m.translation})
            emit menu->aboutToShow();
        for (QAction* item :
             {m.newFile, m.open, m.importHexText, m.jump->menuAction(), m.jumpAmount, m.jumpForward,
              m.jumpBackward, m.translation->menuAction()})
            QVERIFY2(!item->isEnabled(), qPrintable(item->text()));
        for (QAction* item : m.translations)
            QVERIFY(!item->isEnabled());
        QCOMPARE(m.find->text(), QString("Find "));
        QCOMPARE(m.pasteText->shortcut(), QKeySequence("Ctrl+Shift+V"));
        QCOMPARE(m.findNext->shortcut(), QKeySequence(Qt::Key_F3));

        // Menus, grid and status bar are found by name.
        for (QObject* object : std::initializer_list<QObject*>{
                 window.Grid(), window.StatusBar(), m.bar, window.findChild<QLabel*>()}) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
            QVERIFY(face && !face->text(QAccessible::Name).isEmpty());
        }
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisible())
                continue;
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(face && !face->text(QAccessible::Name).isEmpty(),
                     widget->metaObject()->className());
        }
        QCOMPARE(window.windowTitle(), QString("Mini HexEditor"));
    }

    void PreviewPage() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        MiniEditorWindow window(prompter);
        QVERIFY(window.LoadFile(WriteFile(dir, QByteArray(100, 'A'))));
        const QImage page = window.PreviewImage(QSizeF(595, 842)); // A4 in points
        QCOMPARE(page.size(), QSize(1000, 1415));
        // Ink only inside the margins of a twentieth of the page.
        bool inked = false;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                if (page.pixel(x, y) == qRgb(255, 255, 255))
                    continue;
                inked = true;
                QVERIFY(x >= 50 && x < 950 && y >= 70 && y < 1345);
            }
        QVERIFY(inked);
        QCOMPARE(window.PrintTitle(), QString("Mini HexEditor : ~ico._"));

        // Printing runs every page through the same drawing, to the end.
        HexPrinter printer(window.Grid()->Core().Document());
        printer.SetMemFieldDisplay(2);
        QCOMPARE(printer.LineText(16).left(13), QString("00000020: 101"));
        QPrinter pdf;
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(QString::fromStdString(dir.File("out.pdf")));
        QVERIFY(printer.PrintAll(pdf, window.PrintTitle()));
        QVERIFY(QFileInfo(pdf.outputFileName()).size() > 0);
    }
};

QTEST_MAIN(MiniEditorWindowTest)
#include "MiniEditorWindowTest.moc"
