// The expression language: any text compiles or fails with ErrorRecord; a compiled expression
// evaluates on a real record or fails with ErrorRecord.
#include "ErrorRecord.h"
#include "FuzzSupport.h"
#include "VdbAdmin.h"
#include "VdbCreate.h"
#include "VdbServer.h"

#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

FieldSchema field(const QString& name, FieldType type) {
    return FieldSchema{name, type, {}};
}

DatabasePtr openSample() {
    static QTemporaryDir dir;
    const QString path = dir.filePath(u"sample.vdb"_s);
    DatabaseSchema schema;
    schema.name = u"Fuzz"_s;
    schema.users << UserSchema{u"ADMIN"_s, u"admin"_s, true, true};
    TableSchema customers{u"Kunden"_s, {}, {}, {}, {}, {}};
    customers.fields << field(u"Name"_s, FieldType::Text) << field(u"Ort"_s, FieldType::Text)
                     << field(u"Leer"_s, FieldType::Text) << field(u"Nr"_s, FieldType::Integer)
                     << field(u"Wert"_s, FieldType::Real) << field(u"Seit"_s, FieldType::Date);
    TableSchema awkward{u"Contact persons"_s, {}, {}, {}, {}, {}};
    awkward.fields << field(u"Mobile + phone"_s, FieldType::Text)
                   << field(u"a->b"_s, FieldType::Text);
    schema.tables << customers << awkward;
    createVdbFile(path, schema, PasswordCost::Minimal);
    VdbAdmin(path).insertRows(
        u"Kunden"_s, {u"Name"_s, u"Ort"_s, u"Nr"_s, u"Wert"_s, u"Seit"_s},
        {{u"Meier"_s, u"Berlin"_s, 9223372036854775807LL, 1.0e300, u"2024-03-05"_s}});
    VdbAdmin(path).insertRows(u"Contact persons"_s, {u"Mobile + phone"_s, u"a->b"_s},
                              {{u"0171 1"_s, u"ab"_s}});
    DatabasePtr db = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    for (const TablePtr& table : db->Tables())
        table->MoveFirst(0);
    return db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const DatabasePtr db = openSample();
    static const auto evaluator = db->Evaluator();
    const QString text = QString::fromUtf8(fuzzBytes(data, size));
    try {
        (void)evaluator->Compile(text, 0)->Evaluate(0);
    } catch (const ErrorRecord&) {
    }
    return 0;
}
