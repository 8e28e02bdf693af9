#include "RemoteCursor.h"

#include "RemoteDatabase.h"
#include "RemoteLink.h"
#include "RemoteNames.h"
#include "RemoteValues.h"

#include <QDBusArgument>
#include <QDBusMetaType>

using namespace Qt::StringLiterals;

namespace {

bool names(const QString& text, const QStringList& fields) {
    return std::any_of(fields.cbegin(), fields.cend(),
                       [&](const QString& field) { return text.contains(field); });
}

QList<bool> flags(const QVariant& argument) {
    if (argument.canConvert<QDBusArgument>())
        return qdbus_cast<QList<bool>>(argument.value<QDBusArgument>());
    return argument.value<QList<bool>>();
}

} // namespace

RemoteCursor::RemoteCursor(std::shared_ptr<RemoteLink> link, QString table)
    : link_(std::move(link))
    , table_(std::move(table)) {}

bool RemoteCursor::paged() const {
    return link_->pages();
}

const RemoteCursor::Row* RemoteCursor::row() const {
    return valid_ && position_ < rows_.size() ? &rows_[position_] : nullptr;
}

bool RemoteCursor::eof() {
    if (paged()) {
        if (valid_ && (position_ < rows_.size() || eofAfter_))
            return position_ >= rows_.size();
        if (fetch() && (position_ < rows_.size() || eofAfter_))
            return position_ >= rows_.size();
    }
    sync();
    return link_->value(u"Eof"_s, {table_}).toBool();
}

// Reads the page from where the run is; false when there is none to be had here.
bool RemoteCursor::fetch() {
    // Going ahead and back would drop what the host's edit buffer holds.
    if (!paged() || hostEdited_ || !writeFields_.isEmpty())
        return false;
    valid_ = false;
    const qint32 owed = std::exchange(owed_, 0);
    bool unknown = false;
    const QList<QVariant> out =
        link_->call(u"Page"_s, {table_, owed, batch_, wantFields_, wantTexts_, skipOpt_}, &unknown);
    if (unknown) {
        link_->noPages();
        owed_ = owed;
        return false;
    }
    // The shape is the link's to check; the sizes are ours. Nothing beyond what was asked for is
    // unpacked.
    const QStringList ids = out.at(1).toStringList();
    const QStringList keys = out.at(2).toStringList();
    const qsizetype count = ids.size();
    if (count > batch_)
        throw RemoteLink::failure(RemoteCode::CallFailed,
                                  u" (Page: "_s + QString::number(count) + u" records, "_s +
                                      QString::number(batch_) + u" asked for)"_s);
    const qsizetype fields = wantFields_.size();
    const qsizetype texts = wantTexts_.size();
    const QList<QVariant> values = Remote::unpackValues(out.at(3), count * fields);
    const QList<QVariant> evaluations = Remote::unpackValues(out.at(4), count * texts);
    const QList<bool> evaluated = flags(out.at(5));
    if (keys.size() != count || values.size() != count * fields ||
        evaluations.size() != count * texts || evaluated.size() != count * texts)
        throw RemoteLink::failure(RemoteCode::CallFailed,
                                  u" (Page: the lists do not match the records)"_s);
    rows_.assign(static_cast<size_t>(count), Row{});
    for (qsizetype r = 0; r < count; ++r) {
        Row& row = rows_[static_cast<size_t>(r)];
        row.id = ids.at(r);
        row.key = keys.at(r);
        row.values = values.mid(r * fields, fields);
        row.evaluations = evaluations.mid(r * texts, texts);
        row.evaluated = evaluated.mid(r * texts, texts);
    }
    eofAfter_ = out.at(0).toBool();
    position_ = 0;
    writtenHere_.clear();
    pageFields_ = wantFields_;
    pageTexts_ = wantTexts_;
    written_.clear();
    valid_ = count > 0 || eofAfter_;
    link_->setActive(this);
    return valid_;
}

void RemoteCursor::sync() {
    if (owed_ > 0)
        link_->call(u"Skip"_s, {table_, std::exchange(owed_, 0), skipOpt_});
}

void RemoteCursor::dropPage() {
    valid_ = false;
    written_.clear();
    if (consumed_ > 0)
        batch_ = std::clamp(consumed_, 1, Remote::mostPerPage);
    consumed_ = 0;
}

void RemoteCursor::moveFirst(qint32 opt) {
    valid_ = false;
    owed_ = 0;
    hostEdited_ = false;
    writeError_.reset();
    clearWrites();
    writtenHere_.clear();
    link_->moved(this);
    link_->call(u"MoveFirst"_s, {table_, opt});
}

