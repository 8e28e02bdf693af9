#include "vcoFiles.h"
#include "StringConversions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// Name, path, extension, base name, base name with path.
// clang-format off
const std::array<QString, 5> kNameCases[] = {
    {u"C:\\Data\\Firm.backup.vdb"_s, u"C:\\Data"_s, u"vdb"_s, u"Firm.backup"_s, u"C:\\Data\\Firm.backup"_s},
    {u"C:\\Data.old\\Firm"_s, u"C:\\Data.old"_s, u""_s, u"Firm"_s, u"C:\\Data.old\\Firm"_s},
    {u"C:Firm.vdb"_s, u"C:"_s, u"vdb"_s, u"Firm"_s, u"C:Firm"_s},
    {u"Firm."_s, u""_s, u""_s, u"Firm"_s, u"Firm"_s},
    {u".profile"_s, u""_s, u"profile"_s, u".profile"_s, u""_s},
    {u"C:\\"_s, u"C:"_s, u""_s, u""_s, u"C:\\"_s},
    {u"/home/anna/Firm.backup.vdb"_s, u"/home/anna"_s, u"vdb"_s, u"Firm.backup"_s, u"/home/anna/Firm.backup"_s},
    {u"/home/data.old/Firm"_s, u"/home/data.old"_s, u""_s, u"Firm"_s, u"/home/data.old/Firm"_s},
    {u"/data/"_s, u"/data"_s, u""_s, u""_s, u"/data/"_s},
    {u""_s, u""_s, u""_s, u""_s, u""_s},
    {u"Firm"_s, u""_s, u""_s, u"Firm"_s, u"Firm"_s},
    {u"\\"_s, u""_s, u""_s, u""_s, u"\\"_s},
    {u"."_s, u""_s, u""_s, u"."_s, u""_s},
    {u"a\\.x"_s, u"a"_s, u"x"_s, u""_s, u"a\\"_s},
    {u"Kunden Ä.vdb"_s, u""_s, u"vdb"_s, u"Kunden Ä"_s, u"Kunden Ä"_s},
};
// clang-format on

TEST(vcoFiles, NameSplittingFollowsTheExamples) {
    const vcoFiles files;
    for (const auto& [name, path, extension, baseName, baseNameWithPath] : kNameCases) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(files.GetFilePath(name), path);
        EXPECT_EQ(files.GetFileExtension(name), extension);
        EXPECT_EQ(files.GetFileBaseName(name, false), baseName);
        EXPECT_EQ(files.GetFileBaseName(name, true), baseNameWithPath);
    }
}

TEST(vcoFiles, AddBackslash) {
    const vcoFiles files;
    EXPECT_EQ(files.AddBackslash(u"C:\\Data"_s), u"C:\\Data\\"_s);
    EXPECT_EQ(files.AddBackslash(u"C:\\Data\\"_s), u"C:\\Data\\"_s);
    EXPECT_EQ(files.AddBackslash(u""_s), u"\\"_s);
    EXPECT_EQ(files.AddBackslash(u"/data"_s, u"/"_s), u"/data/"_s);
    EXPECT_EQ(files.AddBackslash(u"/data/"_s, u"/"_s), u"/data/"_s);
    EXPECT_EQ(files.AddBackslash(u"C:\\Data\\"_s, u"/"_s), u"C:\\Data\\/"_s);
    // Only one character of the path is compared: a longer Char is always appended.
    EXPECT_EQ(files.AddBackslash(u"ab"_s, u"ab"_s), u"abab"_s);
}

class vcoFilesOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath(u"Firm.vdb"_s);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(QDir(dir.path()).mkdir(u"sub"_s));
        folder = dir.filePath(u"sub"_s);
    }
    QTemporaryDir dir;
    QString file;
    QString folder;
    vcoFiles files;
};

TEST_F(vcoFilesOnDisk, FileExistsOnlyForFiles) {
    EXPECT_TRUE(files.FileExists(file));
    // Wildcard names are never files, even when such a file exists.
    QFile literal(dir.filePath(u"*.vdb"_s));
    ASSERT_TRUE(literal.open(QIODevice::WriteOnly));
    for (const QString& name : QStringList{
             folder, folder + u"/"_s, dir.filePath(u"Missing.vdb"_s), QString(), literal.fileName(),
             dir.filePath(u"Firm.vd?"_s), file + QChar(u'\0') + u"x"_s, file + u"\\"_s})
        EXPECT_FALSE(files.FileExists(name)) << name.toStdString();
}

TEST_F(vcoFilesOnDisk, DirExistsWithOrWithoutTrailingSeparator) {
    for (const QString& name : QStringList{folder, folder + u"\\"_s, folder + u"/"_s, u"/"_s})
        EXPECT_TRUE(files.DirExists(name)) << name.toStdString();
    for (const QString& name :
         QStringList{file, QString(), folder + u"/*"_s, dir.filePath(u"missing"_s)})
        EXPECT_FALSE(files.DirExists(name)) << name.toStdString();
}

TEST_F(vcoFilesOnDisk, GetTempFileCreatesAnEmptyUniqueFile) {
    const QString a = files.GetTempFile(u"Telnormer"_s);
    const QString b = files.GetTempFile(u"Telnormer"_s);
    ASSERT_FALSE(a.isEmpty());
    EXPECT_NE(a, b);
    for (const QString& name : {a, b}) {
        const QFileInfo info(name);
        EXPECT_TRUE(info.isFile());
        EXPECT_EQ(info.size(), 0);
        // Three characters of the prefix, then the unique part (which may itself begin with "e").
        EXPECT_TRUE(
            QRegularExpression(u"^Tel[A-Za-z0-9]{6}\\.tmp$"_s).match(info.fileName()).hasMatch())
            << info.fileName().toStdString();
        EXPECT_EQ(info.absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
        QFile::remove(name);
    }
    const QString empty = files.GetTempFile(u""_s);
    EXPECT_FALSE(empty.isEmpty());
    QFile::remove(empty);
    // A prefix leaving the temporary folder is refused.
    EXPECT_EQ(files.GetTempFile(u"../x"_s), QString());
    EXPECT_EQ(files.GetTempFile(u"a/b"_s), QString());
    EXPECT_EQ(files.GetTempFile(u"a\\b"_s), QString());
}

} // namespace
