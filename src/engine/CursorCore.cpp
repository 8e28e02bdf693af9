#include "CursorCore.h"

#include "FieldValues.h"
#include "VdbObjects.h"

#include <limits>

using namespace Qt::StringLiterals;

CursorCore::CursorCore(QString fileName, Catalogue catalogue, Login login, EngineError error)
    : fileName_(std::move(fileName))
    , catalogue_(std::move(catalogue))
    , login_(std::move(login))
    , error_(error)
    , handles_(catalogue_.tables.size()) {}

std::shared_ptr<Table> CursorCore::tableHandle(int t) {
    std::shared_ptr<Table> handle = handles_[t].lock();
    if (!handle) {
        handle = makeTableHandle(shared_from_this(), t);
        handles_[t] = handle;
    }
    return handle;
}

int CursorCore::tableIndex(const QString& name) const {
    const int t = catalogue_.tablePosition(name);
    if (t < 0)
        throw error(VdbCode::NoSuchItem, u"There is no table named \""_s + name + u"\"."_s);
    return t;
}

int CursorCore::fieldIndex(int t, const QString& name) const {
    const int f = table(t).fieldPosition(name);
    if (f < 0)
        throw error(VdbCode::NoSuchItem, u"The table \""_s + table(t).name +
                                             u"\" has no field named \""_s + name + u"\"."_s);
    return f;
}

void CursorCore::activateIndex(int t, int index) {
    visitOf(t).activeIndex = index;
}

void CursorCore::setShowMarked(int t, bool on) {
    visitOf(t).showMarked = on;
}

void CursorCore::setShowUnmarked(int t, bool on) {
    visitOf(t).showUnmarked = on;
}

QString CursorCore::visitFilter(int t, const QString& marksTable) {
    const Visit& visit = visitOf(t);
    if (visit.showMarked && visit.showUnmarked)
        return {};
    const QString marked = u"EXISTS (SELECT 1 FROM "_s + marksTable + u" m WHERE m.table_id = "_s +
                           QString::number(table(t).id) + u" AND m.rid = t."_s + rowIdColumn() +
                           u')';
    return visit.showMarked ? u" AND "_s + marked : u" AND NOT "_s + marked;
}

bool CursorCore::nextOrderPage(Visit& visit, std::vector<qint64>& ids) {
    if (visit.order->read(kPageSize, ids) > 0)
        return true;
    visit.exhausted = true;
    return false;
}

void CursorCore::dropEdits(Visit& visit) {
    for (auto& edit : visit.edits)
        edit.reset();
    visit.dirty = false;
}

void CursorCore::moveFirst(int t) {
    Visit& visit = visitOf(t);
    dropEdits(visit);
    clearPage(t);
    visit.pagePosition = 0;
    visit.eof = false;
    visit.loaded = false;
    visit.pending = true;
}

void CursorCore::startIfPending(int t) {
    Visit& visit = visitOf(t);
    if (!visit.pending)
        return;
    visit.pending = false;
    ++visit.visit;
    visit.eof = true;
    visit.order.reset();
    visit.exhausted = false;
    if (!visit.showMarked && !visit.showUnmarked) {
        visit.exhausted = true;
        return;
    }
    if (visit.activeIndex >= 0) {
        auto order = std::make_unique<VisitOrder>(error_);
        readOrder(t, *order);
        order->finish();
        visit.order = std::move(order);
    } else {
        startRowIdVisit(t);
        visit.lastKey = std::numeric_limits<qint64>::min();
    }
    advance(t);
}

void CursorCore::skip(int t, qint32 count) {
    if (count < 0)
        throw error(VdbCode::InvalidArgument, u"Skip moves forward only."_s);
    startIfPending(t);
    Visit& visit = visitOf(t);
    if (count == 0 || visit.eof)
        return;
    dropEdits(visit);
    for (qint32 i = 0; i < count && !visit.eof; ++i)
        advance(t);
}

bool CursorCore::eof(int t) {
    startIfPending(t);
    return visitOf(t).eof;
}

void CursorCore::requireCurrent(int t) {
    startIfPending(t);
    const Visit& visit = visitOf(t);
    if (visit.eof)
        throw error(VdbCode::NoCurrentRecord,
                    u"The table \""_s + table(t).name + u"\" has no current record."_s);
    if (!visit.loaded && !loadCurrent(t))
        throw error(VdbCode::NoCurrentRecord, u"The current record of the table \""_s +
                                                  table(t).name + u"\" no longer exists."_s);
}

QString CursorCore::recordId(int t) {
    requireCurrent(t);
    return QString::number(currentId(t));
}

QVariant CursorCore::value(int t, int f) {
    requireCurrent(t);
    const std::optional<QVariant>& edit = visitOf(t).edits[f];
    return fieldValueFromStored(table(t).fields[f].type, edit ? *edit : currentValue(t, f));
}

QList<QVariantList> CursorCore::readAhead(int t, const std::vector<int>& fields, qint32 count) {
    startIfPending(t);
    if (visitOf(t).eof || count <= 0)
        return {};
    return readAheadAt(t, fields, count);
}

QVariant CursorCore::storedValue(int t, int f, const QVariant& value) const {
    return storedFieldValue(table(t).fields[f], value);
}

void CursorCore::setValue(int t, int f, const QVariant& value) {
    requireCurrent(t);
    // Bytes that are no text were never understood: overwriting them would lose the original.
    if (currentValue(t, f).metaType().id() == QMetaType::QByteArray)
        throw error(VdbCode::TypeMismatch, u"The stored value of the field \""_s +
                                               table(t).fields[f].name + u"\" is not "_s +
                                               notText() + u"; it is left as it is."_s);
    Visit& visit = visitOf(t);
    visit.edits[f] = storedValue(t, f, value);
    visit.dirty = true;
}
