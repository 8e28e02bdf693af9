#pragma once

#include <QString>
#include <QStringMatcher>
#include <QStringView>

// Long texts kept out of memory, in a file without a name in the temporary folder: no one else
// can open it or put anything in its place, and it goes when it is closed or the process ends.
// Texts are stored as their UTF-16 units, so that whatever a value holds (a NUL, half a pair)
// comes back as it went in.
class TextSpill {
public:
    TextSpill() = default;
    ~TextSpill();
    TextSpill(const TextSpill&) = delete;
    TextSpill& operator=(const TextSpill&) = delete;

    // Where text now begins in the file; -1 with error() set (no file could be made, the disk
    // is full), and the file is as it was.
    qint64 append(QStringView text);
    // The length units at offset; false with error() set.
    bool read(qint64 offset, qint64 length, QString& text) const;
    // Whether the length units at offset hold what needle seeks; ok false when they could not
    // be read.
    bool contains(qint64 offset, qint64 length, const QStringMatcher& needle, bool& ok) const;
    // Drops what begins at offset and after.
    void truncate(qint64 offset);
    void close();
    const QString& error() const { return error_; }

private:
    bool open();

    int fd_ = -1;
    qint64 size_ = 0;
    mutable QString error_;
};
