// The main window: start-up, device detection and layouts, controls and
// their names, the menu buttons, the settings, and the link-busy guard.
#include "link/LinkPort.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/LinkBox.h"
#include "ui/dialogs/CopyToDialog.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/CardMenus.h"
#include "ui/main/CardPresenter.h"
#include "ui/support/MainWindowRig.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/FittedLabel.h"
#include "ui/widgets/FocusRing.h"
#include "ui/widgets/MenuButton.h"
#include "ui/widgets/PagePanel.h"
#include "ui/widgets/WaitTicker.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

namespace {

QString Text(const std::string& path) {
    return QString::fromStdString(porvane_test::ReadFileText(path));
}

QStringList MenuCaptions(QMenu* menu) {
    QStringList captions;
    for (QAction* a : menu->actions())
        captions << (a->isSeparator() ? "-" : a->text());
    return captions;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void NoBoxKeepsWaitingAndSlotsDisabled() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenNoBox();
        CardPresenter& p = Presenter(w);
        // The caption is the program's name alone, the title label says more.
        QCOMPARE(w.windowTitle(), QString("Porvane"));
        QCOMPARE(w.findChild<QLabel*>("TitleLabel")->text(), QString("Porvane V2.3b"));
        QVERIFY(!w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QCOMPARE(w.size(), QSize(665, 561));
        QCOMPARE(StatusOf(w), QString("Connection waiting"));
        QVERIFY(p.DetectTimer()->isActive());
        QVERIFY(!p.AutoRefreshTimer()->isActive()); // line 7 of RUD2.cfg is 0
        p.DetectDeviceTick();
        QVERIFY(!p.DetectTimer()->isActive());
        QVERIFY(StatusOf(w) == "Connection waiting" || StatusOf(w) == LinkPort::kNoDeviceText);
        p.StateTick();
        QVERIFY(!p.Menus().Item(CardPlace::Slot1, CommandId::UploadDcm)->isEnabled());
        QVERIFY(!p.Menus().Item(CardPlace::Slot2, CommandId::Format)->isEnabled());
        QVERIFY(!p.Menus().Item(CardPlace::Image, CommandId::CloseDcm)->isEnabled());
        QVERIFY(!p.ViewOf(CardPlace::Slot1).DcmButton()->isEnabled());
        // The program's own items need a card too.
        for (CardPlace view : kCardPlaces)
            for (QAction* a :
                 {p.Menus().CheckCard(view), p.Menus().Undo(view), p.Menus().History(view)})
                QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(p.Menus().Item(CardPlace::Slot1, CommandId::Refresh)->isEnabled());
        QVERIFY(p.Menus().Item(CardPlace::Image, CommandId::OpenDcm)->isEnabled());
        QVERIFY(rig.prompter.Calls().isEmpty());
    }

    // Every control can be found by a screen reader, and by the commands.
    void ControlsHaveNamesCaptionsAndShortcuts() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        for (QWidget* c : w.findChildren<QWidget*>()) {
            const bool control =
                qobject_cast<QAbstractButton*>(c) || qobject_cast<QAbstractItemView*>(c) ||
                qobject_cast<QAbstractSpinBox*>(c) || qobject_cast<QProgressBar*>(c);
            // The main window's own; the commands' windows are children too.
            if (!control || c->parentWidget()->inherits("QAbstractSpinBox") || c->window() != &w)
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
            QVERIFY2(a && !a->text(QAccessible::Name).isEmpty(), qPrintable(c->objectName()));
        }
        for (const char* picture : {"LogoImage", "SaverPicture"})
            QVERIFY(!w.findChild<QLabel*>(picture)->accessibleName().isEmpty());
        QCOMPARE(MenuCaptions(p.Menus().Menu(CardPlace::Slot1)),
                 QStringList({"Refresh", "-", "Upload DCM file", "-", "Import DCI file",
                              "Import BMP picture", "-", "Save as DCM file", "-",
                              "Delete All ( Format )", "Delete Selected", "-", "Check card...",
                              "Undo", "History...", "Export all savers...", "Import folder..."}));
        QCOMPARE(MenuCaptions(p.Menus().Menu(CardPlace::Image)),
                 QStringList({"New DCM File", "Open DCM File", "Close DCM File", "-",
                              "Import DCI File", "Import Caption BMP", "-", "Save as DCM file", "-",
                              "Delete All (Format)", "Delete Selected", "-", "Check card...",
                              "Undo", "History...", "Export all savers...", "Import folder..."}));
        QCOMPARE(MenuCaptions(p.Menus().Item(CardPlace::Slot2, CommandId::Format)->menu()),
                 QStringList({"241 Blocks", "240 Blocks", "200 Blocks"}));
        for (CardPlace view : kCardPlaces)
            QCOMPARE(p.Menus().DeleteSelected(view)->shortcut(), QKeySequence(Qt::Key_Delete));
        for (const char* name : {"Slot1Refresh", "Slot2ImportBmp", "FileCloseDcm", "FileFormat200",
                                 "Slot1DeleteSelected"})
            QVERIFY2(w.findChild<QAction*>(name) != nullptr, name);
        QCOMPARE(w.findChild<QPushButton*>("Slot1Button")->toolTip(),
                 QString("Reflesh the card-data on SLOT 1"));
        QCOMPARE(w.findChild<QPushButton*>("AsmBtn")->text(), QString("DisAsm."));
        QCOMPARE(w.findChild<QWidget*>("Card2ListView")->toolTip(), QString("Data on SLOT2-Card"));
        QCOMPARE(w.findChild<QLabel*>("AddressLabel")->text(), QString(MainWindow::kAddressText));

        // Del reaches "Delete Selected" of the focused view; Enter opens its saver.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CardListWidget* list = p.ViewOf(CardPlace::Slot2).List();
        list->setFocus();
        QSignalSpy deletes(p.Menus().Item(CardPlace::Slot2, CommandId::DeleteSelected),
                           &QAction::triggered);
        // The slot 2 view's own activation: the view is the one Enter was in.
        QSignalSpy activated(list, &CardListWidget::Activated);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(deletes.count(), 1);
        QCOMPARE(activated.count(), 1);
        // Shift+F10 opens the view's menu, as the Menu key does.
        QMenu* menu = p.Menus().Menu(CardPlace::Slot2);
        QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(w.geometry().contains(menu->pos()));
        menu->hide();
    }

