#include "ChangeLog.h"
#include "ErrorOf.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "TestProcess.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kFirst(QDate(2024, 3, 5), QTime(14, 7, 9));
const QDateTime kSecond(QDate(2024, 3, 5), QTime(15, 0, 1));

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

quint64 groupOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_gid : ~0ULL;
}

class ChangeLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        database = dir.filePath(u"Kunden.vdb"_s);
    }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }

    QTemporaryDir dir;
    QString database;
    ChangeLog log{QLocale(QLocale::German, QLocale::Germany)};
};

TEST(ChangeLogPath, NamedAfterDatabaseAndFirstRun) {
    EXPECT_EQ(ChangeLog::logPathFor(u"/daten/Kunden.vdb"_s, kFirst),
              u"/daten/Logs/Telnormer/Kunden_2024-03-05 14-07-09.txt"_s);
    // The last four characters go, whatever they are.
    EXPECT_EQ(ChangeLog::logPathFor(u"/db/kunden.data"_s, kFirst),
              u"/db/Logs/Telnormer/kunden._2024-03-05 14-07-09.txt"_s);
    EXPECT_EQ(
        ChangeLog::logPathFor(u"/x/abcd"_s, QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58))),
        u"/x/Logs/Telnormer/_2024-12-31 23-59-58.txt"_s);
    EXPECT_THROW(ChangeLog::logPathFor(u"Kunden.vdb"_s, kFirst), ErrorRecord);
    EXPECT_THROW(ChangeLog::logPathFor(u"/x/abc"_s, kFirst), ErrorRecord);
    // A server database's name, whatever it holds, names one folder below the user's data folder.
    const QString logs =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + u"/Logs/Telnormer/"_s;
    // clang-format off
    const std::pair<QString, QString> cases[] = {
        {u"postgresql:///..%2F..%2Fx"_s, u".._.._x"_s}, {u"postgresql:///a%5Cb%01"_s, u"a_b_"_s},
        {u"postgresql:///.."_s, u"_.."_s}, {u"postgresql://h?dbname=Firma"_s, u"Firma"_s},
    };
    // clang-format on
    for (const auto& [uri, folder] : cases)
        EXPECT_EQ(ChangeLog::logPathFor(uri, kFirst),
                  logs + folder + u'/' + folder + u"_2024-03-05 14-07-09.txt"_s);
}

TEST_F(ChangeLogTest, LaterRunsAppendWithTheSeparator) {
    log.prepare(database, kFirst);
    log.runSummary(0);
    log.prepare(database, kSecond);
    setUiLanguageOverride(UiLanguage::German);
    log.runSummary(3);
    const QByteArray expected = "05.03.24 14:07:09\r\n"
                                "\r\n0 record(s) converted."
                                "\r\n" +
                                QByteArray(52, '_') +
                                "\r\n\r\n05.03.24 15:00:01\r\n"
                                "\r\n3 Datens\xC3\xA4tze konvertiert.";
    EXPECT_EQ(readFile(log.path()), expected);
    // The file keeps the first run's name.
    EXPECT_TRUE(log.path().endsWith(u"Kunden_2024-03-05 14-07-09.txt"_s));
}

// A "Logs" the run cannot use, or one someone else could plant journals in, and the message says
// why. Another user's is made by root; without root, one the runner cannot write to.
TEST_F(ChangeLogTest, FailedPreparationLeavesTheLogUnprepared) {
    const QString logs = dir.filePath(u"Logs"_s);
    const QByteArray bytes = QFile::encodeName(logs);
    const char* name = bytes.constData();
    const bool root = ::geteuid() == 0;
    const std::pair<std::function<void()>, QString> plants[] = {
        {[&] { writeFile(logs, ""); }, u"Logs (Not a directory)"_s},
        {[&] { QFile::link(dir.path(), logs); }, u"Logs (it is a symbolic link)"_s},
        {[&] { ::mkdir(name, 0777), ::chmod(name, 0777); }, u"Logs (others may write to it)"_s},
        {[&] { ::mkdir(name, 0500), ::chown(name, root ? 4242 : -1, -1); },
         root ? u"(it belongs to another user)"_s : u"cannot write to it: Permission denied)"_s},
    };
    for (const auto& [plant, ending] : plants) {
        plant();
        const QString why = errorOf([&] { log.prepare(database, kFirst); }).description();
        EXPECT_TRUE(why.endsWith(ending)) << why.toStdString();
        EXPECT_FALSE(log.isOpen());
        EXPECT_THROW(log.changeLine(u"a"_s, u"b"_s, u"c"_s), ErrorRecord);
        ASSERT_TRUE(QFile::remove(logs) || QDir(logs).removeRecursively());
    }
    log.prepare(database, kFirst);
    EXPECT_EQ(readFile(log.path()), QByteArray("05.03.24 14:07:09\r\n"));
    log.close();
    log.close();
    EXPECT_FALSE(log.isOpen());
}

