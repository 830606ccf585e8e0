#pragma once

#include "card/SaverFiles.h"

#include <QList>
#include <QMimeData>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

class CardVolume;

// The files a saver dragged out of a view becomes for a file manager: each
// drag gets a new folder inside one private folder of this run (mode 0700,
// made with mkdtemp), and every file in it is created exclusively (see
// ExportSaverFile), so no name can be a link planted by someone else. They
// stay until the program ends, since a file manager may copy them after the
// drop is over.
class SaverDragFiles {
  public:
    SaverDragFiles() = default;
    ~SaverDragFiles();
    SaverDragFiles(const SaverDragFiles&) = delete;
    SaverDragFiles& operator=(const SaverDragFiles&) = delete;

    // Writes the savers of those directory entries as files named as an
    // export names them; the files written (a pair gives two). Entries that
    // could not be written are left out, with the reason in error.
    QList<QUrl> Write(CardVolume& volume, const std::vector<int>& entries, SaverFileFormat format,
                      std::string& error);
    // The private folder, empty until the first drag out.
    const std::string& Folder() const { return root_; }

  private:
    std::string root_;
};

// What a drag of savers carries: the view's own format, filled at once, and
// "text/uri-list" for file managers, whose files are only written when a
// drop target asks for them (a drag between two views never does).
class SaverDragData : public QMimeData {
    Q_OBJECT
  public:
    using FileMaker = std::function<QList<QUrl>()>;
    explicit SaverDragData(FileMaker makeFiles) : makeFiles_(std::move(makeFiles)) {}

    QStringList formats() const override;
    bool hasFormat(const QString& type) const override;

  protected:
    QVariant retrieveData(const QString& type, QMetaType preferred) const override;

  private:
    FileMaker makeFiles_;
    mutable bool made_ = false;
    mutable QList<QUrl> urls_;
};
