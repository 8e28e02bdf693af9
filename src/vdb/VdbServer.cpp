#include "VdbServer.h"

#include "PasswordHash.h"
#include "VdbCore.h"
#include "VdbCreate.h"
#include "VdbErrors.h"
#include "VdbFormat.h"
#include "VdbObjects.h"
#include "VdbSchemaCheck.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

quint32 bigEndian32(const QByteArray& bytes, int offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether a write-ahead log beside the file holds frames (more than its 32-byte header).
bool hasWalFrames(const QString& path) {
    return QFileInfo(path + u"-wal"_s).size() > 32;
}

enum class FileState { Whole, HeaderAheadOfFile };

// Refuses what is not a .vdb file before SQLite sees it: missing, unreadable, foreign, truncated.
// A checkpoint cut short writes the first page (counting every page) before the pages at the end;
// the write-ahead log still holds those, so such a file is left for SQLite to judge.
FileState checkFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        struct stat status {};
        const int error = ::stat(QFile::encodeName(path).constData(), &status) == 0 ? 0 : errno;
        if (error != 0 && error != ENOENT)
            throw vdbError(VdbCode::NotReadable, u"The database file cannot be reached: "_s + path +
                                                     u" ("_s + systemError(error) + u')');
        throw vdbError(VdbCode::NoSuchFile, u"The database file does not exist: "_s + path);
    }
    if (!info.isFile())
        throw vdbError(VdbCode::NotReadable, u"This is not a file: "_s + path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw vdbError(VdbCode::NotReadable, u"The database file cannot be read: "_s + path +
                                                 u" ("_s + file.errorString() + u')');
    const QByteArray header = file.read(100);
    const qint64 size = file.size();
    if (header.size() < 100 || !header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        throw vdbError(VdbCode::NotADatabase, u"This is not a .vdb database: "_s + path);
    if (static_cast<qint32>(bigEndian32(header, 68)) != VdbFormat::kApplicationId)
        throw vdbError(VdbCode::NotADatabase,
                       u"This is a database of another program, not a .vdb database: "_s + path);
    if (static_cast<qint32>(bigEndian32(header, 60)) > VdbFormat::kVersion)
        throw vdbError(VdbCode::NewerVersion,
                       u"The database was written by a newer version (format "_s +
                           QString::number(bigEndian32(header, 60)) + u"): "_s + path);
    quint32 pageSize = (quint32(quint8(header[16])) << 8) | quint32(quint8(header[17]));
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 pages = bigEndian32(header, 28);
    const bool pagesValid = pages != 0 && bigEndian32(header, 24) == bigEndian32(header, 92);
    if (pagesValid && size < qint64(pageSize) * pages) {
        if (hasWalFrames(path))
            return FileState::HeaderAheadOfFile;
        throw vdbError(VdbCode::NotADatabase, u"The database file is truncated: "_s + path);
    }
    return FileState::Whole;
}

[[noreturn]] void notWritable(const QString& path) {
    throw vdbError(VdbCode::NotReadable,
                   u"The database file cannot be opened for writing: "_s + path);
}

// The first read opens the write-ahead log: a folder without write access or a program that
// holds the database exclusively show here, and are said in words.
void firstRead(SqliteConnection& db, const QString& path) {
    const int rc =
        sqlite3_exec(db.handle(), "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        return;
    const int primary = rc & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        throw vdbError(VdbCode::Locked,
                       u"Another program holds the database and does not let go of it: "_s + path);
    if (primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM)
        throw vdbError(VdbCode::NotReadable,
                       u"The database cannot be opened: the folder it lies in is not writable, "
                       "so its journal cannot be kept there: "_s +
                           QFileInfo(path).absolutePath());
    throwSqlite(db.handle(), rc, path);
}

std::unique_ptr<SqliteConnection> connect(const QString& path, int busyTimeoutMs) {
    auto db = std::make_unique<SqliteConnection>();
    const int rc = db->open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    if (rc != SQLITE_OK) {
        if ((rc & 0xFF) == SQLITE_CANTOPEN || (rc & 0xFF) == SQLITE_READONLY ||
            (rc & 0xFF) == SQLITE_PERM)
            notWritable(path);
        throwSqlite(db->handle(), rc, path);
    }
    // SQLite falls back to reading when it may not write: every change would fail later.
    if (sqlite3_db_readonly(db->handle(), "main") == 1)
        notWritable(path);
    sqlite3_busy_timeout(db->handle(), busyTimeoutMs);
    firstRead(*db, path);
    // In WAL mode NORMAL keeps every commit atomic and survives a crash of the program; only
    // a power failure can undo the last commits. FULL would cost an fsync per batch.
    db->exec(u"PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL"_s);
    return db;
}

// A file whose header counts more pages than it holds opens when the write-ahead log supplies
// them; SQLite's check of every page decides.
void checkPagesFromLog(SqliteConnection& db, const QString& path) {
    auto check = db.prepare(u"PRAGMA quick_check(1)"_s);
    if (check->stepRaw() != SQLITE_ROW || check->text(0) != u"ok"_s)
        throw vdbError(VdbCode::NotADatabase, u"The database file is truncated: "_s + path);
}

Catalogue loadCatalogue(SqliteConnection& db) {
    CatalogueReader in;
    in.error = vdbError;
    in.rows = [&](const QString& sql) {
        QList<QStringList> rows;
        auto statement = db.prepare(sql);
        const int columns = sqlite3_column_count(statement->handle());
        while (statement->step()) {
            QStringList row;
            for (int c = 0; c < columns; ++c)
                row << statement->text(c);
            rows << row;
        }
        return rows;
    };
    return catalogueFromRows(in);
}

Catalogue readCatalogue(SqliteConnection& db, const QString& path) {
    try {
        return loadCatalogue(db);
    } catch (const ErrorRecord& e) {
        if (e.number() == serverErrorNumber(VdbCode::StorageFailure))
            throw vdbError(VdbCode::NotADatabase, u"The catalogue of the database is damaged: "_s +
                                                      path + u" ("_s + e.description() + u')');
        throw;
    }
}

VdbCore::Login checkLogin(SqliteConnection& db, const QString& user, const QString& password,
                          qint32 flags) {
    auto find = db.prepare(u"SELECT name, hash, database_admin, user_admin FROM vdb_users "
                           "WHERE folded = ?"_s);
    find->bindText(1, foldUserName(user));
    if (!find->step())
        throw vdbError(VdbCode::UnknownUser,
                       u"The database does not know the user \""_s + user + u"\"."_s);
    VdbCore::Login login{find->text(0), find->integer(2) != 0, find->integer(3) != 0};
    const QString hash = find->text(1);
    find->reset();
    // Checked before hashing: a planted cost would keep the login busy for ever.
    if (!passwordHashIsSane(hash))
        throw vdbError(VdbCode::NotADatabase,
                       u"The entry of the user \""_s + login.userName +
                           u"\" is damaged: its password hash is malformed or asks for more "
                           "than "_s +
                           QString::number(kMaxHashPasses) + u" passes or "_s +
                           QString::number(kMaxHashMemoryKiB / 1024) + u" MiB."_s);
    if (!verifyPassword(hash, password))
        throw vdbError(VdbCode::WrongPassword,
                       u"The password of the user \""_s + login.userName + u"\" is wrong."_s);
    if ((flags & OpenFlag::DatabaseAdmin) != 0 && !login.databaseAdmin)
        throw vdbError(VdbCode::NoDatabaseAdminRight,
                       u"The user \""_s + login.userName +
                           u"\" has no right to administer the database."_s);
    if ((flags & OpenFlag::UserAdmin) != 0 && !login.userAdmin)
        throw vdbError(VdbCode::NoUserAdminRight, u"The user \""_s + login.userName +
                                                      u"\" has no right to administer users."_s);
    return login;
}

// The connection and catalogue of a file that passed every check.
std::pair<std::unique_ptr<SqliteConnection>, Catalogue> openChecked(const QString& path,
                                                                    int busyTimeoutMs) {
    const FileState state = checkFile(path);
    auto db = connect(path, busyTimeoutMs);
    if (state == FileState::HeaderAheadOfFile)
        checkPagesFromLog(*db, path);
    Catalogue catalogue = readCatalogue(*db, path);
    checkSchema(*db, catalogue, path);
    return {std::move(db), std::move(catalogue)};
}

} // namespace

std::shared_ptr<VdbCore> openVdbCore(const QString& path, int busyTimeoutMs) {
    auto [db, catalogue] = openChecked(path, busyTimeoutMs);
    return std::make_shared<VdbCore>(std::move(db), QFileInfo(path).absoluteFilePath(),
                                     std::move(catalogue), VdbCore::Login{});
}

DatabasePtr VdbServer::OpenDatabase(const QString& path, const QString& user,
                                    const QString& password, qint32 flags) {
    auto [db, catalogue] = openChecked(path, busyTimeoutMs_);
    VdbCore::Login login = checkLogin(*db, user, password, flags);
    auto core = std::make_shared<VdbCore>(std::move(db), QFileInfo(path).absoluteFilePath(),
                                          std::move(catalogue), std::move(login));
    return makeDatabaseHandle(std::move(core));
}
