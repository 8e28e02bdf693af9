#include "TextSpill.h"

#include "RunFiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kUnit = sizeof(char16_t);
// Read a piece at a time when searching, so that a search never holds a whole value.
constexpr qint64 kChunk = 1 << 20;

bool readAll(int fd, char* data, qint64 size, qint64 at) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, data, static_cast<size_t>(size), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EIO; // shorter than written: someone cut it
            return false;
        }
        data += got;
        size -= got;
        at += got;
    }
    return true;
}

} // namespace

TextSpill::~TextSpill() {
    close();
}

bool TextSpill::open() {
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
    // Unnamed from the start: nothing at a path to plant, follow or read.
    int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a new file of a random name (never one that is
        // there already, nor through a link), gone from the folder at once.
        QByteArray name = folder + "/.telnormer-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(name.constData());
    }
    if (fd < 0) {
        error_ = RunFiles::cause(errno);
        return false;
    }
    fd_ = fd;
    size_ = 0;
    return true;
}

qint64 TextSpill::append(QStringView text) {
    if (fd_ < 0 && !open())
        return -1;
    const auto* data = reinterpret_cast<const char*>(text.utf16());
    qint64 left = text.size() * kUnit;
    qint64 at = size_;
    while (left > 0) {
        const ssize_t written = ::pwrite(fd_, data, static_cast<size_t>(left), at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error_ = RunFiles::cause(written < 0 ? errno : ENOSPC);
            // What was written of it is of no use: its room goes back to the disk.
            (void)::ftruncate(fd_, size_);
            return -1;
        }
        data += written;
        left -= written;
        at += written;
    }
    const qint64 start = size_ / kUnit;
    size_ = at;
    return start;
}

bool TextSpill::read(qint64 offset, qint64 length, QString& text) const {
    text.resize(length);
    if (fd_ >= 0 &&
        readAll(fd_, reinterpret_cast<char*>(text.data()), length * kUnit, offset * kUnit))
        return true;
    error_ = RunFiles::cause(fd_ < 0 ? EBADF : errno);
    text.clear();
    return false;
}

bool TextSpill::contains(qint64 offset, qint64 length, const QStringMatcher& needle,
                         bool& ok) const {
    ok = true;
    // Pieces overlap by the needle's length, so that a match across their border is found.
    const qint64 overlap = std::max<qint64>(needle.pattern().size() - 1, 0);
    QString piece;
    for (qint64 from = 0; from < length; from += kChunk) {
        const qint64 size = std::min(length - from, kChunk + overlap);
        if (!read(offset + from, size, piece)) {
            ok = false;
            return false;
        }
        if (needle.indexIn(piece) >= 0)
            return true;
        if (from + size >= length)
            break;
    }
    return false;
}

void TextSpill::truncate(qint64 offset) {
    if (fd_ >= 0 && offset * kUnit < size_ && ::ftruncate(fd_, offset * kUnit) == 0)
        size_ = offset * kUnit;
}

void TextSpill::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
}
