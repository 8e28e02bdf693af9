#pragma once

#include <QString>

// File-name and file-system utilities. Names are scanned from their end; "\" and, on this
// platform, "/" separate folders, and ":" ends a drive letter.
class vcoFiles {
public:
    // Returns True if a file exists
    bool FileExists(const QString& FileName) const;
    // Retrieves a file's path
    // Note: trailing backslashes are never included in the result
    QString GetFilePath(const QString& FileName) const;
    // Retrieves a file's base name
    // If the second argument is true, the result includes the file's path
    QString GetFileBaseName(const QString& FileName, bool IncludePath) const;
    // Returns the extension of a file name
    QString GetFileExtension(QString FileName) const;
    // Appends a backslash (or any character) at the end of a path if it isn't there already
    QString AddBackslash(const QString& Path, const QString& Char = QStringLiteral("\\")) const;
    // Returns True if a directory exists (the directory name can also include a trailing backslash)
    bool DirExists(const QString& DirName) const;
    // Creates a temporary (0 byte) file in the TEMP directory and returns its name
    QString GetTempFile(const QString& Prefix) const;
    // Returns the path of the Windows directory
    QString WindowsDirectory() const;
    // Returns the path of the System directory
    QString SystemDirectory() const;
};
