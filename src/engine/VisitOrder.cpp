#include "VisitOrder.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr size_t kBuffered = 4096;
constexpr auto kIdSize = static_cast<qint64>(sizeof(qint64));

} // namespace

VisitOrder::VisitOrder(EngineError error)
    : error_(error) {
    if (!file_.open())
        throw error_(VdbCode::StorageFailure,
                     u"cannot create a temporary file for the visit order: "_s +
                         file_.errorString());
    buffer_.reserve(kBuffered);
}

void VisitOrder::add(qint64 id) {
    buffer_.push_back(id);
    if (buffer_.size() == kBuffered)
        flush();
}

void VisitOrder::finish() {
    flush();
}

void VisitOrder::flush() {
    const auto bytes = static_cast<qint64>(buffer_.size()) * kIdSize;
    if (file_.write(reinterpret_cast<const char*>(buffer_.data()), bytes) != bytes)
        throw error_(VdbCode::StorageFailure,
                     u"cannot write the visit order: "_s + file_.errorString());
    count_ += static_cast<qint64>(buffer_.size());
    buffer_.clear();
}

qint64 VisitOrder::read(qint64 count, std::vector<qint64>& ids) {
    count = std::min(count, count_ - position_);
    if (count <= 0)
        return 0;
    const size_t before = ids.size();
    ids.resize(before + static_cast<size_t>(count));
    const qint64 bytes = count * kIdSize;
    if (!file_.seek(position_ * kIdSize) ||
        file_.read(reinterpret_cast<char*>(ids.data() + before), bytes) != bytes) {
        ids.resize(before);
        throw error_(VdbCode::StorageFailure,
                     u"cannot read the visit order: "_s + file_.errorString());
    }
    position_ += count;
    return count;
}
