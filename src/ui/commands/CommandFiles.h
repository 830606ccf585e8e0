#pragma once

#include <QString>
#include <string>

class CardSession;

// File questions the saver and card-image commands share.

// The text the user confirms before a file is replaced (the leading blank
// belongs to it).
QString OverwriteFileQuestion(const QString& path);
// The refusal of a target that is the open card image.
QString FileInUseText(const QString& path);
// A file that could not be read; names the file.
QString FileUnreadableText(const QString& path);
// A file that could not be written; names the file and the reason.
QString FileNotWrittenText(const QString& path, const std::string& reason);

// The path as the file system spells it.
std::string LocalPath(const QString& path);
// Whether a file or a link to one stands at path.
bool FileExists(const QString& path);
// Whether path names the card image open in the file view: the same text,
// or another name of the same file (a replaced or truncated image would
// pull the file view's card from under it).
bool IsOpenImage(CardSession& session, const QString& path);
// Whether a regular file (or a link to one) stands at path; anything else,
// a FIFO above all, is refused before it is opened.
bool RegularFile(const QString& path);
// The refusal of a path that is no regular file; names the file.
QString NotRegularText(const QString& path);
// Whether a regular file stands at path and can be opened for reading.
bool Readable(const QString& path);
