#include "ui/main/ImageWatch.h"

#include "card/CardSession.h"
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"

#include <QApplication>
#include <QFileSystemWatcher>
#include <QWidget>
#include <sys/stat.h>

ImageWatch::ImageWatch(CommandContext& ui, QObject* parent)
    : QObject(parent), ui_(ui), watcher_(new QFileSystemWatcher(this)) {
    setObjectName("ImageWatch");
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, &ImageWatch::ReadAgain);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &ImageWatch::Changed);
}

ImageWatch::Stamp ImageWatch::StampOf(const QString& path) {
    Stamp stamp;
    struct stat st {};
    if (path.isEmpty() || ::stat(path.toLocal8Bit().constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<int64_t>(st.st_size);
    stamp.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

void ImageWatch::Follow() {
    CardSession& session = ui_.Session();
    const CardVolume& image = session.Volume(CardPlace::Image);
    const QString path = image.ImageOpen() && session.Loaded(CardPlace::Image)
                             ? QString::fromStdString(image.ImageName())
                             : QString();
    if (path == path_)
        return;
    if (!path_.isEmpty())
        watcher_->removePath(path_);
    path_ = path;
    settle_.stop();
    if (path_.isEmpty())
        return;
    watcher_->addPath(path_);
    known_ = StampOf(path_);
}

void ImageWatch::LinkWorkEnded() {
    Follow();
    if (path_.isEmpty())
        return;
    // A file replaced by rename drops out of the watch; it comes back here.
    if (!watcher_->files().contains(path_))
        watcher_->addPath(path_);
    known_ = StampOf(path_);
}

void ImageWatch::Changed() {
    if (!path_.isEmpty())
        settle_.start(kSettleMs);
}

void ImageWatch::ReadAgain() {
    if (path_.isEmpty())
        return;
    // Not under a dialog that works on the card as the view listed it, nor
    // in the middle of link work (the runner refuses): tried again later.
    if (QApplication::activeModalWidget() != nullptr ||
        QApplication::activePopupWidget() != nullptr) {
        settle_.start(kRetryMs);
        return;
    }
    if (!watcher_->files().contains(path_))
        watcher_->addPath(path_);
    const Stamp now = StampOf(path_);
    // Gone: the view keeps what it showed until a file is there again.
    if (!now.exists || now == known_)
        return;
    const bool replaced = now.device != known_.device || now.inode != known_.inode;
    CardRequest request{.wait = true};
    request.work = [&](CardJob& job) {
        CardSession& session = ui_.Session();
        CardVolume& image = session.Volume(CardPlace::Image);
        if (replaced) {
            // The open file is the one that was renamed away.
            const std::string name = image.ImageName();
            image.CloseImage();
            if (!image.OpenImage(name)) {
                image.CloseImage();
                session.SetLoaded(CardPlace::Image, false);
                return;
            }
        }
        job.Refresh(CardPlace::Image);
    };
    if (ui_.Runner().Run(request) == RunOutcome::Busy)
        settle_.start(kRetryMs);
}
