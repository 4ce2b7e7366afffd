#pragma once

#include <QString>

// Freeing a large file's blocks keeps the kernel busy for tens of milliseconds (about 30 ms
// for a table of a million records): work that nobody needs to wait for once the file is no
// longer in any folder.
namespace core {

// Closes fd on a thread of its own, or here when no thread can be had.
void closeAside(int fd);

// Returns once every close handed aside so far is done: for measurements that must not share
// the disk with it.
void waitForClosesAside();

// Empties the file at path as truncating it to nothing would, with its blocks freed aside: an
// empty file with its permissions and owner takes its name in one rename, so whoever opens the
// name finds the whole old file or the empty one. A symbolic link, a file of several names,
// or one beside which no file can be made is truncated where it is. Returns false, with errno
// set, when it could not be emptied.
bool emptyAside(const QString& path);

} // namespace core
