// Opening a .vdb file: any bytes open or fail with ErrorRecord; an opened file's catalogue is
// read and every table visited once, its label expression included. The login is left out: it
// only adds the password hash, whose cost the file chooses.
#include "ErrorRecord.h"
#include "FuzzSupport.h"
#include "VdbCore.h"
#include "VdbObjects.h"
#include "VdbServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

void visit(Database& db) {
    for (const TablePtr& table : db.Tables()) {
        (void)table->Caption();
        for (const auto& index : table->Indexes())
            (void)index->Name();
        (void)table->RecordCount();
        QString label;
        try {
            label = table->Properties()->Item(u"ItemExpression"_s)->Value().toString();
        } catch (const ErrorRecord&) {
        }
        table->MoveFirst(0);
        for (int n = 0; n < 20 && !table->Eof(); ++n) {
            (void)table->RecordId();
            for (const auto& field : table->Fields())
                (void)field->Value();
            if (!label.isEmpty()) {
                try {
                    (void)db.Evaluator()->Compile(label, 0)->Evaluate(0);
                } catch (const ErrorRecord&) {
                }
            }
            table->Skip(1, 0);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Memory-backed where there is one: SQLite syncs the file on every open.
    static QTemporaryDir dir(QFileInfo(u"/dev/shm"_s).isWritable()
                                 ? u"/dev/shm/fuzz-vdb-XXXXXX"_s
                                 : QDir::tempPath() + u"/fuzz-vdb-XXXXXX"_s);
    const QString path = dir.filePath(u"f.vdb"_s);
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1StringView(suffix));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(fuzzBytes(data, size));
    file.close();
    try {
        const DatabasePtr db = makeDatabaseHandle(openVdbCore(path, 0));
        visit(*db);
    } catch (const ErrorRecord&) {
    }
    return 0;
}
