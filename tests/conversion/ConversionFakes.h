#pragma once

// Test doubles for the telephone component's surroundings.

#include "DbServer.h"
#include "PhoneComponent.h"

#include <functional>
#include <memory>
#include <utility>

// A database with nothing in it and no telephone location.
class BareDatabase : public Database {
public:
    QString FileName() override { return {}; }
    QString Name() override { return {}; }
    std::shared_ptr<::Evaluator> Evaluator() override { return {}; }
    std::shared_ptr<::Logon> Logon() override { return {}; }
    decltype(std::declval<Database&>().Tables()) Tables() override { return {}; }
    std::shared_ptr<Transaction> GetTransaction(qint32) override { return {}; }
};

// A database that keeps a telephone location.
class LocationDatabase : public BareDatabase, public TelephoneLocation {
public:
    LocationDatabase(QString country, QString areaCode)
        : country_(std::move(country))
        , areaCode_(std::move(areaCode)) {}
    QString LocationCountry() override { return country_; }
    QString LocationAreaCode() override { return areaCode_; }

private:
    QString country_;
    QString areaCode_;
};

// A component that records the calls the formatter makes and completes with a function.
class RecordingComponent : public PhoneComponent {
public:
    void UseDatabase(DatabasePtr& db) override {
        ++useDatabaseCalls;
        seenDatabase = db;
        if (failUseDatabase)
            throw ErrorRecord(serverErrorNumber(0x1001), QStringLiteral("no location"));
        if (replacement)
            db = replacement;
    }
    void SetVisible(bool visible) override {
        ++setVisibleCalls;
        lastVisible = visible;
    }
    QString CompleteNumber(QString& number) override {
        ++completeCalls;
        return complete ? complete(number) : number;
    }

    std::function<QString(const QString&)> complete;
    bool failUseDatabase = false;
    DatabasePtr replacement;
    DatabasePtr seenDatabase;
    int useDatabaseCalls = 0;
    int setVisibleCalls = 0;
    int completeCalls = 0;
    bool lastVisible = true;
};
