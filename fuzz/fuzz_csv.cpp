// CSV import: any bytes are read as records or refused with ToolError; what is read writes
// back (csvLine) to text that reads as the same records.
#include "Csv.h"
#include "FuzzSupport.h"
#include "ToolError.h"

#include <QBuffer>

namespace {

QList<CsvRecord> readAll(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer);
    QList<CsvRecord> records;
    CsvRecord record;
    while (reader.next(record))
        records.append(record);
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QList<CsvRecord> records;
    try {
        records = readAll(fuzzBytes(data, size));
    } catch (const ToolError&) {
        return 0;
    }
    QString written;
    for (const CsvRecord& record : records) {
        QList<std::optional<QString>> cells;
        for (const CsvCell& cell : record.cells)
            cells.append(cell.isNull() ? std::nullopt : std::optional<QString>(cell.text));
        written += csvLine(cells);
    }
    const QList<CsvRecord> again = readAll(written.toUtf8());
    FUZZ_ASSERT(again.size() == records.size());
    for (qsizetype r = 0; r < records.size(); ++r) {
        FUZZ_ASSERT(again[r].cells.size() == records[r].cells.size());
        for (qsizetype c = 0; c < records[r].cells.size(); ++c) {
            FUZZ_ASSERT(again[r].cells[c].text == records[r].cells[c].text);
            FUZZ_ASSERT(again[r].cells[c].isNull() == records[r].cells[c].isNull());
        }
    }
    return 0;
}
