#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Opening files by name in a folder that other users may share (the start-up
// folder with its side files, a group folder, a temporary folder). A write
// never goes through a symbolic link and never lands in a file that another
// user made, or in one with other names (hard links) that it would change as
// well; a read follows a symbolic link only when this user made it, and
// reads only regular files (a FIFO would block the reader for ever).
//
// Refusals come back as errno values, worded by FileErrorText:
//   ELOOP   the name is a symbolic link (dangling or not);
//   EACCES  the file belongs to another user;
//   EMLINK  the file has other names;
//   EINVAL  not a regular file.

// Opens path for writing from the start: created (0666 less the umask) when
// missing, emptied only once it has passed the checks. A descriptor, or -1
// with errno set.
int OpenFileForWriting(const std::string& path);
// The same as a "wb" stream; nullptr with errno set.
std::FILE* OpenStreamForWriting(const std::string& path);
// The same checks for changing a file in place ("r+b"): nothing is created
// or emptied.
std::FILE* OpenStreamForUpdate(const std::string& path);

// Opens path for reading. With ownOnly, the file itself must be this user's
// too (a scratch file the program wrote, not one put in its place).
int OpenFileForReading(const std::string& path, bool ownOnly);
// The whole file, up to limit bytes (a longer file is refused with EFBIG).
bool ReadWholeFile(const std::string& path, bool ownOnly, size_t limit,
                   std::vector<uint8_t>& bytes);

// Removes a scratch file before it is written anew, so that the write makes
// a file of its own; a symbolic link is left for the write to refuse.
void RemoveScratchFile(const std::string& path);

// The data as the whole new contents of path, by OpenFileForWriting.
bool WriteWholeFile(const std::string& path, const void* data, size_t size);

// Why an open or a write failed, for messages: the refusals above in words,
// every other error as the system words it.
std::string FileErrorText(int error);