// Only the missing folder is made, and another window's log of the same second is kept.
TEST_F(ChangeLogTest, AnExistingLogFileIsNeverOverwritten) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"Logs/Telnormer"_s));
    const QString path = ChangeLog::logPathFor(database, kFirst);
    writeFile(path, "another window's log");
    EXPECT_EQ(errorOf([&] { log.prepare(database, kFirst); }).number(), 58);
    EXPECT_EQ(readFile(path), QByteArray("another window's log"));
    log.prepare(database, kSecond);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(log.path().endsWith(u"Kunden_2024-03-05 15-00-01.txt"_s));
}

// Whatever is at the journal's name (a forged journal, a link, a FIFO) stops the preparation:
// nothing is written through it, and the run's new log goes again.
TEST_F(ChangeLogTest, AnythingAtTheJournalsNameStopsThePreparation) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"Logs/Telnormer"_s));
    const QString journal = RunJournal::pathFor(ChangeLog::logPathFor(database, kFirst));
    const QString victim = dir.filePath(u"victim"_s);
    writeFile(victim, "unrelated\n");
    const std::function<void()> plants[] = {
        [&] { writeFile(journal, "{\"format\":\"telnormer-journal\"}\n"); },
        [&] { QFile::link(victim, journal); },
        [&] { QFile::link(dir.filePath(u"nowhere"_s), journal); },
        [&] { ::mkfifo(QFile::encodeName(journal).constData(), 0600); },
    };
    for (const auto& plant : plants) {
        plant();
        EXPECT_NE(errorOf([&] { log.prepare(database, kFirst); }).number(), 0);
        EXPECT_FALSE(log.isOpen());
        EXPECT_FALSE(QFile::exists(ChangeLog::logPathFor(database, kFirst)));
        EXPECT_EQ(readFile(victim), QByteArray("unrelated\n"));
        EXPECT_FALSE(QFile::exists(dir.filePath(u"nowhere"_s)));
        QFile::remove(journal);
    }
}

// The group they get is the database's (root can give another one than its own).
TEST_F(ChangeLogTest, FilesAreNoMoreReadableThanTheDatabase) {
    const mode_t mask = ::umask(022);
    // database, log and journal, folders
    const std::array<mode_t, 3> cases[] = {
        {0600, 0600, 0700}, {0640, 0640, 0750}, {0444, 0644, 0755}};
    writeFile(database, "");
    ::chown(QFile::encodeName(database).constData(), -1, ::geteuid() == 0 ? 4242 : ::getegid());
    for (const auto& [db, file, folder] : cases) {
        QDir(dir.filePath(u"Logs"_s)).removeRecursively();
        ::chmod(QFile::encodeName(database).constData(), db);
        log.prepare(database, kFirst);
        for (const QString& path : {log.path(), log.journal().path()})
            EXPECT_EQ(modeOf(path) | groupOf(path) << 12, file | groupOf(database) << 12);
        for (const QString& path : {dir.filePath(u"Logs"_s), dir.filePath(u"Logs/Telnormer"_s)})
            EXPECT_EQ(modeOf(path) | groupOf(path) << 12, folder | groupOf(database) << 12);
        log.close();
    }
    ::umask(mask);
}

// One value, one line: control characters show as escapes, so no value forges an entry.
TEST_F(ChangeLogTest, ValuesStayOnOneLine) {
    log.prepare(database, kFirst);
    log.recordHeader(u"Fake\nGmbH"_s, u"7"_s);
    log.changeLine(u"Telefon"_s, u"030 1\r\n\r\nRecord: F\tX\0\x1b\u0085\u2028\\n"_s, u"+49 1"_s);
    // Invisible or turning the text around: U+FEFF, U+202E, U+200B, a tag, half a pair.
    log.errorEntry(1, u"a\r\nb\uFEFF\u202E\u200B\U000E0041\xD800ä"_s);
    EXPECT_EQ(
        readFile(log.path()),
        QByteArray("05.03.24 14:07:09\r\n\r\nRecord: Fake\\nGmbH\r\nID: 7\r\nField Telefon: "
                   "030 1\\r\\n\\r\\nRecord: F\\tX\\0\\x1B\\x85\\u2028\\\\n -> +49 1\r\n"
                   "\r\nError 1 - a\\r\\nb\\uFEFF\\u202E\\u200B\\U000E0041\\uD800\xC3\xA4\r\n"));
}

// A short write (here: past the file size limit) names its cause, not "Unknown error".
TEST_F(ChangeLogTest, AFailedWriteNamesItsCause) {
    log.prepare(database, kFirst);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(QFileInfo(log.path()).size() + 8);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const ErrorRecord error = errorOf([&] {
        log.changeLine(u"Telefon"_s, QString(100, u'0'), u"x"_s);
        log.flush();
    });
    // A log that cannot take its first line is not left behind.
    log.close();
    EXPECT_THROW(log.prepare(database, kSecond, true), ErrorRecord);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_TRUE(error.description().endsWith(u"(File too large)"_s))
        << error.description().toStdString();
    EXPECT_FALSE(QFile::exists(ChangeLog::logPathFor(database, kSecond, true)));
}

} // namespace
