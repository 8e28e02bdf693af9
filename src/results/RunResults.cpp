#include "RunResults.h"

#include "GlobalDefs.h"
#include "RunReport.h"
#include "StringTable.h"

#include <algorithm>

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
    Row row{text_.size(),
            {},
            nameIndex(value.table),
            nameIndex(value.field),
            nameIndex(value.country),
            static_cast<quint8>(value.reason),
            false};
    Spilled spilled{size(), {-1, -1, -1, -1}, {}};
    bool cut = false;
    const std::array<const QString*, 4> parts{&value.key, &value.label, &value.value,
                                              &value.detail};
    for (size_t i = 0; i < parts.size(); ++i) {
        QStringView part(*parts[i]);
        if (part.size() > kHeldLength) {
            spilled.start[i] = spill_.append(part);
            spilled.length[i] = part.size();
            row.spilled = row.spilled || spilled.start[i] >= 0;
            if (spilled.start[i] < 0) {
                cut = true;
                cutCause_ = spill_.error();
            }
            part = part.first(kHeldLength);
        }
        row.length[i] = static_cast<quint32>(part.size());
        text_.append(part);
    }
    if (row.spilled)
        spilled_.append(spilled);
    if (cut)
        cut_.append(size());
    rows_.append(row);
    ++counts_[size_t(value.reason)];
    ++changes_;
}

void RunResults::addAll(QList<UnreadableValue>&& values) {
    for (const UnreadableValue& value : values)
        add(value);
    values.clear();
}

void RunResults::truncate(qsizetype rows) {
    if (rows >= rows_.size())
        return;
    ++changes_;
    for (qsizetype i = rows; i < rows_.size(); ++i)
        --counts_[size_t(reason(i))];
    text_.truncate(rows_[rows].start);
    rows_.resize(rows);
    const auto byRow = [](const Spilled& spilled, qsizetype row) {
        return spilled.row < row;
    };
    const auto from = std::lower_bound(spilled_.begin(), spilled_.end(), rows, byRow);
    if (from != spilled_.end()) {
        // Its texts went to the file in order: the first that did begins what is dropped.
        const auto first = std::find_if(from->start.cbegin(), from->start.cend(),
                                        [](qint64 start) { return start >= 0; });
        spill_.truncate(*first);
    }
    spilled_.erase(from, spilled_.end());
    cut_.erase(std::lower_bound(cut_.begin(), cut_.end(), rows), cut_.end());
    if (cut_.isEmpty())
        cutCause_.clear();
}

void RunResults::clear() {
    rows_ = QList<Row>();
    text_ = QString();
    names_.clear();
    nameIndex_.clear();
    counts_ = {};
    ++changes_;
    spilled_ = QList<Spilled>();
    cut_.clear();
    cutCause_.clear();
    spill_.close();
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

const RunResults::Spilled* RunResults::spilledOf(qsizetype row) const {
    if (!rows_[row].spilled)
        return nullptr;
    const auto found = std::lower_bound(
        spilled_.cbegin(), spilled_.cend(), row,
        [](const Spilled& spilled, qsizetype wanted) { return spilled.row < wanted; });
    return &*found;
}

bool RunResults::whole(qsizetype row, Part part, QString& text, QString& error,
                       qsizetype most) const {
    const Spilled* spilled = spilledOf(row);
    if (spilled == nullptr || spilled->start[part] < 0) {
        const QStringView held = this->text(row, part);
        text = held.first(std::min(held.size(), most)).toString();
        return true;
    }
    if (spill_.read(spilled->start[part], std::min(spilled->length[part], qint64(most)), text))
        return true;
    error = FormatString(LoadResourceString(IDS_RESULTS_READ_FAILED), {spill_.error()});
    return false;
}

bool RunResults::at(qsizetype row, UnreadableValue& value, QString& error) const {
    value = UnreadableValue{table(row), {}, {}, field(row), {}, reason(row), {}, country(row)};
    return whole(row, Key, value.key, error) && whole(row, Label, value.label, error) &&
           whole(row, Value, value.value, error) && whole(row, Detail, value.detail, error);
}

bool RunResults::holds(qsizetype row, QStringView cell, int part,
                       const QStringMatcher& search) const {
    if (search.indexIn(cell) >= 0)
        return true;
    const Spilled* spilled = spilledOf(row);
    if (spilled == nullptr || spilled->start[size_t(part)] < 0)
        return false;
    // Unreadable: what is held was searched, the rest cannot be.
    bool read = true;
    return spill_.contains(spilled->start[size_t(part)], spilled->length[size_t(part)], search,
                           read);
}

QList<quint32> RunResults::select(quint32 reasons, const QString& search,
                                  const QList<quint32>* within) const {
    QList<quint32> chosen;
    const QStringMatcher matcher(search, Qt::CaseInsensitive);
    const qsizetype count = within != nullptr ? within->size() : rows_.size();
    for (qsizetype n = 0; n < count; ++n) {
        const qsizetype i = within != nullptr ? qsizetype(within->at(n)) : n;
        const Row& row = rows_[i];
        if ((reasons & (1u << quint32(row.reason))) == 0)
            continue;
        const auto holdsName = [&matcher](const QString& name) {
            return matcher.indexIn(name) >= 0;
        };
        // The row's texts lie side by side: each is searched on its own, never across two.
        if (search.isEmpty() || holdsName(names_[row.table]) || holdsName(names_[row.field]) ||
            holds(i, key(i), Key, matcher) || holds(i, label(i), Label, matcher) ||
            holds(i, value(i), Value, matcher) || holds(i, detail(i), Detail, matcher))
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
    UnreadableValue value;
    try {
        for (qsizetype i = 0; i < rows_.size(); ++i) {
            const Outcome outcome = outcomeOf(reason(i));
            if (outcome == Outcome::Converted || outcome == Outcome::Conflict)
                continue;
            // A value that cannot be read back whole leaves no report, rather than a cut one.
            if (!at(i, value, error))
                return false;
            report.add(value);
        }
    } catch (const ErrorRecord&) {
        // The report says what failed.
    }
    if (report.commit())
        return true;
    error = report.error();
    return false;
}
