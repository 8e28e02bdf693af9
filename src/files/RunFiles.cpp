#include "RunFiles.h"

#include "StringTable.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace RunFiles {

namespace {

// The group may read only when it is the database's: a setgid folder or the runner's own group
// would let others read what the database does not show them.
void limitGroup(int fd, const FileModes& modes) {
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    if (known && info.st_gid == modes.group)
        return;
    const bool given = modes.group != static_cast<gid_t>(-1) &&
                       ::fchown(fd, static_cast<uid_t>(-1), modes.group) == 0;
    if (!given && (!known || (info.st_mode & 070) != 0))
        ::fchmod(fd, (known ? info.st_mode : modes.file) & 07707);
}

// Someone else who owns it or may write to it could plant or swap the files a run trusts.
QString distrust(const struct stat& info, const FileModes& modes) {
    const uid_t runner = ::geteuid();
    if (info.st_uid != runner && info.st_uid != 0 && info.st_uid != modes.owner)
        return LoadResourceString(IDS_FILE_OTHER_OWNER);
    if ((info.st_mode & 022) != 0 && !(S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0))
        return LoadResourceString(IDS_FILE_OTHERS_WRITE);
    return {};
}

} // namespace

FileModes modesLike(const QString& databasePath) {
    struct stat info {};
    if (databasePath.isEmpty() || ::stat(QFile::encodeName(databasePath).constData(), &info) != 0)
        return {};
    const mode_t file = (info.st_mode & 0444) | 0600;
    return {file, file | ((file & 0444) >> 2), info.st_uid, info.st_gid};
}

int createNew(const QString& path, const FileModes& modes) {
    // O_EXCL refuses a link even when it points nowhere; O_NONBLOCK is for the open alone.
    const int fd =
        ::open(QFile::encodeName(path).constData(),
               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, modes.file);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        limitGroup(fd, modes);
    }
    return fd;
}

int openRegular(const QString& path, QString& why, const FileModes* modes) {
    // A link is trusted no more than a file someone else wrote: it names whichever file they like.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | (modes ? O_NOFOLLOW : 0));
    if (fd < 0) {
        why = modes && errno == ELOOP ? u"it is a symbolic link"_s : cause(errno);
        return -1;
    }
    struct stat info {};
    why = ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
              ? LoadResourceString(IDS_FILE_NOT_REGULAR)
          : modes ? distrust(info, *modes)
                  : QString();
    if (!why.isEmpty()) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

QString makeFolder(const QString& path, const FileModes& modes) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), modes.folder) == 0) {
        const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            limitGroup(fd, modes);
            ::close(fd);
        }
        return {};
    }
    const int error = errno;
    struct stat info {};
    if (error != EEXIST || ::lstat(name.constData(), &info) != 0)
        return u"cannot create the folder "_s + path + u" ("_s + cause(error) + u')';
    QString why = S_ISLNK(info.st_mode)    ? u"it is a symbolic link"_s
                  : !S_ISDIR(info.st_mode) ? cause(ENOTDIR)
                                           : distrust(info, modes);
    if (why.isEmpty() && ::faccessat(AT_FDCWD, name.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        why = u"it is there, but this user cannot write to it: "_s + cause(errno);
    return why.isEmpty() ? QString() : u"cannot use the folder "_s + path + u" ("_s + why + u')';
}

QString cause(int error) {
    return qt_error_string(error);
}

} // namespace RunFiles
