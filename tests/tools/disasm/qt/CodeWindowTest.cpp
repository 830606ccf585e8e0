#include "tools/disasm/qt/CodeWindow.h"

#include "support/TestFiles.h"
#include "ui/support/ScriptedPrompter.h"

#include <QAccessible>
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int kPage = 8193;

QString WriteFile(const porvane_test::TempDir& dir, const QByteArray& bytes) {
    const QString path = QString::fromStdString(dir.File("~ico._"));
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

// A full page of NOPs, then MOV #5AH,ACC and a NOP on page 2.
QByteArray TwoPages() {
    QByteArray bytes(kPage, '\0');
    bytes.append(QByteArray::fromHex("23005A00"));
    return bytes;
}

} // namespace

class CodeWindowTest : public QObject {
    Q_OBJECT
  private slots:
    // Screen readers find every control, the listing and the labels by name.
    void EveryControlHasAName() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        CodeWindow window(prompter);
        QVERIFY(window.LoadListing(WriteFile(dir, QByteArray::fromHex("00"))));
        int named = 0;
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            if (widget->focusPolicy() == Qt::NoFocus && !qobject_cast<QLabel*>(widget))
                continue;
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(face != nullptr && !face->text(QAccessible::Name).isEmpty(),
                     widget->metaObject()->className());
            ++named;
        }
        QVERIFY(named >= 9);
    }

    void PagesAndGoto() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        CodeWindow window(prompter);
        QVERIFY(window.LoadListing(WriteFile(dir, QByteArray(kPage, '\0'))));
        QCOMPARE(window.PageLabel()->text(), QString("page 1 of 2"));
        QCOMPARE(window.Listing()->count(), kPage);

        QVERIFY(window.LoadListing(WriteFile(dir, TwoPages())));
        QCOMPARE(window.GotoField()->text(), QString("00000000"));
        window.GotoField()->setText("2001");
        QTest::mouseClick(window.GotoButton(), Qt::LeftButton);
        QCOMPARE(window.PageLabel()->text(), QString("page 2 of 2"));
        QCOMPARE(window.Listing()->currentRow(), 0);
        QCOMPARE(window.AddressLabel()->text(), QString("2001"));
        QCOMPARE(window.ByteField(0)->text() + window.ByteField(1)->text() +
                     window.ByteField(2)->text(),
                 QString("23005A"));
        QCOMPARE(window.SelectedByteCount(), 3);

        // Goto 0 comes back to page 1 and its first line.
        window.GotoField()->setText("0");
        QTest::keyClick(window.GotoField(), Qt::Key_Return);
        QCOMPARE(window.PageLabel()->text(), QString("page 1 of 2"));
        QCOMPARE(window.Listing()->currentRow(), 0);

        // The end of the file and beyond are refused; nothing changes.
        window.GotoField()->setText("2005");
        window.GotoClicked();
        window.GotoField()->setText("FFFFFFFF");
        window.GotoClicked();
        QCOMPARE(prompter.Log(),
                 QStringList({"info: address overflow.", "info: address overflow."}));
        QCOMPARE(window.PageLabel()->text(), QString("page 1 of 2"));
    }

    void FieldsRefuseWhatIsNotHex() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        CodeWindow window(prompter);
        window.show();
        QVERIFY(window.LoadListing(WriteFile(dir, QByteArray::fromHex("23005A"))));
        window.GotoAddress(0);
        QLineEdit* byte = window.ByteField(2);
        QCOMPARE(byte->text(), QString("5A"));
        byte->setFocus();
        byte->end(false);
        QTest::keyClick(byte, Qt::Key_Backspace);
        QCOMPARE(byte->text(), QString("5"));
        QTest::keyClicks(byte, "G");
        QCOMPARE(byte->text(), QString("05")); // put back, as many digits as typed
        byte->selectAll();
        QTest::keyClicks(byte, "c");
        QCOMPARE(byte->text(), QString("C"));

        // An emptied Goto field is refilled in as few digits as needed.
        window.GotoField()->setText("1A");
        window.GotoField()->clear();
        QCOMPARE(window.GotoField()->text(), QString("1A"));
        QCOMPARE(window.GotoValue(), 0x1Au);
    }

    void OneBytePatch() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        CodeWindow window(prompter);
        window.show();
        const QString path = WriteFile(dir, QByteArray::fromHex("00015A23005A"));
        QVERIFY(window.LoadListing(path));
        const QRect address = window.AddressLabel()->geometry();
        const int byteX = window.ByteField(0)->x();
        const int editX = window.EditButton()->x();
        window.Listing()->setCurrentRow(0);
        QCOMPARE(window.SelectedByteCount(), 1);
        QVERIFY(!window.ByteField(1)->isVisible());
        QVERIFY(!window.ByteField(2)->isVisible());
        // A shorter address and hidden fields move nothing sideways.
        QApplication::processEvents();
        QCOMPARE(window.AddressLabel()->text().size(), 4);
        QCOMPARE(window.AddressLabel()->geometry(), address);
        QCOMPARE(window.ByteField(0)->x(), byteX);
        QCOMPARE(window.EditButton()->x(), editX);
        window.ByteField(0)->selectAll();
        QTest::keyClicks(window.ByteField(0), "a0");
        QTest::mouseClick(window.EditButton(), Qt::LeftButton);
        QCOMPARE(ReadFile(path), QByteArray::fromHex("A0015A23005A"));
        QCOMPARE(window.Listing()->item(0)->text(), QString("$0000 A0          RET     "));
        QCOMPARE(window.Listing()->currentRow(), 0);
        QCOMPARE(window.PageLabel()->text(), QString("page 1 of 1"));
        QCOMPARE(window.GotoValue(), 0u);
        QVERIFY(prompter.Log().isEmpty());
    }

    void ExitQuestions() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        CodeWindow window(prompter);
        QVERIFY(window.LoadListing(WriteFile(dir, QByteArray::fromHex("00"))));

        window.show();
        prompter.Then("no").Then("no");
        window.ExitAction()->trigger();
        QVERIFY(window.isVisible());
        QVERIFY(!window.SaveRequested());
        QCOMPARE(prompter.Messages(), QStringList({"save data ?", "Not save exit ?"}));

        prompter.Clear();
        prompter.Then("no").Then("yes");
        window.ExitAction()->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(!window.SaveRequested());

        window.show();
        prompter.Clear();
        prompter.Then("yes");
        window.ExitAction()->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(window.SaveRequested());
        QCOMPARE(prompter.Messages(), QStringList({"save data ?"}));

        window.ClearSaveRequested();
        window.show();
        window.ExitAndSaveAction()->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(window.SaveRequested());

        // The close box leaves the flag as it was.
        window.ClearSaveRequested();
        window.show();
        window.close();
        QVERIFY(!window.SaveRequested());
        QCOMPARE(prompter.Unanswered(), 0);
    }

    // After a patch the close box and Esc ask as "Exit" does; a Goto that
    // finds no line leaves nothing for "Edit" to patch.
    void NoPatchIsLostOrMisplaced() {
        porvane_test::TempDir dir;
        ScriptedPrompter prompter;
        CodeWindow window(prompter);
        const QByteArray bytes = QByteArray::fromHex("0023005A");
        const QString path = WriteFile(dir, bytes);
        QVERIFY(window.LoadListing(path));
        window.show();
        window.GotoAddress(2); // inside MOV, the last line
        QVERIFY(!window.EditButton()->isEnabled());
        for (int i = 0; i < 3; ++i)
            QVERIFY(window.ByteField(i)->text().isEmpty());
        QTest::mouseClick(window.EditButton(), Qt::LeftButton);
        QCOMPARE(ReadFile(path), bytes);
        window.GotoAddress(0);
        QVERIFY(window.EditButton()->isEnabled());
        window.ByteField(0)->setText("01");
        QTest::mouseClick(window.EditButton(), Qt::LeftButton);
        QCOMPARE(ReadFile(path), QByteArray::fromHex("0123005A"));
        prompter.Then("no").Then("no");
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QCOMPARE(prompter.Messages(), QStringList({"save data ?", "Not save exit ?"}));
        prompter.Clear();
        prompter.Then("yes");
        window.close();
        QVERIFY(!window.isVisible());
        QVERIFY(window.SaveRequested());
        QCOMPARE(prompter.Unanswered(), 0);
    }
};

QTEST_MAIN(CodeWindowTest)
#include "CodeWindowTest.moc"
