// The card menus as the command table makes them: what each column offers
// for the card it shows, and the header buttons beside them.
#include "ui/main/CardMenus.h"
#include "link/emu/BoxDevice.h"
#include "ui/main/CardPresenter.h"
#include "ui/support/MainWindowRig.h"
#include "ui/widgets/CardView.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {

// The captions of a menu's items that cannot be chosen, sub-menus included.
QStringList Disabled(QMenu* menu) {
    QStringList captions;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        if (!a->isEnabled())
            captions << a->text();
        if (a->menu() != nullptr)
            captions << Disabled(a->menu());
    }
    return captions;
}

QStringList Captions(QMenu* menu) {
    QStringList captions;
    for (QAction* a : menu->actions())
        captions << (a->isSeparator() ? "-" : a->text());
    return captions;
}

} // namespace

class CardMenusTest : public QObject {
    Q_OBJECT
  private slots:
    // An erased card in slot 1, a formatted one in slot 2, no image open:
    // each column offers what its card allows, its header buttons with it.
    void EachColumnOffersWhatItsCardAllows() {
        MainWindowRig rig;
        WriteTestCard(rig.Path("slot1.dcm"), 0, {});
        WriteTestCard(rig.Path("slot2.dcm"), 200, {{0, "SAVE", 3, 1}});
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        p.RefreshCommand(CardPlace::Slot1);
        p.RefreshCommand(CardPlace::Slot2);
        p.StateTick();

        struct Column {
            CardPlace view;
            QStringList disabled;
            bool dcmButton;
            bool dciButton;
        };
        const Column columns[] = {
            // Formatting is what an erased card needs; nothing goes onto it.
            {CardPlace::Slot1,
             {"Import DCI file", "Import BMP picture", "Import folder..."},
             true,
             false},
            {CardPlace::Slot2, {}, true, true},
            // Without an image: new and open, and the buttons that open and
            // import one.
            {CardPlace::Image,
             {"Close DCM File", "Import DCI File", "Import Caption BMP", "Save as DCM file",
              "Delete All (Format)", "Delete Selected", "Check card...", "Undo", "History...",
              "Export all savers...", "Import folder..."},
             true,
             true},
        };
        for (const Column& c : columns) {
            const QString name = p.Menus().Menu(c.view)->title();
            QCOMPARE(Disabled(p.Menus().Menu(c.view)), c.disabled);
            QVERIFY2(p.ViewOf(c.view).DcmButton()->isEnabled() == c.dcmButton, qPrintable(name));
            QVERIFY2(p.ViewOf(c.view).DciButton()->isEnabled() == c.dciButton, qPrintable(name));
        }
        // The two slot menus are alike.
        QCOMPARE(Captions(p.Menus().Menu(CardPlace::Slot2)),
                 Captions(p.Menus().Menu(CardPlace::Slot1)));

        // The card gone from slot 2: its menu, opened by its button, offers
        // only "Refresh" and the format sizes, before any tick.
        rig.twoSlot->SetCardPresent(1, false);
        p.RefreshCommand(CardPlace::Slot2);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QMenu* menu = p.Menus().Menu(CardPlace::Slot2);
        QTest::mouseClick(w.findChild<QPushButton*>("Slot2Button"), Qt::LeftButton);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(Disabled(menu),
                 QStringList({"Upload DCM file", "Import DCI file", "Import BMP picture",
                              "Save as DCM file", "Delete All ( Format )", "Delete Selected",
                              "Check card...", "Undo", "History...", "Export all savers...",
                              "Import folder..."}));
        menu->hide();
        QVERIFY(!p.ViewOf(CardPlace::Slot2).DcmButton()->isEnabled());
        QVERIFY(!p.ViewOf(CardPlace::Slot2).DciButton()->isEnabled());
    }
};

QTEST_MAIN(CardMenusTest)
#include "CardMenusTest.moc"
