// Visits every record of a table through the database interfaces, rewrites three fields per
// record with a cheap value and commits every 10 records; then the same work on plain SQLite
// with a per-batch query, for comparison. Prints rows per second and peak memory.
//
//   vdb_cursor_bench [records=1000000] [folder=/tmp]
//
// Run it for 100,000 and for 1,000,000 records: the peak memory of the visit should not grow.

#include "BenchSupport.h"
#include "DbServer.h"
#include "VdbAdmin.h"
#include "VdbCreate.h"
#include "VdbServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <cstdio>

#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

DatabaseSchema benchSchema() {
    TableSchema table;
    table.name = u"Kunden"_s;
    table.fields << FieldSchema{u"ID"_s, FieldType::Integer, {}}
                 << FieldSchema{u"Telefon"_s, FieldType::Text, {}}
                 << FieldSchema{u"Telefax"_s, FieldType::Text, {}}
                 << FieldSchema{u"Mobil"_s, FieldType::Text, {}};
    table.indexes << IndexSchema{u"ID"_s, {u"ID"_s}};
    DatabaseSchema schema;
    schema.name = u"Bench"_s;
    schema.users << UserSchema{u"ADMIN"_s, u"admin"_s, true, true};
    schema.tables << table;
    return schema;
}

void fill(const QString& path, int records) {
    VdbAdmin admin(path);
    VdbAdmin::Inserter inserter(admin, u"Kunden"_s,
                                {u"ID"_s, u"Telefon"_s, u"Telefax"_s, u"Mobil"_s});
    for (int i = 0; i < records; ++i) {
        const QString n = QString::number(1000000 + i);
        inserter.add(
            {records - i, QString(u"030 "_s + n), QString(u"040 "_s + n), QString(u"0171 "_s + n)});
    }
    inserter.commit();
}

void runInterfaces(const QString& path, int records) {
    const DatabasePtr db = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    const TablePtr table = db->Tables()->Item(u"Kunden"_s);
    const auto fields = table->Fields();
    const FieldPtr phones[] = {fields->Item(u"Telefon"_s), fields->Item(u"Telefax"_s),
                               fields->Item(u"Mobil"_s)};
    const auto transaction = db->GetTransaction(0);
    Stopwatch watch;
    table->Indexes()->Activate(u"ID"_s, 0);
    transaction->Begin(0);
    int visited = 0;
    table->MoveFirst(256);
    table->Eof();
    std::printf("interfaces: first record after %.2f s (the visit order is fixed)\n",
                watch.seconds());
    for (; !table->Eof(); table->Skip(1, 256)) {
        for (const FieldPtr& field : phones)
            field->SetValue(QString(u"+"_s + field->Value().toString()));
        table->Update(256);
        if (++visited % 10 == 0) {
            transaction->Commit();
            transaction->Begin(0);
        }
    }
    transaction->Commit();
    const double seconds = watch.seconds();
    std::printf("interfaces: %d records, %.2f s, %.0f rows/s, peak memory %.1f MiB\n", visited,
                seconds, visited / seconds, peakMemoryMiB());
    if (visited != records)
        std::printf("ERROR: visited %d of %d records\n", visited, records);
}

void runPlainSqlite(const QString& path, int records) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    sqlite3_stmt* page = nullptr;
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT vdb_rid, \"Telefon\", \"Telefax\", \"Mobil\" FROM \"Kunden\" "
                       "WHERE vdb_rid > ? ORDER BY vdb_rid LIMIT 10",
                       -1, &page, nullptr);
    sqlite3_prepare_v2(db,
                       "UPDATE \"Kunden\" SET \"Telefon\" = ?, \"Telefax\" = ?, \"Mobil\" = ? "
                       "WHERE vdb_rid = ?",
                       -1, &update, nullptr);
    Stopwatch watch;
    sqlite3_int64 last = 0;
    int visited = 0;
    for (;;) {
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_int64(page, 1, last);
        int inBatch = 0;
        struct Row {
            sqlite3_int64 id;
            std::string a, b, c;
        } rows[10];
        while (sqlite3_step(page) == SQLITE_ROW) {
            Row& row = rows[inBatch++];
            row.id = sqlite3_column_int64(page, 0);
            row.a = std::string("-") + reinterpret_cast<const char*>(sqlite3_column_text(page, 1));
            row.b = std::string("-") + reinterpret_cast<const char*>(sqlite3_column_text(page, 2));
            row.c = std::string("-") + reinterpret_cast<const char*>(sqlite3_column_text(page, 3));
        }
        sqlite3_reset(page);
        for (int i = 0; i < inBatch; ++i) {
            sqlite3_bind_text(update, 1, rows[i].a.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(update, 2, rows[i].b.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(update, 3, rows[i].c.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(update, 4, rows[i].id);
            sqlite3_step(update);
            sqlite3_reset(update);
            last = rows[i].id;
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        visited += inBatch;
        if (inBatch < 10)
            break;
    }
    const double seconds = watch.seconds();
    sqlite3_finalize(page);
    sqlite3_finalize(update);
    sqlite3_close(db);
    std::printf("plain SQLite, per-batch query: %d records, %.2f s, %.0f rows/s\n", visited,
                seconds, visited / seconds);
    if (visited != records)
        std::printf("ERROR: visited %d of %d records\n", visited, records);
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    const QString path = folder + u"/vdb_cursor_bench.vdb"_s;
    for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
        QFile::remove(path + suffix);
    // The data is made in a child process, so that the peak memory printed is the visit's own.
    const pid_t child = fork();
    if (child == 0) {
        createVdbFile(path, benchSchema(), PasswordCost::Minimal);
        Stopwatch fillWatch;
        fill(path, records);
        std::printf("filled %d records in %.2f s\n", records, fillWatch.seconds());
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("ERROR: making the data failed\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    runInterfaces(path, records);
    runPlainSqlite(path, records);
    for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
        QFile::remove(path + suffix);
    return 0;
}