void RemoteCursor::skip(qint32 count, qint32 opt) {
    link_->moved(this);
    if (!paged() || count <= 0) {
        sync();
        link_->call(u"Skip"_s, {table_, count, opt});
        valid_ = valid_ && count == 0;
        return;
    }
    // The host's Skip drops its edit buffer, as ours.
    clearWrites();
    writtenHere_.clear();
    hostEdited_ = false;
    writeError_.reset();
    owed_ += count;
    skipOpt_ = opt;
    consumed_ += count;
    position_ += static_cast<size_t>(count);
    if (valid_ && position_ >= rows_.size() && !eofAfter_)
        valid_ = false;
}

void RemoteCursor::callHere(const QString& method, const QList<QVariant>& args) {
    sync();
    valid_ = false;
    link_->moved(this);
    link_->call(method, args);
}

void RemoteCursor::clearWrites() {
    writeFields_.clear();
    writeValues_.clear();
}

void RemoteCursor::setValue(const QString& field, const QVariant& value) {
    if (!paged()) {
        link_->call(u"SetValue"_s, {table_, field, Remote::packValue(value)});
        return;
    }
    writeFields_ << field;
    writeValues_ << value;
    written_ << field;
    writtenHere_ << field;
}

// Rarely needed: a read of what this record's buffer holds. A value the host refuses fails
// the record's Update, which then stores nothing.
void RemoteCursor::flushWrites() {
    sync();
    for (qsizetype i = 0; i < writeFields_.size(); ++i) {
        try {
            link_->call(u"SetValue"_s,
                        {table_, writeFields_.at(i), Remote::packValue(writeValues_.at(i))});
        } catch (const ErrorRecord& error) {
            if (!writeError_)
                writeError_ = error;
        }
        hostEdited_ = true;
    }
    clearWrites();
}

void RemoteCursor::prepareEvaluation(const QString& text) {
    if (names(text, writeFields_))
        flushWrites();
    sync();
}

void RemoteCursor::update(qint32 opt) {
    if (!paged()) {
        link_->call(u"Update"_s, {table_, opt});
        return;
    }
    if (writeError_) {
        const ErrorRecord error = *writeError_;
        writeError_.reset();
        clearWrites();
        throw error;
    }
    if (link_->stores()) {
        const qint32 owed = std::exchange(owed_, 0);
        const QStringList fields = std::exchange(writeFields_, {});
        const QList<QVariant> values = std::exchange(writeValues_, {});
        // Stored or refused as one: the host keeps its edit buffer only when its Update fails.
        bool unknown = false;
        hostEdited_ = true;
        link_->call(u"Store"_s, {table_, owed, fields, Remote::packValues(values), opt}, &unknown);
        hostEdited_ = false;
        if (!unknown)
            return;
        // A host that reads pages but stores only value by value.
        link_->noStore();
        owed_ = owed;
        writeFields_ = fields;
        writeValues_ = values;
    }
    flushWrites();
    if (writeError_) {
        const ErrorRecord error = *std::exchange(writeError_, std::nullopt);
        throw error;
    }
    link_->call(u"Update"_s, {table_, opt});
    hostEdited_ = false;
}

QVariant RemoteCursor::value(const QString& field) {
    if (paged()) {
        if (writeFields_.contains(field)) {
            flushWrites();
        } else if (!writtenHere_.contains(field)) {
            if (!wantFields_.contains(field)) {
                wantFields_ << field;
                fetch();
            }
            if (const Row* here = row(); here && pageFields_.contains(field))
                return here->values.at(pageFields_.indexOf(field));
        }
    }
    sync();
    return Remote::unpackValue(link_->value(u"Value"_s, {table_, field}));
}

QString RemoteCursor::recordId() {
    if (const Row* here = row())
        return here->id;
    sync();
    return link_->value(u"RecordId"_s, {table_}).toString();
}

QString RemoteCursor::recordKey() {
    if (!keys_)
        return {};
    if (const Row* here = row())
        return here->key;
    sync();
    bool unknown = false;
    const QList<QVariant> out = link_->call(u"RecordKey"_s, {table_}, &unknown);
    keys_ = !unknown;
    return out.isEmpty() ? QString() : out.first().toString();
}

std::optional<QVariant> RemoteCursor::evaluation(const QString& text) const {
    const Row* here = row();
    const qsizetype at = pageTexts_.indexOf(text);
    if (!here || at < 0 || !here->evaluated.at(at) || names(text, written_))
        return std::nullopt;
    return here->evaluations.at(at);
}

void RemoteCursor::wantEvaluation(const QString& text) {
    if (paged() && !wantTexts_.contains(text))
        wantTexts_ << text;
}
