#pragma once

#include <cstddef>
#include <string>

// A file replaced whole or not at all. The new contents go to a hidden
// temporary file in the target's own folder (so that the rename stays on one
// file system); Commit flushes it to disk, gives it the target's permissions
// (or those of any new file), renames it over the target and flushes the
// folder, so that a crash leaves either the old file or the new one. Until
// then, and after any failure, the target is as it was, and the temporary
// is removed unless committed.
//
// The temporary stays open from its making to the rename, so its contents
// go to the file made here even if someone puts another file or a link
// under its name meanwhile; the rename then refuses to move that one into
// place. Writers that fill the temporary by name open it through SafeFile.
class AtomicFile {
  public:
    // With refuseLink, a target that is a symbolic link is not replaced
    // (ELOOP): side files under fixed names, where a link is not the
    // program's own.
    explicit AtomicFile(const std::string& target, bool refuseLink = false);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Whether the temporary file could be made; Error() tells why not.
    bool Ready() const { return !path_.empty(); }
    // The temporary file, for writers that fill a file by name (they may
    // truncate or replace it).
    const std::string& Path() const { return path_; }
    const std::string& Target() const { return target_; }

    // Writes bytes to the temporary file where the last write ended.
    bool Write(const void* data, size_t size);
    // Flushes the temporary file to disk with its final permissions; Commit
    // does it when not done already. Lets several files be made durable
    // before the first of them replaces anything.
    bool Flush();
    // Flush, then the rename. With replace false a target that exists (or
    // appears meanwhile) is left alone and the commit fails with EEXIST.
    bool Commit(bool replace = true);

    // Why the last step failed, as the system words it, and its errno.
    const std::string& Error() const { return error_; }
    int ErrorNumber() const { return errorNumber_; }

  private:
    bool Fail(int error);
    bool StillOurs() const;

    std::string target_;
    std::string path_;
    std::string error_;
    int errorNumber_ = 0;
    int fd_ = -1;
    bool refuseLink_ = false;
    bool flushed_ = false;
    bool committed_ = false;
};

// The whole of data as the new contents of path. False with *error set
// ("cannot write PATH: reason") when any step fails; path is then untouched.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error = nullptr);
