#pragma once

#include <QString>

namespace fwb {

// Text operations on paths. Both '/' and '\' are separators where noted; a path that holds a
// '/' anywhere is taken to use '/' throughout.

// "/" when the path holds a '/' anywhere, otherwise "\".
QString PathSeparator(const QString &path);
// The path ending in its separator; the empty text becomes "\".
QString AddTrailingSlash(const QString &path);
// The path without leading and trailing spaces and without one trailing '/' or '\'.
QString RemoveTrailingSlash(const QString &path);
// The text before the first NUL character.
QString TrimAtNull(const QString &text);
// The text after the last separator of a path.
QString GetFileName(const QString &path);
// An absolute path below the root "/" (a network path "//host/..." is not one).
bool IsDriveRooted(const QString &path);
// "\\server\" of "\\server\share\x" (or "//server/" of "//server/share/x"); a path that is not a
// network path comes back unchanged, a bare "\\server" whole.
QString UncServerPrefix(const QString &path);

// Existence tests on the file system; they answer false on every failure.

// True when a directory search for the path finds an entry. "*" and "?" in the last
// component match anything; a path ending in a separator never exists.
bool FileExists(const QString &path);
// True for a folder (with or without trailing separator) and also for a file; the root "/"
// exists when it can be listed.
bool FolderExists(const QString &path);

// The absolute folder path with every component in the letter case stored on disk, without
// trailing separator. When a component cannot be found, the path with one trailing '/'.
QString GetRealPathCase(const QString &path);
// The folder part of a path: "/a/b/c.so" -> "/a/b", "/x.txt" -> "/", "x.txt" -> "".
QString ParentFolder(const QString &path);
// Creates the folder and every missing folder above it; true when the folder exists afterwards.
// With an `errorText` (the caller's, already translated), each level that cannot be created is
// reported in a message box as that text and the folder.
bool CreateFolder(const QString &path, const QString &errorText = {});
// The path of a special folder by its Windows number; empty where the platform has none.
QString GetSpecialFolderPath(int folder);

} // namespace fwb
