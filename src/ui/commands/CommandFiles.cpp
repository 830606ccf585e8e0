#include "ui/commands/CommandFiles.h"

#include "card/CardSession.h"

#include <QFile>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

QString OverwriteFileQuestion(const QString& path) {
    return " File " + path + " Exisit overwrite it ?";
}

QString FileInUseText(const QString& path) {
    return "File " + path + " in Used .";
}

QString FileUnreadableText(const QString& path) {
    return "File " + path + " can not be read.";
}

QString FileNotWrittenText(const QString& path, const std::string& reason) {
    QString text = "File " + path + " could not be written";
    if (!reason.empty())
        text += ": " + QString::fromStdString(reason);
    return text + ". Nothing was changed.";
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool FileExists(const QString& path) {
    std::error_code ec;
    return !path.isEmpty() && fs::exists(LocalPath(path), ec);
}

bool IsOpenImage(CardSession& session, const QString& path) {
    const CardVolume& image = session.Volume(CardPlace::Image);
    if (!image.ImageOpen() || image.ImageName().empty())
        return false;
    const std::string local = LocalPath(path);
    if (local == image.ImageName())
        return true;
    std::error_code ec;
    return fs::equivalent(local, image.ImageName(), ec) && !ec;
}

bool RegularFile(const QString& path) {
    std::error_code ec;
    return !path.isEmpty() && fs::is_regular_file(LocalPath(path), ec);
}

QString NotRegularText(const QString& path) {
    return "File " + path + " is not a regular file; nothing was read.";
}

bool Readable(const QString& path) {
    const std::string local = LocalPath(path);
    std::error_code ec;
    if (!fs::is_regular_file(local, ec))
        return false;
    std::FILE* f = std::fopen(local.c_str(), "rb");
    if (f == nullptr)
        return false;
    std::fclose(f);
    return true;
}
