#include "app/cli/CliOutput.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string FolderOf(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

} // namespace

CliOutputFiles::~CliOutputFiles() = default;

std::string CliOutputFiles::Problem(const std::string& path) const {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status))
        return fs::is_symlink(fs::symlink_status(path, ec))
                   ? path + " is a dangling symbolic link; not written"
                   : "";
    if (fs::is_directory(status))
        return path + " is a folder, not a file.";
    if (!fs::is_regular_file(status))
        return path + " is not a regular file; not written";
    if (!force_)
        return "File " + path + " exists; not overwritten (--force replaces it)";
    return "";
}

std::string CliOutputFiles::Begin(const std::string& path, std::string& error) {
    auto file = std::make_unique<AtomicFile>(path);
    if (!file->Ready()) {
        error = "cannot write in " + FolderOf(path) + ": " + file->Error();
        return "";
    }
    pending_.push_back(std::move(file));
    return pending_.back()->Path();
}

bool CliOutputFiles::Commit(std::string& error) {
    // Every file on disk before the first one replaces anything.
    for (const auto& file : pending_) {
        if (!file->Flush()) {
            error = "cannot write " + file->Target() + ": " + file->Error();
            return false;
        }
    }
    for (const auto& file : pending_) {
        // Without --force a file that appeared meanwhile is not replaced.
        if (!file->Commit(force_)) {
            error = file->ErrorNumber() == EEXIST
                        ? "File " + file->Target() + " exists; not overwritten"
                        : "cannot write " + file->Target() + ": " + file->Error();
            return false;
        }
    }
    pending_.clear();
    return true;
}
