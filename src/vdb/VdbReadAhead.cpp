// Reading a batch of records in one go: one statement for the records a batch visits, instead
// of one point query each. Rows read ahead are kept only inside the transaction that read them
// (which holds the write lock), so what the visit sees is as fresh as a read at the record.

#include "VdbCore.h"

#include "VdbCatalogueSql.h"

#include <algorithm>

using namespace Qt::StringLiterals;

void VdbCore::newTransaction() {
    ++transaction_;
    for (Cursor& cursor : cursors_)
        cursor.ahead.clear();
}

// The current record's row id and those the visit reaches after it, count at most.
std::vector<qint64> VdbCore::upcomingRowIds(int t, qint32 count) {
    Cursor& cursor = cursors_[t];
    std::vector<qint64> ids{cursor.current};
    for (size_t k = 0; ids.size() < static_cast<size_t>(count); ++k) {
        if (cursor.pagePosition + k >= cursor.page.size()) {
            // The ids not visited yet stay, now from position 0.
            if (!fetchPage(t, true))
                break;
        }
        ids.push_back(cursor.page[cursor.pagePosition + k]);
    }
    return ids;
}

std::unordered_map<qint64, std::vector<QVariant>>
VdbCore::loadRows(int t, const std::vector<qint64>& ids) {
    // Ids that follow one another closely, as in a visit without an index, are read as one range:
    // an IN list costs SQLite a temporary table on every run of the statement.
    const bool ascending = std::is_sorted(ids.cbegin(), ids.cend()) && !ids.empty() &&
                           ids.back() - ids.front() < static_cast<qint64>(2 * ids.size());
    std::unique_ptr<SqliteStatement>& statement =
        ascending ? statements_[t].readRange : statements_[t].readAhead[ids.size()];
    if (!statement) {
        QStringList columns{rowIdColumn()};
        for (const FieldDef& field : table(t).fields)
            columns << quoteIdentifier(field.name);
        QString where = rowIdColumn() + u" BETWEEN ? AND ?"_s;
        if (!ascending) {
            QStringList marks;
            for (size_t i = 0; i < ids.size(); ++i)
                marks << u"?"_s;
            where = rowIdColumn() + u" IN ("_s + marks.join(u", "_s) + u')';
        }
        statement = db_->prepare(u"SELECT "_s + columns.join(u", "_s) + u" FROM "_s +
                                     quoteIdentifier(table(t).name) + u" WHERE "_s + where,
                                 true);
    }
    StatementScope scope(*statement);
    if (ascending) {
        statement->bindInt(1, ids.front());
        statement->bindInt(2, ids.back());
    } else {
        for (size_t i = 0; i < ids.size(); ++i)
            statement->bindInt(static_cast<int>(i) + 1, ids[i]);
    }
    const auto fieldCount = static_cast<int>(table(t).fields.size());
    std::unordered_map<qint64, std::vector<QVariant>> rows;
    while (statement->step()) {
        // A range also holds rows the visit passes over.
        if (ascending && !std::binary_search(ids.cbegin(), ids.cend(), statement->integer(0)))
            continue;
        std::vector<QVariant> row(static_cast<size_t>(fieldCount));
        for (int f = 0; f < fieldCount; ++f)
            row[static_cast<size_t>(f)] = statement->value(f + 1);
        rows.emplace(statement->integer(0), std::move(row));
    }
    return rows;
}

// The row of the record the visit moves to: read ahead already, or (when a read ahead has set
// the pace) read together with the records after it, or alone.
bool VdbCore::loadVisited(int t) {
    Cursor& cursor = cursors_[t];
    if (!inTransaction() || cursor.aheadCount <= 1)
        return loadCurrent(t);
    auto found = cursor.ahead.find(cursor.current);
    if (found == cursor.ahead.end()) {
        cursor.ahead = loadRows(t, upcomingRowIds(t, cursor.aheadCount));
        found = cursor.ahead.find(cursor.current);
        if (found == cursor.ahead.end()) {
            cursor.loaded = false;
            return false;
        }
    }
    cursor.row = std::move(found->second);
    cursor.ahead.erase(found);
    cursor.loaded = true;
    cursor.rowTransaction = transaction_;
    return true;
}

QList<QVariantList> VdbCore::readAheadAt(int t, const std::vector<int>& fields, qint32 count) {
    Cursor& cursor = cursors_[t];
    QList<QVariantList> values;
    cursor.aheadCount = count;
    const std::vector<qint64> ids = upcomingRowIds(t, count);
    const bool inside = inTransaction();
    // Read in this transaction already (the move onto the current record read them): no second
    // statement.
    bool fresh = inside && cursor.loaded && cursor.rowTransaction == transaction_;
    for (size_t i = 1; fresh && i < ids.size(); ++i)
        fresh = cursor.ahead.contains(ids[i]);
    std::unordered_map<qint64, std::vector<QVariant>> loaded;
    if (!fresh) {
        loaded = loadRows(t, ids);
        auto current = loaded.find(cursor.current);
        // The current record is gone: nothing to hand out in the visit's place.
        if (current == loaded.end())
            return values;
        if (!cursor.dirty) {
            cursor.row = std::move(current->second);
            cursor.loaded = true;
            cursor.rowTransaction = transaction_;
        }
        loaded.erase(current);
    }
    auto valuesOf = [&](const std::vector<QVariant>& row, bool current) {
        QVariantList list;
        for (const int f : fields) {
            const auto at = static_cast<size_t>(f);
            const QVariant& stored = current && cursor.edits[at] ? *cursor.edits[at] : row[at];
            list << fromStored(table(t).fields[f].type, stored);
        }
        return list;
    };
    values << valuesOf(cursor.row, true);
    for (size_t i = 1; i < ids.size(); ++i) {
        if (fresh) {
            values << valuesOf(cursor.ahead.at(ids[i]), false);
            continue;
        }
        const auto found = loaded.find(ids[i]);
        // Deleted since the visit began: the visit passes over it as well.
        if (found == loaded.end())
            continue;
        values << valuesOf(found->second, false);
        if (inside)
            cursor.ahead.insert_or_assign(ids[i], std::move(found->second));
    }
    return values;
}
