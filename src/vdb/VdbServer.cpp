#include "VdbServer.h"

#include "PasswordHash.h"
#include "VdbCore.h"
#include "VdbCreate.h"
#include "VdbErrors.h"
#include "VdbFormat.h"
#include "VdbObjects.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

quint32 bigEndian32(const QByteArray& bytes, int offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// Refuses what is not a .vdb file before SQLite sees it: missing, unreadable, foreign, truncated.
void checkFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw vdbError(VdbCode::NoSuchFile, u"The database file does not exist: "_s + path);
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
    if (pagesValid && size < qint64(pageSize) * pages)
        throw vdbError(VdbCode::NotADatabase, u"The database file is truncated: "_s + path);
}

std::unique_ptr<SqliteConnection> connect(const QString& path, int busyTimeoutMs) {
    auto db = std::make_unique<SqliteConnection>();
    const int rc = db->open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    if (rc != SQLITE_OK) {
        if ((rc & 0xFF) == SQLITE_CANTOPEN || (rc & 0xFF) == SQLITE_READONLY ||
            (rc & 0xFF) == SQLITE_PERM)
            throw vdbError(VdbCode::NotReadable,
                           u"The database file cannot be opened for writing: "_s + path);
        throwSqlite(db->handle(), rc, path);
    }
    sqlite3_busy_timeout(db->handle(), busyTimeoutMs);
    // In WAL mode NORMAL keeps every commit atomic and survives a crash of the program; only
    // a power failure can undo the last commits. FULL would cost an fsync per batch.
    db->exec(u"PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL"_s);
    return db;
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

} // namespace

std::shared_ptr<VdbCore> openVdbCore(const QString& path, int busyTimeoutMs) {
    checkFile(path);
    auto db = connect(path, busyTimeoutMs);
    Catalogue catalogue = readCatalogue(*db, path);
    return std::make_shared<VdbCore>(std::move(db), QFileInfo(path).absoluteFilePath(),
                                     std::move(catalogue), VdbCore::Login{});
}

DatabasePtr VdbServer::OpenDatabase(const QString& path, const QString& user,
                                    const QString& password, qint32 flags) {
    checkFile(path);
    auto db = connect(path, busyTimeoutMs_);
    Catalogue catalogue = readCatalogue(*db, path);
    VdbCore::Login login = checkLogin(*db, user, password, flags);
    auto core = std::make_shared<VdbCore>(std::move(db), QFileInfo(path).absoluteFilePath(),
                                          std::move(catalogue), std::move(login));
    return makeDatabaseHandle(std::move(core));
}
