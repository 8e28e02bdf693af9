#pragma once

#include <QString>

#include <sys/types.h>

// The files a run writes beside a database (log, journal, report) hold its customers' data: they
// are made new, never through a link or into a FIFO or device, and are no more readable than the
// database they came from.
struct FileModes {
    mode_t file = 0600;
    mode_t folder = 0700;
};

namespace RunFiles {

// The database file's read bits and the owner's read and write; a folder may be searched where
// it may be read. Without a file to go by (a server database): the owner's alone.
FileModes modesLike(const QString& databasePath);

// path as a new file open for writing: whatever is there already (a file, a link, a FIFO) makes
// it fail. The descriptor, or -1 with errno set.
int createNew(const QString& path, mode_t mode);

// path open for reading when it is a regular file (a FIFO cannot hold the open up). The
// descriptor, or -1 with why set.
int openRegular(const QString& path, QString& why);

// The folder unless there is one; its parent must exist. False with errno set.
bool makeFolder(const QString& path, mode_t mode);

// The system's words for an errno value ("No space left on device").
QString cause(int error);

} // namespace RunFiles
