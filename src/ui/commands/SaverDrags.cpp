#include "ui/commands/SaverDrags.h"

#include "card/CardSession.h"
#include "ui/commands/DciCommands.h"
#include "ui/commands/DcmCommands.h"
#include "ui/commands/TransferCommands.h"
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
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

SaverDrags::SaverDrags(CommandContext& ui, TransferCommands& transfers, DciCommands& dci,
                       DcmCommands& dcm, QObject* parent)
    : QObject(parent), ui_(ui), transfers_(transfers), dci_(dci), dcm_(dcm) {
    token_ = QString("%1:%2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(reinterpret_cast<quintptr>(&ui.Window()), 0, 16);
}

void SaverDrags::Install() {
    for (CardPlace view : kCardPlaces) {
        CardListWidget* list = ui_.ViewOf(view).List();
        // An icon view with static items stops taking drops; these take them.
        list->setAcceptDrops(true);
        list->viewport()->setAcceptDrops(true);
        list->StartDragHook = [this, view](Qt::DropActions) { StartDrag(view); };
        list->DragMoveHook = [this, view](QDragMoveEvent* event) { DragMove(view, event); };
        list->DropHook = [this, view](QDropEvent* event) { Drop(view, event); };
    }
}

QMimeData* SaverDrags::DragData(CardPlace source) {
    std::vector<int> entries;
    const CardView& view = ui_.ViewOf(source);
    for (int position : view.List()->SelectedPositions()) {
        const int entry = view.DirectoryIndexAt(position);
        if (entry >= 0)
            entries.push_back(entry);
    }
    auto* data =
        new SaverDragData([this, source, entries] { return MakeDragFiles(source, entries); });
    data->setData(kMimeType, (token_ + "\n" + QString::number(PlaceIndex(source))).toUtf8());
    return data;
}

QList<QUrl> SaverDrags::MakeDragFiles(CardPlace source, const std::vector<int>& entries) {
    QList<QUrl> urls;
    CardRequest request{.holdTick = IsSlot(source)};
    request.work = [&](CardJob&) {
        CardSession& session = ui_.Session();
        if (!session.Loaded(source))
            return;
        const SaverFileFormat format = session.Config().SaverFilesAsPairs != 0
                                           ? SaverFileFormat::VmsPair
                                           : SaverFileFormat::Dci;
        std::string error;
        urls = dragFiles_.Write(session.Volume(source), entries, format, error);
    };
    ui_.Runner().Run(request);
    return urls;
}

bool SaverDrags::SourceOf(const QMimeData* data, CardPlace& source) const {
    if (data == nullptr || !data->hasFormat(kMimeType))
        return false;
    const QStringList parts = QString::fromUtf8(data->data(kMimeType)).split('\n');
    if (parts.size() != 2 || parts[0] != token_)
        return false;
    bool ok = false;
    const int number = parts[1].toInt(&ok);
    return ok && PlaceOfDevice(number, source);
}

bool SaverDrags::Accepts(CardPlace target, const QMimeData* data) const {
    const CardSession& session = ui_.Session();
    // Nothing is taken while link work runs: the drop would have to wait.
    if (ui_.Runner().Busy() || data == nullptr)
        return false;
    CardPlace source = CardPlace::Image;
    if (SourceOf(data, source)) {
        // The view a drag started in keeps the focus: a view never takes its
        // own savers, and a view without a card takes nothing.
        return session.Loaded(target) && source != target && !ui_.ViewOf(target).List()->hasFocus();
    }
    return !DroppedFiles(target, data).isEmpty();
}

QStringList SaverDrags::DroppedFiles(CardPlace target, const QMimeData* data) const {
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
        if (IsCardImageName(path) && target == CardPlace::Image)
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
        (ui_.Session().Loaded(target) && ui_.ViewOf(target).Formatted()) || !images.isEmpty();
    return takesSavers ? images + savers : images;
}

void SaverDrags::StartDrag(CardPlace source) {
    CardListWidget* list = ui_.ViewOf(source).List();
    const QList<int> positions = list->SelectedPositions();
    // A drag runs an event loop of its own: not in the middle of link work.
    if (positions.isEmpty() || ui_.Runner().Busy())
        return;
    list->setFocus(Qt::MouseFocusReason);
    auto* drag = new QDrag(list);
    drag->setMimeData(DragData(source));
    const QModelIndex item = list->model()->index(positions.first(), 0);
    if (item.isValid()) {
        drag->setPixmap(item.data(Qt::DecorationRole).value<QIcon>().pixmap(32, 32));
        drag->setHotSpot(QPoint(16, 16));
    }
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void SaverDrags::DragMove(CardPlace target, QDragMoveEvent* event) {
    if (Accepts(target, event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SaverDrags::Drop(CardPlace target, QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (!Accepts(target, data)) {
        event->ignore();
        return;
    }
    // Taken as a copy: a move would have Qt remove the dragged items.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The transfer asks questions and runs long: it waits until the drag,
    // and the program it came from, are done with the drop.
    CardPlace source = CardPlace::Image;
    if (SourceOf(data, source)) {
        QMetaObject::invokeMethod(
            this, [this, source, target] { transfers_.DropSavers(source, target); },
            Qt::QueuedConnection);
        return;
    }
    const QStringList files = DroppedFiles(target, data);
    QMetaObject::invokeMethod(
        this, [this, target, files] { DropFiles(target, files); }, Qt::QueuedConnection);
}

void SaverDrags::DropFiles(CardPlace target, const QStringList& files) {
    for (const QString& path : files) {
        if (IsCardImageName(path)) {
            dcm_.OpenFile(path);
        } else if (ui_.Session().Loaded(target)) {
            dci_.ImportFile(target, path);
        }
    }
}
