#pragma once

#include "card/CardPlace.h"
#include "ui/commands/SaverDragFiles.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

class DciCommands;
class DcmCommands;
class CommandContext;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class TransferCommands;

// Drag and drop on the three views: savers dragged from one view to another,
// and files dropped from a file manager (".DCI" files are imported into the
// view, a ".DCM" dropped on the file view is opened there). A drag of ours
// carries the view it started in and a token of this window, so that a drag
// from another program is never taken for one from a view; dropped on a
// file manager it lands as the savers' files (SaverDragFiles). Every drop is
// taken as a copy, so Qt never removes items of its own accord, and its work
// runs once the drag is over.
class SaverDrags : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kMimeType = "application/x-porvane-savers";

    SaverDrags(CommandContext& ui, TransferCommands& transfers, DciCommands& dci, DcmCommands& dcm,
               QObject* parent = nullptr);

    // Sets the drag and drop hooks of the three views.
    void Install();
    // What a drag of the selected savers of view source carries.
    QMimeData* DragData(CardPlace source);
    // Where the files of drags out to a file manager are written.
    const SaverDragFiles& DragFiles() const { return dragFiles_; }
    // The view a drag of this window started in; false for any other drag.
    bool SourceOf(const QMimeData* data, CardPlace& source) const;
    // Whether view target takes the drop.
    bool Accepts(CardPlace target, const QMimeData* data) const;
    // The card files of a drop that view target would take, images first.
    QStringList DroppedFiles(CardPlace target, const QMimeData* data) const;

  private:
    void StartDrag(CardPlace source);
    void DragMove(CardPlace target, QDragMoveEvent* event);
    void Drop(CardPlace target, QDropEvent* event);
    void DropFiles(CardPlace target, const QStringList& files);
    // The files of those savers of view source, for a file manager.
    QList<QUrl> MakeDragFiles(CardPlace source, const std::vector<int>& entries);

    CommandContext& ui_;
    TransferCommands& transfers_;
    DciCommands& dci_;
    DcmCommands& dcm_;
    QString token_;
    SaverDragFiles dragFiles_;
};
