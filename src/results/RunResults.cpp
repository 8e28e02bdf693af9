#include "RunResults.h"

#include "RunReport.h"

#include <algorithm>
#include <limits>

Outcome outcomeOf(Unreadable reason) {
    switch (reason) {
    case Unreadable::Converted:
        return Outcome::Converted;
    case Unreadable::RefusedByCondition:
        return Outcome::Refused;
    case Unreadable::DateOrTime:
    case Unreadable::DecimalNumber:
    case Unreadable::GroupedThousands:
    case Unreadable::IpAddress:
    case Unreadable::InAddress:
        return Outcome::NotANumber;
    case Unreadable::LayoutOnly:
        return Outcome::LayoutOnly;
    case Unreadable::UndoConflict:
        return Outcome::Conflict;
    case Unreadable::NoValidNumber:
    case Unreadable::TwoNumbers:
    case Unreadable::DigitsAmongWords:
    case Unreadable::TooLong:
    case Unreadable::InvalidBytes:
    case Unreadable::UnknownCountry:
        break;
    }
    return Outcome::Unreadable;
}

quint32 RunResults::nameIndex(const QString& name) {
    const auto found = nameIndex_.constFind(name);
    if (found != nameIndex_.cend())
        return *found;
    const auto index = static_cast<quint32>(names_.size());
    names_ << name;
    nameIndex_.insert(name, index);
    return index;
}

void RunResults::add(const UnreadableValue& value) {
    Row row{
        text_.size(), {}, nameIndex(value.table), nameIndex(value.field), nameIndex(value.country),
        value.reason};
    const std::array<const QString*, 4> parts{&value.key, &value.label, &value.value,
                                              &value.detail};
    for (size_t i = 0; i < parts.size(); ++i) {
        // No text a database holds comes near; a longer one is cut rather than miscounted.
        const qsizetype length =
            std::min<qsizetype>(parts[i]->size(), std::numeric_limits<quint32>::max());
        row.length[i] = static_cast<quint32>(length);
        text_.append(QStringView(*parts[i]).first(length));
    }
    rows_.append(row);
    ++counts_[size_t(value.reason)];
}

void RunResults::addAll(QList<UnreadableValue>&& values) {
    for (const UnreadableValue& value : values)
        add(value);
    values.clear();
}

void RunResults::truncate(qsizetype rows) {
    if (rows >= rows_.size())
        return;
    for (qsizetype i = rows; i < rows_.size(); ++i)
        --counts_[size_t(rows_[i].reason)];
    text_.truncate(rows_[rows].start);
    rows_.resize(rows);
}

void RunResults::clear() {
    rows_ = QList<Row>();
    text_ = QString();
    names_.clear();
    nameIndex_.clear();
    counts_ = {};
}

qint64 RunResults::count(Outcome outcome) const {
    qint64 sum = 0;
    for (int r = 0; r < kRowReasons; ++r) {
        if (outcomeOf(Unreadable(r)) == outcome)
            sum += counts_[size_t(r)];
    }
    return sum;
}

QStringView RunResults::text(qsizetype row, int part) const {
    const Row& r = rows_[row];
    qint64 start = r.start;
    for (int i = 0; i < part; ++i)
        start += r.length[size_t(i)];
    return QStringView(text_).sliced(start, r.length[size_t(part)]);
}

UnreadableValue RunResults::at(qsizetype row) const {
    return UnreadableValue{table(row),
                           key(row).toString(),
                           label(row).toString(),
                           field(row),
                           value(row).toString(),
                           reason(row),
                           detail(row).toString(),
                           country(row)};
}

QList<quint32> RunResults::select(quint32 reasons, const QString& search) const {
    QList<quint32> chosen;
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        if ((reasons & (1u << quint32(row.reason))) == 0)
            continue;
        const auto holds = [&search](QStringView cell) {
            return cell.contains(search, Qt::CaseInsensitive);
        };
        // The row's texts lie side by side: each is searched on its own, never across two.
        if (search.isEmpty() || holds(names_[row.table]) || holds(names_[row.field]) ||
            holds(key(i)) || holds(label(i)) || holds(value(i)) || holds(detail(i)))
            chosen << static_cast<quint32>(i);
    }
    return chosen;
}

bool RunResults::saveReport(const QString& path, const FileModes& modes, QString& error) const {
    RunReport report;
    if (!report.open(path, modes)) {
        error = report.error();
        return false;
    }
    try {
        for (qsizetype i = 0; i < rows_.size(); ++i) {
            const Outcome outcome = outcomeOf(rows_[i].reason);
            if (outcome != Outcome::Converted && outcome != Outcome::Conflict)
                report.add(at(i));
        }
    } catch (const ErrorRecord&) {
        // The report says what failed.
    }
    if (report.commit())
        return true;
    error = report.error();
    return false;
}
