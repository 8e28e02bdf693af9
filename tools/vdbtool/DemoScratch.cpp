#include "DemoScratch.h"

#include "ToolError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

const QString kScratchPattern = u".vdbtool-demo-*"_s;
// A scratch folder without a lock may be one whose run is just taking its lock.
constexpr qint64 kUnlockedGraceSeconds = 60;

} // namespace

void removeStaleScratch(const QString& folder) {
    const auto entries = QDir(folder).entryInfoList(
        {kScratchPattern}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const QString lockPath = QDir(entry.filePath()).filePath(kScratchLock);
        if (QFileInfo::exists(lockPath)) {
            if (!ScratchLock(lockPath).tryLock())
                continue;
        } else if (entry.lastModified().secsTo(QDateTime::currentDateTime()) <
                   kUnlockedGraceSeconds) {
            continue;
        }
        QDir(entry.filePath()).removeRecursively();
    }
}

void moveIntoPlace(const QString& draft, const QString& target) {
    const QByteArray from = QFile::encodeName(draft);
    const QByteArray to = QFile::encodeName(target);
    if (::link(from.constData(), to.constData()) == 0)
        return;
    if (errno == EEXIST || QFileInfo::exists(target))
        fail(u"the file already exists: "_s + target);
    if (!QFile::rename(draft, target))
        fail(u"cannot move the demo database into place: "_s + target);
}
