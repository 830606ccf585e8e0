#include "ui/commands/SaverDrags.h"

#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/TransferCommands.h"
#include "ui/main/MainWindow.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {

bool HasSuffix(const QString& path, const char* suffix) {
    return QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) == 0;
}

// A DCM image, or an emulator's raw card dump.
bool IsCardImageName(const QString& path) {
    return HasSuffix(path, "dcm") || HasSuffix(path, "bin") || HasSuffix(path, "vmu");
}

// Whether the VMI of the VMS at path (the same name) is among the dropped files.
bool HasPairedVmi(const QString& path, const QList<QUrl>& urls) {
    const QFileInfo vms(path);
    for (const QUrl& url : urls) {
        const QFileInfo other(url.toLocalFile());
        if (url.isLocalFile() && HasSuffix(other.filePath(), "vmi") &&
            other.completeBaseName().compare(vms.completeBaseName(), Qt::CaseInsensitive) == 0 &&
            other.absolutePath() == vms.absolutePath())
            return true;
    }
    return false;
}

} // namespace

SaverDrags::SaverDrags(MainWindow& window, TransferCommands& transfers, DciCommands& dci,
                       DcmCommands& dcm, QObject* parent)
    : QObject(parent), window_(window), transfers_(transfers), dci_(dci), dcm_(dcm) {
    token_ = QString("%1:%2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(reinterpret_cast<quintptr>(&window), 0, 16);
}

void SaverDrags::Install() {
    for (int i = 0; i < 3; ++i) {
        CardListWidget* list = window_.View(i).List();
        // An icon view with static items stops taking drops; these take them.
        list->setAcceptDrops(true);
        list->viewport()->setAcceptDrops(true);
        list->StartDragHook = [this, i](Qt::DropActions) { StartDrag(i); };
        list->DragMoveHook = [this, i](QDragMoveEvent* event) { DragMove(i, event); };
        list->DropHook = [this, i](QDropEvent* event) { Drop(i, event); };
    }
}

QMimeData* SaverDrags::DragData(int source) const {
    auto* data = new QMimeData;
    data->setData(kMimeType, (token_ + "\n" + QString::number(source)).toUtf8());
    return data;
}

int SaverDrags::SourceOf(const QMimeData* data) const {
    if (data == nullptr || !data->hasFormat(kMimeType))
        return -1;
    const QStringList parts = QString::fromUtf8(data->data(kMimeType)).split('\n');
    if (parts.size() != 2 || parts[0] != token_)
        return -1;
    bool ok = false;
    const int source = parts[1].toInt(&ok);
    return ok && source >= 0 && source <= 2 ? source : -1;
}

bool SaverDrags::Accepts(int target, const QMimeData* data) const {
    if (window_.LinkBusy() || data == nullptr)
        return false;
    const int source = SourceOf(data);
    if (source >= 0) {
        // The view a drag started in keeps the focus: a view never takes its
        // own savers, and a view without a card takes nothing.
        return window_.Loaded(target) && source != target &&
               !window_.View(target).List()->hasFocus();
    }
    return !DroppedFiles(target, data).isEmpty();
}

QStringList SaverDrags::DroppedFiles(int target, const QMimeData* data) const {
    QStringList images;
    QStringList savers;
    if (data == nullptr || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        // An upload replaces a whole card without a question, so it stays a
        // menu command; only the file view opens a dropped image.
        if (IsCardImageName(path) && target == MainWindow::kFile)
            images << path;
        else if (HasSuffix(path, "dci") || HasSuffix(path, "vmi"))
            savers << path;
        else if (HasSuffix(path, "vms") && !HasPairedVmi(path, data->urls()))
            savers << path; // a VMS dropped with its VMI comes in once, through the VMI
    }
    // One image at a time can be open; saver files go into the view's card,
    // or into the image dropped with them.
    images = images.mid(0, 1);
    const bool takesSavers =
        (window_.Loaded(target) && window_.View(target).Formatted()) || !images.isEmpty();
    return takesSavers ? images + savers : images;
}

void SaverDrags::StartDrag(int source) {
    CardListWidget* list = window_.View(source).List();
    const QList<int> positions = list->SelectedPositions();
    if (positions.isEmpty() || window_.LinkBusy())
        return;
    list->setFocus(Qt::MouseFocusReason);
    auto* drag = new QDrag(list);
    drag->setMimeData(DragData(source));
    if (QListWidgetItem* item = list->item(positions.first())) {
        drag->setPixmap(item->icon().pixmap(32, 32));
        drag->setHotSpot(QPoint(16, 16));
    }
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void SaverDrags::DragMove(int target, QDragMoveEvent* event) {
    if (Accepts(target, event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SaverDrags::Drop(int target, QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (!Accepts(target, data)) {
        event->ignore();
        return;
    }
    // Taken as a copy: a move would have Qt remove the dragged items.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const int source = SourceOf(data);
    // The transfer asks questions and runs long: it waits until the drag,
    // and the program it came from, are done with the drop.
    if (source >= 0) {
        QMetaObject::invokeMethod(
            this, [this, source, target] { transfers_.DropSavers(source, target); },
            Qt::QueuedConnection);
        return;
    }
    const QStringList files = DroppedFiles(target, data);
    QMetaObject::invokeMethod(
        this, [this, target, files] { DropFiles(target, files); }, Qt::QueuedConnection);
}

void SaverDrags::DropFiles(int target, const QStringList& files) {
    for (const QString& path : files) {
        if (IsCardImageName(path)) {
            dcm_.OpenFile(path);
        } else if (window_.Loaded(target)) {
            dci_.ImportFile(target, path);
        }
    }
}
