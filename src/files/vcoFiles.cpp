#include "vcoFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace {

bool isFolderSeparator(QChar c) {
    return c == u'\\' || c == u'/';
}

// Stands in for the attribute query: wildcards, NUL and empty names are not names.
bool isQueryableName(const QString& name) {
    return !name.isEmpty() && !name.contains(u'*') && !name.contains(u'?') &&
           !name.contains(QChar(u'\0'));
}

} // namespace

bool vcoFiles::FileExists(const QString& FileName) const {
    if (!isQueryableName(FileName))
        return false;
    const QFileInfo info(FileName);
    return info.exists() && !info.isDir();
}

bool vcoFiles::DirExists(const QString& DirName) const {
    if (!isQueryableName(DirName))
        return false;
    QString name = DirName;
    // A trailing backslash names the same folder, as a trailing slash does.
    while (name.size() > 1 && isFolderSeparator(name.back()))
        name.chop(1);
    if (name == u"\\"_s)
        name = u"/"_s;
    return QFileInfo(name).isDir();
}

QString vcoFiles::GetFilePath(const QString& FileName) const {
    for (qsizetype i = FileName.size() - 1; i >= 0; --i) {
        const QChar c = FileName.at(i);
        if (c == u':')
            return FileName.left(i + 1);
        if (isFolderSeparator(c))
            return FileName.left(i);
    }
    return {};
}

QString vcoFiles::GetFileExtension(QString FileName) const {
    for (qsizetype i = FileName.size() - 1; i >= 0; --i) {
        const QChar c = FileName.at(i);
        if (c == u'.')
            return FileName.mid(i + 1);
        if (c == u':' || isFolderSeparator(c))
            return {};
    }
    return {};
}

QString vcoFiles::GetFileBaseName(const QString& FileName, bool IncludePath) const {
    // Positions count from 1 here; lastBeforeDot 0 means no dot was remembered.
    qsizetype lastBeforeDot = 0;
    qsizetype start = 1;
    for (qsizetype pos = FileName.size(); pos >= 1; --pos) {
        const QChar c = FileName.at(pos - 1);
        if (c == u'.') {
            if (IncludePath)
                return FileName.left(pos - 1);
            if (lastBeforeDot == 0)
                lastBeforeDot = pos - 1;
        } else if (c == u':' || isFolderSeparator(c)) {
            start = IncludePath ? 1 : pos + 1;
            break;
        }
    }
    const qsizetype end = lastBeforeDot != 0 ? lastBeforeDot : FileName.size();
    if (end < start)
        return {};
    return FileName.mid(start - 1, end - start + 1);
}

QString vcoFiles::AddBackslash(const QString& Path, const QString& Char) const {
    if (!Path.isEmpty() && Path.right(1) == Char)
        return Path;
    return Path + Char;
}

QString vcoFiles::GetTempFile(const QString& Prefix) const {
    const QString head = Prefix.left(3);
    // A prefix that would leave the temporary folder fails, as the platform call would.
    if (head.contains(u'/') || head.contains(u'\\') || head.contains(QChar(u'\0')))
        return {};
    QTemporaryFile file(QDir::tempPath() + u'/' + head + u"XXXXXX.tmp"_s);
    file.setAutoRemove(false);
    if (!file.open())
        return {};
    return file.fileName();
}

// The folder of the operating system's own installation.
QString vcoFiles::WindowsDirectory() const {
    return u"/usr"_s;
}

// The folder of the operating system's shared libraries.
QString vcoFiles::SystemDirectory() const {
    return u"/usr/lib"_s;
}