    void MenuButtonsOpenAtTheButtonFromTheKeyboard() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenTwoSlot();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* button = w.findChild<MenuButton*>("Slot1Button");
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
        QTRY_VERIFY(button->Menu()->isVisible());
        QCOMPARE(button->Menu()->pos(), button->mapToGlobal(QPoint(0, button->height())));
        button->Menu()->hide();
        QCursor::setPos(w.mapToGlobal(QPoint(30, 200)));
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(button->Menu()->isVisible());
        QCOMPARE(button->Menu()->pos(), w.mapToGlobal(QPoint(30, 200)));
        button->Menu()->hide();
    }

    void DetectsTheTwoSlotUnit() {
        MainWindowRig rig;
        rig.settings.activate = true;
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        p.DetectDeviceTick();
        QCOMPARE(StatusOf(w), QString("Ambrel"));
        QVERIFY(!p.ViewOf(CardPlace::Slot2).List()->isHidden());
        QVERIFY(w.findChild<QPushButton*>("Slot2Button")->isEnabled());
        const QList<int> widths = w.findChild<QSplitter*>("SlotSplitter")->sizes();
        QVERIFY2(widths[0] >= 200 && widths[1] > 209, qPrintable(QString::number(widths[0])));
        // The "Activate" box turns auto refresh on.
        QCOMPARE(int(p.Session().Config().AutoRefresh), 1);
    }

    void DetectsThePagedCardAndItsSize() {
        QCOMPARE(CardPresenter::PageSizeSuffix(0), QString("2M"));
        QCOMPARE(CardPresenter::PageSizeSuffix(1), QString("2M"));
        QCOMPARE(CardPresenter::PageSizeSuffix(2), QString(""));
        QCOMPARE(CardPresenter::PageSizeSuffix(6), QString("4M"));
        QCOMPARE(CardPresenter::PageSizeSuffix(7), QString("8M"));
        QCOMPARE(CardPresenter::PageSizeSuffix(14), QString("8M"));
        QCOMPARE(CardPresenter::PageSizeSuffix(15), QString("16M"));
        {
            MainWindowRig rig;
            MainWindow& w = rig.OpenPaged(16, 3);
            CardPresenter& p = Presenter(w);
            p.DetectDeviceTick();
            QCOMPARE(StatusOf(w), QString("TORIN 16M"));
            QCOMPARE(int(p.Session().HighestPage()), 15);
            QCOMPARE(int(rig.paged->CurrentPage()), 3); // put back after asking
            QCOMPARE(PagesOf(w).PageLabel()->text(), QString("Current Page : 3"));
            QVERIFY(!PagesOf(w).Set16MButton()->isHidden());
            QVERIFY(p.ViewOf(CardPlace::Slot2).List()->isHidden());
            QVERIFY(!w.findChild<QPushButton*>("Slot2Button")->isEnabled());
            QVERIFY(w.findChild<QSplitter*>("SlotSplitter")->sizes()[0] > 416);
        }
        {
            MainWindowRig rig;
            MainWindow& w = rig.OpenPaged(3);
            CardPresenter& p = Presenter(w);
            p.DetectDeviceTick();
            QCOMPARE(StatusOf(w), QString("TORIN "));
            QVERIFY(PagesOf(w).Set16MButton()->isHidden());
        }
        {
            // A page of 64 or more read at detection counts as page 0.
            MainWindowRig rig;
            MainWindow& w = rig.OpenPaged(70, 66);
            CardPresenter& p = Presenter(w);
            p.DetectDeviceTick();
            QCOMPARE(int(rig.paged->CurrentPage()), 0);
            QCOMPARE(PagesOf(w).PageLabel()->text(), QString("Current Page : 0"));
        }
    }

    void SettingsOkWritesTheFileAndReachesTheLink() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        const QString before = Text(rig.Path("RUD2.cfg"));
        rig.settings.accept = false;
        rig.settings.edit = [](Settings& s) { s.BasePort = 1; };
        w.findChild<QPushButton*>("SetupButton")->click();
        QCOMPARE(Text(rig.Path("RUD2.cfg")), before);
        QCOMPARE(int(p.Session().Link().BasePort), 888);

        rig.settings.accept = true;
        rig.settings.edit = [](Settings& s) {
            s.BasePort = 632;
            s.ShortDelay = 1;
            s.LongDelay = 2;
            s.LongestDelay = 3;
            s.AutoRefresh = 1;
        };
        w.findChild<QPushButton*>("SetupButton")->click();
        QVERIFY(Text(rig.Path("RUD2.cfg")).startsWith("632\r\n1\r\n2\r\n3\r\n9216\r\n0\r\n1\r\n"));
        QCOMPARE(int(p.Session().Link().BasePort), 632);
        QCOMPARE(p.Session().Link().LongestDelay, 3);
        QVERIFY(p.AutoRefreshTimer()->isActive());
        // The emulated box follows the port; the link still finds it.
        QVERIFY(p.Session().Link().DetectDevice());

        // A file that can't be written is named in a warning.
        std::filesystem::remove(rig.Path("RUD2.cfg"));
        std::filesystem::create_directory(rig.Path("RUD2.cfg"));
        w.findChild<QPushButton*>("SetupButton")->click();
        QCOMPARE(rig.prompter.Calls().size(), 1);
        QCOMPARE(rig.prompter.Calls()[0].kind, QString("warning"));
        QVERIFY(
            rig.prompter.Calls()[0].text.contains(QString::fromStdString(rig.Path("RUD2.cfg"))));
    }

    // Pointing at "Current Page : " slides the page panel in; pointing at
    // the window's background slides it out again. Real mouse moves.
    void PagePanelFollowsThePointer() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenPaged(16, 2);
        CardPresenter& p = Presenter(w);
        p.DetectDeviceTick();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        PagePanel& pages = PagesOf(w);
        QTest::mouseMove(&w, QPoint(3, 300));
        QTRY_VERIFY(pages.IsOut());
        QTest::mouseMove(pages.PageLabel(), pages.PageLabel()->rect().center());
        QTRY_VERIFY(pages.IsIn());
        QTest::mouseMove(&w, QPoint(3, 300));
        QTRY_VERIFY(pages.IsOut());
    }

    // Screen readers meet an application window ("frame") by its caption,
    // and the focused control carries a ring that stands out on the dark
    // background, following the focus from control to control.
    void WindowRoleAndFocusRing() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&w);
        QCOMPARE(a->role(), QAccessible::Window);
        QCOMPARE(a->text(QAccessible::Name), QString("Porvane"));
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* ring = w.findChild<FocusRing*>();
        for (QWidget* control : QList<QWidget*>{p.ViewOf(CardPlace::Image).DcmButton(),
                                                p.ViewOf(CardPlace::Slot1).List()}) {
            control->setFocus(Qt::TabFocusReason);
            QCOMPARE(ring->Target(), control);
            const QRect at(control->mapTo(&w, QPoint(0, 0)), control->size());
            QVERIFY(ring->isVisible() && ring->geometry().contains(at));
            QCOMPARE(w.grab().toImage().pixelColor(at.center().x(), at.top()), ring->Colour());
        }
        QTest::keyClick(&w, Qt::Key_Tab);
        QCOMPARE(ring->Target(), QApplication::focusWidget());

        // A dialog's focused button is ringed as soon as the dialog opens, in
        // a colour that stands out on its light face.
        CopyToDialog copy(&w);
        copy.show();
        QApplication::setActiveWindow(&copy);
        QVERIFY(QTest::qWaitForWindowActive(&copy));
        QWidget* button = copy.Button("Cancel");
        button->setFocus(Qt::ActiveWindowFocusReason);
        auto* dialogRing = copy.findChild<FocusRing*>();
        QVERIFY(dialogRing != nullptr);
        QTRY_COMPARE(dialogRing->Target(), button);
        const QRect at(button->mapTo(&copy, QPoint(0, 0)), button->size());
        const QColor edge = copy.grab().toImage().pixelColor(at.center().x(), at.top());
        QCOMPARE(edge, dialogRing->Colour());
        QVERIFY(dialogRing->Colour().lightness() < 100);
    }

    // A hovered flat button keeps a dark face under its white caption; with
    // large type (144 dpi, no scaling) the column captions stay clear of
    // their buttons and the wait window shows its whole sentence.
    void FlatButtonsHoverAndLargeType() {
        {
            MainWindowRig rig;
            MainWindow& w = rig.OpenTwoSlot();
            CardPresenter& p = Presenter(w);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QToolButton* open = p.ViewOf(CardPlace::Image).DcmButton();
            QTest::mouseMove(&w, QPoint(3, 300));
            QTest::mouseMove(open, open->rect().center());
            QTRY_VERIFY(open->underMouse());
            QVERIFY(open->grab().toImage().pixelColor(4, open->height() / 2).lightnessF() < 0.3);
        }
        const QFont normal = QApplication::font();
        QFont large = normal;
        large.setPointSizeF(normal.pointSizeF() * 1.5);
        QApplication::setFont(large);
        MainWindowRig rig;
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        QApplication::setFont(normal);
        for (CardPlace view : kCardPlaces) {
            auto* header = qobject_cast<FittedLabel*>(p.ViewOf(view).Header());
            for (QToolButton* b : {p.ViewOf(view).DcmButton(), p.ViewOf(view).DciButton()}) {
                QVERIFY(b->geometry().right() < header->TextBox().left());
                QVERIFY(b->fontMetrics().horizontalAdvance(b->text()) < b->width());
            }
        }
        WaitTicker* ticker = WaitOf(w).Ticker();
        QVERIFY(ticker->y() >= 0 && ticker->HeightFor(ticker->width()) <= ticker->height());
    }

    // Ticks do nothing while link work runs; a close waits for its end.
    void LinkWorkHoldsTicksAndClose() {
        MainWindowRig rig;
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        w.show();
        p.Runner().Run({.work = [&](CardJob&) {
            const uint32_t seen = rig.box->CommandsSeen();
            p.SetTwoSlotSeen(true);
            p.AutoRefreshTick();
            p.DetectDeviceTick();
            QCOMPARE(rig.box->CommandsSeen(), seen);
            QVERIFY(p.DetectTimer()->isActive()); // tried again later
            QVERIFY(!w.close());
            QVERIFY(w.isVisible());
        }});
        QTRY_VERIFY(!w.isVisible());
    }

    // A command refuses to start inside another, holds the auto-refresh tick
    // from its question on and shows the wait window for its work; a failed
    // same-card check skips the work and takes the wait window down again.
    void LinkCommandsRunOneAtATime() {
        MainWindowRig rig;
        rig.WriteConfig(1);
        MainWindow& w = rig.OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        QTimer* tick = p.AutoRefreshTimer();
        QVERIFY(tick->isActive());
        bool inner = false;
        bool asked = false;
        CardRequest request{.holdTick = true, .wait = true};
        request.ask = [&] {
            asked = !p.Session().LinkBusy() && !WaitOf(w).isVisible() && !tick->isActive();
            return true;
        };
        request.work = [&](CardJob&) {
            QVERIFY(p.Session().LinkBusy() && WaitOf(w).isVisible() && !tick->isActive());
            QCOMPARE(p.Runner().Run({.work = [&](CardJob&) { inner = true; }}), RunOutcome::Busy);
        };
        QCOMPARE(p.Runner().Run(request), RunOutcome::Done);
        QVERIFY(asked && !inner);
        QVERIFY(!p.Session().LinkBusy() && !WaitOf(w).isVisible() && tick->isActive());

        bool waitShown = false;
        request.sameCard = [&] {
            waitShown = WaitOf(w).isVisible();
            return false;
        };
        bool ran = false;
        request.work = [&](CardJob&) { ran = true; };
        QCOMPARE(p.Runner().Run(request), RunOutcome::NotSameCard);
        QVERIFY(waitShown && !ran && !WaitOf(w).isVisible() && tick->isActive());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
