// "Undo ..." and Ctrl+Z in a view: the card back as it was, the menu naming
// the change, and a refusal after another program wrote the card.
#include "ui/commands/HistoryCommands.h"
#include "card/JournalCommands.h"
#include "ui/dialogs/HistoryDialog.h"
#include "ui/support/CommandsRig.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QtTest>

class HistoryCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void CtrlZTakesBackADeleteAndRefusesAfterAnotherWriter() {
        const std::vector<TestSaver> five = {
            {0, "A", 1, 1}, {1, "B", 2, 1}, {3, "C", 1, 0}, {4, "D", 3, 1}, {5, "E", 1, 1}};
        const std::vector<TestSaver> none = {};
        CommandsRig rig;
        MainWindow& w = rig.Open(&five, &none);
        CardPresenter& p = Presenter(w);
        const std::string card = rig.Path("slot1.dcm");
        const std::string before = ReadFileText(card);
        rig.prompter.Then("yes");
        rig.Select(CardPlace::Slot1, {1});
        p.Menus().DeleteSelected(CardPlace::Slot1)->trigger();
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"A", "C", "D", "E"}));
        rig.commands->History().UpdateUndoCaption(CardPlace::Slot1);
        QCOMPARE(p.Menus().Undo(CardPlace::Slot1)->text(), QString("Undo delete B"));

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        p.ViewOf(CardPlace::Slot1).List()->setFocus();
        QVERIFY(p.ViewOf(CardPlace::Slot1).List()->hasFocus());
        QTest::keyClick(p.ViewOf(CardPlace::Slot1).List(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"A", "B", "C", "D", "E"}));
        QVERIFY(ReadFileText(card) == before);
        // The same item now puts the change back, and says so.
        rig.commands->History().UpdateUndoCaption(CardPlace::Slot1);
        QCOMPARE(p.Menus().Undo(CardPlace::Slot1)->text(), QString("Redo delete B"));
        // The wait window took the activation; the user clicks the view again.
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        p.ViewOf(CardPlace::Slot1).List()->setFocus();

        // Another program writes the card: the redo is refused, unwritten.
        std::string changed = ReadFileText(card);
        changed[253 * 512 + 7] ^= 0x20;
        std::ofstream(card, std::ios::binary | std::ios::trunc) << changed;
        QTest::keyClick(p.ViewOf(CardPlace::Slot1).List(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY2(rig.prompter.Messages().last().startsWith(
                     "No change in the history leaves this card as it is now"),
                 qPrintable(rig.prompter.Messages().last()));
        QVERIFY(ReadFileText(card) == changed);
    }

    void OneUndoBringsBackEverySaverOfOneDeleteSelected() {
        const std::vector<TestSaver> four = {
            {0, "A", 1, 1}, {1, "B", 2, 1}, {3, "C", 1, 0}, {4, "D", 3, 1}};
        CommandsRig rig;
        MainWindow& w = rig.Open(&four, &four);
        CardPresenter& p = Presenter(w);
        const std::string before = ReadFileText(rig.Path("slot2.dcm"));
        rig.prompter.Then("yes");
        rig.Select(CardPlace::Slot2, {0, 1, 3});
        p.Menus().DeleteSelected(CardPlace::Slot2)->trigger();
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"C"}));
        rig.commands->History().UpdateUndoCaption(CardPlace::Slot2);
        QCOMPARE(p.Menus().Undo(CardPlace::Slot2)->text(), QString("Undo delete 3 savers"));
        p.Menus().Undo(CardPlace::Slot2)->trigger();
        QCOMPARE(Listed(w, CardPlace::Slot2), QStringList({"A", "B", "C", "D"}));
        QVERIFY(ReadFileText(rig.Path("slot2.dcm")) == before);
        // Slot 1 has a history of its own: nothing to undo there.
        rig.commands->History().UpdateUndoCaption(CardPlace::Slot1);
        QCOMPARE(p.Menus().Undo(CardPlace::Slot1)->text(), QString("Undo"));
    }

    // Every saver of a change shows, wrapped rather than cut, and each row's
    // tool tip holds its whole text.
    void HistoryRowsShowTheirWholeText() {
        std::vector<TestSaver> many;
        for (int i = 0; i < 9; ++i)
            many.push_back({i, "LONGNAME_" + std::to_string(i) + "XY", 1, 1});
        CommandsRig rig;
        MainWindow& w = rig.Open(&many, nullptr);
        CardPresenter& p = Presenter(w);
        rig.prompter.Then("yes");
        p.FormatCommand(CardPlace::Slot1, 200);
        std::vector<JournalRecord> records;
        QVERIFY(ReadHistory(p.Session().Volume(CardPlace::Slot1), p.Session().Journal(), records));
        HistoryDialog& dialog = rig.commands->History().History();
        dialog.Show("Slot 1", records);
        dialog.resize(560, 360);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidgetItem* row = dialog.List()->topLevelItem(0);
        const QString savers = row->text(2);
        QVERIFY2(savers.contains("LONGNAME_0XY") && savers.contains("LONGNAME_8XY"),
                 qPrintable(savers));
        for (int column = 0; column < 3; ++column)
            QVERIFY(row->toolTip(column).contains(savers));
        const QModelIndex cell = dialog.List()->model()->index(0, 2);
        const QRect shown = dialog.List()->visualRect(cell);
        const QFontMetrics metrics(dialog.List()->font());
        QVERIFY(shown.right() <= dialog.List()->viewport()->width());
        QVERIFY(dialog.List()->columnWidth(0) >= metrics.horizontalAdvance(row->text(0)));
        QVERIFY2(shown.height() * shown.width() >=
                     metrics.horizontalAdvance(savers) * metrics.height(),
                 qPrintable(QString("%1 x %2").arg(shown.width()).arg(shown.height())));
        dialog.hide();
    }

    // The history cannot be stored (its folder is a plain file): the change
    // is made, and the window says it is not in the history, once per card.
    void AChangeLeftOutOfTheHistoryIsToldOncePerCard() {
        const std::vector<TestSaver> three = {{0, "A", 1, 1}, {1, "B", 2, 1}, {2, "C", 1, 1}};
        CommandsRig rig;
        MainWindow& w = rig.Open(&three, &three);
        CardPresenter& p = Presenter(w);
        std::ofstream(rig.Path("journal"), std::ios::binary) << "x";
        for (int i = 0; i < 2; ++i) {
            rig.prompter.Clear();
            rig.prompter.Then("yes");
            rig.Select(CardPlace::Slot1, {0});
            p.Menus().DeleteSelected(CardPlace::Slot1)->trigger();
            const QStringList told = rig.prompter.Messages();
            QCOMPARE(told.size(), i == 0 ? 2 : 1);
            if (i == 0)
                QVERIFY2(told[1].startsWith("\"delete A\" is not in the history: "),
                         qPrintable(told[1]));
        }
        QCOMPARE(Listed(w, CardPlace::Slot1), QStringList({"C"}));
        // Slot 2 is another card: told again.
        rig.prompter.Clear();
        rig.prompter.Then("yes");
        rig.Select(CardPlace::Slot2, {2});
        p.Menus().DeleteSelected(CardPlace::Slot2)->trigger();
        QCOMPARE(rig.prompter.Messages().size(), 2);
        QVERIFY(rig.prompter.Messages()[1].startsWith("\"delete C\" is not in the history: "));
    }
};

QTEST_MAIN(HistoryCommandsTest)
#include "HistoryCommandsTest.moc"
