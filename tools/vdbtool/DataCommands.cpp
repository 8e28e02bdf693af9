#include "Commands.h"

#include "Csv.h"
#include "DatabaseAdmin.h"
#include "DbServer.h"
#include "ToolError.h"
#include "VdbObjects.h"
#include "VdbServer.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <deque>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kImportHelp =
    u"Usage: vdbtool import FILE TABLE CSV\n"
    "\n"
    "Appends the records of the CSV file (RFC 4180, UTF-8) to TABLE, all in one transaction.\n"
    "The first line names the fields; fields it leaves out stay Null. An unquoted empty cell\n"
    "is Null, a quoted empty cell \"\" the empty text. When one record cannot be stored (an\n"
    "unknown field, a wrong number of cells, a value that breaks a field's type or condition),\n"
    "nothing is imported and the error names the CSV line where that record starts.\n"_s;

const QString kExportHelp =
    u"Usage: vdbtool export FILE TABLE\n"
    "\n"
    "Writes TABLE as CSV (RFC 4180, UTF-8, CRLF line ends) to standard output: the field names\n"
    "first, then the records in the order they were stored. Null is an empty unquoted cell,\n"
    "the empty text a quoted empty cell \"\", so that importing the output gives the same\n"
    "values. A stored text that is not valid UTF-8 is written quoted and byte for byte as it\n"
    "is stored, so that nothing of it is lost (import refuses such a line).\n"_s;

const QString kMarkHelp = u"Usage: vdbtool mark FILE TABLE (--all | ID...)\n"
                          "       vdbtool unmark FILE TABLE (--all | ID...)\n"
                          "\n"
                          "Marks or unmarks every record of TABLE (--all), or the records whose "
                          "field \"ID\" holds\n"
                          "one of the IDs given, and says how many records changed.\n"_s;

// The engine counts rows from 1 in its messages; the CSV line says more to the user. A server
// writes rows in groups, so the row a failure names may lie before the record being read: the
// lines of the last records are kept to find it. Without a row named, the failure is line's.
class RowLines {
public:
    void add(qint64 line) {
        lines_.push_back(line);
        if (lines_.size() > kKept)
            lines_.pop_front();
        ++rows_;
    }
    QString onLine(const QString& description, std::optional<qint64> line) const {
        static const QRegularExpression row(u"^row (\\d+): "_s);
        const QRegularExpressionMatch match = row.match(description);
        const qint64 first = rows_ - static_cast<qint64>(lines_.size()) + 1;
        const qint64 named = match.hasMatch() ? match.captured(1).toLongLong() : 0;
        if (named >= first && named <= rows_)
            return u"line "_s + QString::number(lines_[static_cast<size_t>(named - first)]) +
                   u": "_s + description.mid(match.capturedLength());
        return line ? u"line "_s + QString::number(*line) + u": "_s + description : description;
    }

private:
    static constexpr size_t kKept = 4096;
    std::deque<qint64> lines_;
    qint64 rows_ = 0;
};

std::optional<QString> cellText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    default:
        return value.toString();
    }
}

// A record with a stored text that is not UTF-8: that cell is quoted and written byte for byte,
// so that nothing of it is lost (an import refuses such a file, naming the line).
QByteArray rawLine(const QList<QVariant>& values, const QList<std::optional<QString>>& cells) {
    QByteArray line;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            line += ',';
        if (values[i].metaType().id() == QMetaType::QByteArray)
            line += '"' + values[i].toByteArray().replace('"', "\"\"") + '"';
        else
            line += csvLine({cells[i]}).chopped(2).toUtf8();
    }
    return line + "\r\n";
}

void writeRaw(ToolIo& io, const QByteArray& bytes) {
    io.out.flush();
    QIODevice* device = io.out.device();
    if (device == nullptr || device->write(bytes) != bytes.size())
        fail(u"cannot write the CSV to standard output"_s);
}

int mark(const QStringList& args, ToolIo& io, bool on) {
    const CommandLine commandLine(args, {{u"all"_s, false}});
    if (commandLine.helpRequested())
        return printHelp(io, kMarkHelp);
    commandLine.expectOperands(2, std::numeric_limits<qsizetype>::max());
    const QStringList& operands = commandLine.operands();
    const QStringList ids = operands.mid(2);
    const bool all = commandLine.isSet(u"all"_s);
    if (all && !ids.isEmpty())
        usageFail(u"give either --all or IDs, not both"_s);
    if (!all && ids.isEmpty())
        usageFail(u"give --all or the IDs of the records"_s);
    const auto admin = openDatabaseAdmin(operands[0]);
    const qint64 changed =
        all ? admin->markAll(operands[1], on) : admin->mark(operands[1], ids, on);
    io.out << changed << (changed == 1 ? " record " : " records ")
           << (on ? "marked.\n" : "unmarked.\n");
    return 0;
}

} // namespace

