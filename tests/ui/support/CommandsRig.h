#pragma once

// What the command tests share: a main window on the emulated box with the
// saver commands attached, the choice windows answered by script, and a log
// of the views' refreshes.
#include "card/CardVolume.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/SaverCommands.h"
#include "ui/commands/SaverDrags.h"
#include "ui/commands/TransferCommands.h"
#include "ui/dialogs/ChoiceDialog.h"
#include "ui/dialogs/WaitWindow.h"
#include "ui/main/CardMenus.h"
#include "ui/support/MainWindowRig.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using porvane_test::ReadFileText;

inline QString Q(const std::string& path) {
    return QString::fromStdString(path);
}

// The names of the savers a view lists, trailing blanks dropped.
inline QStringList Listed(MainWindow& w, CardPlace view) {
    QStringList names;
    CardVolume& v = Presenter(w).Session().Volume(view);
    for (int k = 0;
         k < v.ListedCount() && k < Presenter(w).ViewOf(view).List()->model()->rowCount(); ++k)
        names << QString::fromStdString(v.Entries()[v.ListMap()[k]].TrimmedName());
    return names;
}

class CommandsRig : public MainWindowRig {
  public:
    // The log stops listening before the window goes.
    ~CommandsRig() {
        for (const QMetaObject::Connection& c : logging_)
            QObject::disconnect(c);
        window.reset();
    }
    // Slot cards written first (empty vectors: formatted, no savers; null:
    // no card written), both slots read.
    MainWindow& Open(const std::vector<TestSaver>* slot1, const std::vector<TestSaver>* slot2,
                     int dragMode = 0) {
        if (slot1 != nullptr)
            WriteTestCard(Path("slot1.dcm"), 200, *slot1);
        if (slot2 != nullptr)
            WriteTestCard(Path("slot2.dcm"), 200, *slot2);
        std::ofstream(Path("RUD2.cfg"), std::ios::binary | std::ios::trunc)
            << "888\r\n0\r\n0\r\n0\r\n9216\r\n"
            << dragMode << "\r\n0\r\n";
        MainWindow& w = OpenTwoSlot();
        CardPresenter& p = Presenter(w);
        commands = &SaverCommandsOf(w);
        for (CardPlace view : kCardPlaces)
            logging_ << QObject::connect(
                p.ViewOf(view).List()->model(), &QAbstractItemModel::modelReset, [this, view, &p] {
                    refreshes.push_back(PlaceIndex(view));
                    listed.push_back(p.Session().Volume(view).ListedCount());
                });
        if (slot1 != nullptr)
            p.RefreshCommand(CardPlace::Slot1);
        if (slot2 != nullptr)
            p.RefreshCommand(CardPlace::Slot2);
        refreshes.clear();
        listed.clear();
        return w;
    }
    // A card image with these savers opened in the file view.
    void OpenImage(const std::string& name, const std::vector<TestSaver>& savers) {
        WriteTestCard(Path(name), 200, savers);
        commands->Dcm().OpenFile(Q(Path(name)));
        refreshes.clear();
        listed.clear();
    }
    // The choice window answers with the button of that caption ("" closes
    // it), each time it is shown; the texts it showed are kept.
    void Answer(ChoiceDialog& dialog, const QString& caption) {
        dialog.RunHook = [this, caption](ChoiceDialog& d) {
            shown << d.windowTitle() + "|" + d.FirstLine() + "|" + d.SecondLine();
            if (!caption.isEmpty())
                d.Button(caption)->click();
        };
    }
    // A drag entering view target, as the window system delivers it; true
    // when the view takes it.
    bool DragOver(CardPlace target, QMimeData* data) {
        std::unique_ptr<QMimeData> owned(data);
        return Enter(target, data);
    }
    // A drop on view target after the drag entered it; true when the view
    // took it as a copy. The queued work runs before returning.
    bool DropOn(CardPlace target, QMimeData* data) {
        std::unique_ptr<QMimeData> owned(data);
        if (!Enter(target, data))
            return false;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(Presenter(*window).ViewOf(target).List()->viewport(), &drop);
        QCoreApplication::processEvents();
        return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    }

    SaverCommands* commands = nullptr;
    // Each refresh of a view: its index, and how many savers it then listed.
    std::vector<int> refreshes;
    std::vector<int> listed;
    QStringList shown;

  private:
    QList<QMetaObject::Connection> logging_;

    bool Enter(CardPlace target, QMimeData* data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(Presenter(*window).ViewOf(target).List()->viewport(), &enter);
        return enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    }
};
