#pragma once

#include <QString>

#include <sys/types.h>

// The files a run writes beside a database (log, journal, report) hold its customers' data: they
// are made new, never through a link or into a FIFO or device, and are no more readable than the
// database they came from.
struct FileModes {
    mode_t file = 0600;
    mode_t folder = 0700;
    // The database's owner and group; -1 without a file to go by.
    uid_t owner = static_cast<uid_t>(-1);
    gid_t group = static_cast<gid_t>(-1);
};

namespace RunFiles {

// The database file's read bits and the owner's read and write; a folder may be searched where
// it may be read. Without a file to go by (a server database): the owner's alone.
FileModes modesLike(const QString& databasePath);

// path as a new file open for writing: whatever is there already (a file, a link, a FIFO) makes
// it fail. Its group may read it only when it is the database's group. The descriptor, or -1
// with errno set.
int createNew(const QString& path, const FileModes& modes);

// path open for reading when it is a regular file (a FIFO cannot hold the open up). With modes,
// also only when it is trusted (see makeFolder) and no link. The descriptor, or -1 with why set.
int openRegular(const QString& path, QString& why, const FileModes* modes = nullptr);

// The folder unless there is one; its parent must exist. One that is there is used only when no
// one but the runner, root or the database's owner can have put or changed anything in it: no
// link, owned by one of them, writable by no one else (unless sticky). Empty, or what is wrong.
QString makeFolder(const QString& path, const FileModes& modes);

// The system's words for an errno value ("No space left on device").
QString cause(int error);

} // namespace RunFiles