int runImport(const QStringList& args, ToolIo& io) {
    const CommandLine commandLine(args, {});
    if (commandLine.helpRequested())
        return printHelp(io, kImportHelp);
    commandLine.expectOperands(3, 3);
    const QString& path = commandLine.operands()[0];
    const QString& table = commandLine.operands()[1];
    const QString& csvPath = commandLine.operands()[2];

    QFile csv(csvPath);
    if (!csv.open(QIODevice::ReadOnly))
        fail(u"cannot read the CSV file "_s + csvPath + u": "_s + csv.errorString());
    const auto admin = openDatabaseAdmin(path);
    const int t = admin->catalogue().tablePosition(table);
    if (t < 0)
        fail(u"the database has no table \""_s + table + u'"');
    const TableDef& def = admin->catalogue().tables[t];

    CsvReader reader(csv);
    CsvRecord header;
    try {
        if (!reader.next(header))
            fail(u"the file is empty; its first line must name the fields"_s);
    } catch (const ToolError& e) {
        fail(csvPath + u": "_s + e.message());
    }
    QStringList names;
    for (const CsvCell& cell : header.cells) {
        if (def.fieldPosition(cell.text) < 0) {
            QStringList known;
            for (const FieldDef& field : def.fields)
                known << field.name;
            fail(csvPath + u": line "_s + QString::number(header.line) + u": the table \""_s +
                 table + u"\" has no field \""_s + cell.text + u"\" (its fields: "_s +
                 known.join(u", "_s) + u')');
        }
        if (names.contains(cell.text))
            fail(csvPath + u": line "_s + QString::number(header.line) + u": the field \""_s +
                 cell.text + u"\" is named twice"_s);
        names << cell.text;
    }

    const auto inserter = admin->inserter(table, names);
    RowLines lines;
    try {
        CsvRecord record;
        while (reader.next(record)) {
            lines.add(record.line);
            const QString line = u"line "_s + QString::number(record.line) + u": "_s;
            if (record.cells.size() != names.size())
                fail(line + QString::number(record.cells.size()) +
                     u" cells, but the first "
                     "line names "_s +
                     QString::number(names.size()) + u" fields"_s);
            QVariantList values;
            values.reserve(names.size());
            for (const CsvCell& cell : record.cells)
                values << (cell.isNull() ? QVariant() : QVariant(cell.text));
            try {
                inserter->add(values);
            } catch (const ErrorRecord& e) {
                fail(lines.onLine(e.description(), record.line));
            }
        }
        try {
            inserter->commit();
        } catch (const ErrorRecord& e) {
            fail(lines.onLine(e.description(), std::nullopt));
        }
    } catch (const ToolError& e) {
        fail(csvPath + u": "_s + e.message() + u"; nothing was imported"_s);
    }
    io.out << "Imported " << inserter->count()
           << (inserter->count() == 1 ? " record into " : " records into ") << table << ".\n";
    return 0;
}

int runExport(const QStringList& args, ToolIo& io) {
    const CommandLine commandLine(args, {});
    if (commandLine.helpRequested())
        return printHelp(io, kExportHelp);
    commandLine.expectOperands(2, 2);
    const DatabasePtr database = openDatabaseForTools(commandLine.operands()[0]);
    const TablePtr table = database->Tables()->Item(commandLine.operands()[1]);
    QList<FieldPtr> fields;
    QList<std::optional<QString>> cells;
    for (const FieldPtr& field : table->Fields()) {
        fields << field;
        cells << field->Name();
    }
    io.out << csvLine(cells);
    table->ShowMarked(true, 0);
    table->ShowUnmarked(true, 0);
    QList<QVariant> values(fields.size());
    for (table->MoveFirst(0); !table->Eof(); table->Skip(1, 0)) {
        bool raw = false;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            values[i] = fields[i]->Value();
            raw = raw || values[i].metaType().id() == QMetaType::QByteArray;
            cells[i] = cellText(values[i]);
        }
        if (raw)
            writeRaw(io, rawLine(values, cells));
        else
            io.out << csvLine(cells);
    }
    io.out.flush();
    if (io.out.status() != QTextStream::Ok)
        fail(u"cannot write the CSV to standard output"_s);
    return 0;
}

int runMark(const QStringList& args, ToolIo& io) {
    return mark(args, io, true);
}

int runUnmark(const QStringList& args, ToolIo& io) {
    return mark(args, io, false);
}
