#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// The folder a demo database is built in, beside its target (".vdbtool-demo-XXXXXX"), and the
// lock in it that shows that the run building it is alive.
inline const QString kScratchLock = QStringLiteral("in-use.lock");

// An exclusive lock on a file that the kernel drops when its holder dies, however it dies.
class ScratchLock {
public:
    explicit ScratchLock(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {}
    ~ScratchLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ScratchLock(const ScratchLock&) = delete;
    ScratchLock& operator=(const ScratchLock&) = delete;

    bool tryLock() { return fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }

private:
    int fd_;
};

// Removes the scratch folders of demo runs that were killed: their lock's process is gone, or
// they never got a lock and are old. Folders of runs still alive are left alone.
void removeStaleScratch(const QString& folder);

// Links draft to target: link() never replaces an existing file. Where the file system has no
// hard links, rename() is the fallback, with the existence check just before it.
void moveIntoPlace(const QString& draft, const QString& target);
