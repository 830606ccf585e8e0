#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

class CommandContext;
class QFileSystemWatcher;

// Watches the open card image (that one file, nothing else) for changes
// made by another program, and reads it again as Refresh does once no link
// work runs and no dialog is open. The program's own writes are told apart
// by the file's state when its link work ended. A file replaced by another
// one under the same name is opened anew. A write to the image stays
// guarded by the same-card check whatever this has seen.
class ImageWatch : public QObject {
    Q_OBJECT
  public:
    // How long the file must keep still before it is read (a writer may
    // still be at it), and how soon a reading kept back is tried again.
    static constexpr int kSettleMs = 150;
    static constexpr int kRetryMs = 500;

    ImageWatch(CommandContext& ui, QObject* parent);

    // Follows the file view: watches the image it has open, or nothing.
    void Follow();
    // The same when link work ends: the file as the work left it is the
    // program's own doing, no change to read again.
    void LinkWorkEnded();
    QString Watched() const { return path_; }
    QFileSystemWatcher* Watcher() const { return watcher_; }

  private:
    struct Stamp {
        bool exists = false;
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modified = 0; // nanoseconds
        bool operator==(const Stamp& o) const {
            return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
                   modified == o.modified;
        }
    };
    static Stamp StampOf(const QString& path);
    void Changed();
    void ReadAgain();

    CommandContext& ui_;
    QFileSystemWatcher* watcher_;
    QTimer settle_;
    QString path_;
    Stamp known_;
};
