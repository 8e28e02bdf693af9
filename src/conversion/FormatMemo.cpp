#include "FormatMemo.h"

#include <utility>

std::optional<FormattedValue> FormatMemo::find(const QString& stored) {
    if (const auto it = current_.constFind(stored); it != current_.cend())
        return it.value();
    const auto it = previous_.constFind(stored);
    if (it == previous_.cend())
        return std::nullopt;
    FormattedValue found = it.value();
    previous_.erase(it);
    insert(stored, found);
    return found;
}

void FormatMemo::remember(const QString& stored, const FormattedValue& formatted) {
    if (stored.size() > kMaxTextLength || formatted.text.size() > 2 * kMaxTextLength)
        return;
    previous_.remove(stored);
    insert(stored, formatted);
}

void FormatMemo::insert(const QString& stored, const FormattedValue& formatted) {
    if (current_.size() >= kGenerationSize && !current_.contains(stored)) {
        previous_ = std::move(current_);
        current_ = QHash<QString, FormattedValue>();
    }
    current_.insert(stored, formatted);
}

void FormatMemo::clear() {
    current_.clear();
    previous_.clear();
}
