#include "BatchFields.h"

#include "AppTitle.h"
#include "ChangeLog.h"
#include "ChosenFields.h"
#include "GlobalDefs.h"
#include "StringTable.h"
#include "ToolError.h"

// The fields a run of telnormer-batch works on, and the fields that name each record's country.

using namespace Qt::StringLiterals;

namespace {

QList<FieldPair> fieldsWithPrefix(Database& database, const QString& prefix) {
    QList<FieldPair> chosen;
    for (const TablePtr& table : database.Tables()) {
        const QString tableName = table->Name();
        for (const FieldPtr& field : table->Fields()) {
            const QString name = field->Name();
            if (prefixMatches(name, prefix))
                chosen << FieldPair{tableName, name};
        }
    }
    return chosen;
}

// A missing field is left to the run, which asks what to do; a missing table the run would
// pass over without a word.
void checkTables(Database& database, const QList<FieldPair>& fields) {
    QStringList tables;
    for (const TablePtr& table : database.Tables())
        tables << table->Name();
    for (const FieldPair& pair : fields) {
        if (!tables.contains(pair.table))
            usageFail(LoadResourceText(IDS_BATCH_NO_TABLE, {ChangeLog::visible(pair.table)}));
    }
}

} // namespace

// Per table the field that names the record's country; a field the table lacks, or one the run
// converts, is a usage error, as a table the database lacks is.
QHash<QString, QString> countryFields(Database& database, const QList<FieldPair>& pairs,
                                      const QList<FieldPair>& chosen) {
    QHash<QString, QString> fields;
    if (pairs.isEmpty())
        return fields;
    checkTables(database, pairs);
    for (const TablePtr& table : database.Tables()) {
        const QString name = table->Name();
        for (const FieldPair& pair : pairs) {
            if (pair.table != name)
                continue;
            bool found = false;
            for (const FieldPtr& field : table->Fields())
                found = found || field->Name() == pair.field;
            if (!found)
                usageFail(LoadResourceText(IDS_BATCH_NO_FIELD, {ChangeLog::visible(name),
                                                                ChangeLog::visible(pair.field)}));
            if (chosen.contains(pair))
                usageFail(
                    LoadResourceText(IDS_BATCH_COUNTRY_CONVERTED,
                                     {ChangeLog::visible(pair.field), ChangeLog::visible(name)}));
            fields.insert(name, pair.field);
        }
    }
    return fields;
}

QList<FieldPair> chooseFields(Database& database, const BatchCommandLine& commandLine,
                              const BatchEnvironment& environment, ToolIo& io) {
    if (!commandLine.fields().isEmpty()) {
        checkTables(database, commandLine.fields());
        return commandLine.fields();
    }
    const QString prefix =
        commandLine.prefix()
            ? *commandLine.prefix()
            : environment.settings.GetSetting(AppTitle(), SettingKey::section(),
                                              SettingKey::fieldSearchPrefix(),
                                              SettingKey::defaultFieldSearchPrefix());
    QList<FieldPair> chosen = fieldsWithPrefix(database, prefix);
    if (chosen.isEmpty())
        io.err << u"telnormer-batch: "_s << LoadResourceText(IDS_BATCH_NO_PREFIX_FIELD, {prefix})
               << '\n';
    return chosen;
}
