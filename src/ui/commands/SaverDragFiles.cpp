#include "ui/commands/SaverDragFiles.h"

#include "card/CardVolume.h"

#include <QDir>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUriList = "text/uri-list";

// A new folder only this user can enter, inside parent.
std::string MakePrivateFolder(const std::string& parent, const char* prefix) {
    std::string pattern = parent + "/" + prefix + "XXXXXX";
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

} // namespace

SaverDragFiles::~SaverDragFiles() {
    if (root_.empty())
        return;
    // remove_all takes links themselves away, never what they point to.
    std::error_code ec;
    fs::remove_all(root_, ec);
}

QList<QUrl> SaverDragFiles::Write(CardVolume& volume, const std::vector<int>& entries,
                                  SaverFileFormat format, std::string& error) {
    if (root_.empty())
        root_ = MakePrivateFolder(QDir::tempPath().toStdString(), "porvane-drag-");
    const std::string folder = root_.empty() ? root_ : MakePrivateFolder(root_, "drag-");
    if (folder.empty()) {
        error = "cannot make a private temporary folder";
        return {};
    }
    QList<QUrl> urls;
    for (const SaverFileName& name : SaverFileNames(volume, format)) {
        if (std::find(entries.begin(), entries.end(), name.entry) == entries.end())
            continue;
        std::string why;
        if (!ExportSaverFile(volume, name.entry, folder, name.stem, format, false, why)) {
            error = why;
            continue;
        }
        for (const std::string& path : SaverFilePaths(folder, name.stem, format))
            urls << QUrl::fromLocalFile(QString::fromStdString(path));
    }
    return urls;
}

QStringList SaverDragData::formats() const {
    QStringList types = QMimeData::formats();
    if (!types.contains(kUriList))
        types << kUriList;
    return types;
}

bool SaverDragData::hasFormat(const QString& type) const {
    return type == kUriList || QMimeData::hasFormat(type);
}

QVariant SaverDragData::retrieveData(const QString& type, QMetaType preferred) const {
    if (type != kUriList)
        return QMimeData::retrieveData(type, preferred);
    if (!made_) {
        made_ = true;
        urls_ = makeFiles_ ? makeFiles_() : QList<QUrl>();
    }
    QVariantList list;
    for (const QUrl& url : urls_)
        list << url;
    return list;
}
