#pragma once

#include "ComponentFactory.h"
#include "DbServer.h"
#include "UnreadableReason.h"

#include <QString>

#include <memory>

// True when stored and canonical differ once every " ", "(" and ")" is removed from both; other
// characters, tabs and hyphens among them, count.
bool NumberChanged(QString stored, QString canonical);

// True when the canonical form of stored can differ from it only in blanks and round brackets,
// so that NumberChanged would say no whatever the component answers: the number (between its
// words, when the value has any) is written internationally with nothing to drop or add.
// Decides without libphonenumber; values already canonical are the common case on a second run.
bool NumberCannotChange(const QString& stored);

// Puts a completed number back between the words that surrounded it in the stored value: any
// text besides digits, blanks and number punctuation, in any script, is kept. Holds the
// telephone component from the first call until release().
class KanonicalFormatter {
public:
    // database is the process-wide current database reference; the component's UseDatabase may
    // replace it.
    KanonicalFormatter(ComponentFactory factory, DatabasePtr& database);

    // The value with its number in canonical form. Creates and prepares the component on first
    // use; every failure, creation included, goes to the caller. A value longer than 32,767
    // characters that has letters fails with error 6.
    QString FormatKanonical(QString& number);
    // FormatKanonical and, when the value comes back unchanged, why; a value too long for its
    // words to be put back is TooLong here instead of an error.
    FormattedValue format(QString& number);
    // format for a record whose country field holds country (empty: the location's).
    FormattedValue format(QString& number, const QString& country);

    void release() { component_.reset(); }
    bool hasComponent() const { return component_ != nullptr; }
    // Names the component this formatter holds, unique in the process: a copy is stale once it
    // moves on.
    quint64 componentGeneration() const { return generation_; }

    // A formatter for another thread, with a copy of the component of its own; empty before the
    // component exists or when it cannot be copied. It never creates a component itself.
    std::unique_ptr<KanonicalFormatter> copyForThread() const;

private:
    FormattedValue format(QString& number, const QString& country, bool& overflow);
    explicit KanonicalFormatter(std::shared_ptr<PhoneComponent> component);

    ComponentFactory factory_;
    DatabasePtr noDatabase_; // a copy's, which never uses it
    DatabasePtr& database_;
    std::shared_ptr<PhoneComponent> component_;
    quint64 generation_ = 0;
};
