#pragma once

#include "AppTitle.h"
#include "BatchTestSupport.h"
#include "ComponentFactory.h"
#include "PhoneComponent.h"
#include "SettingsStore.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbFixture.h"
#include "WatchedComponent.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// Kunden (index "ID", labelled by name): numbered customers whose phone fields hold national
// numbers. Zweite (no "ID", no label expression): a second table for the choice by prefix.
class TelnormerBatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        // The remembered prefix lives in the private home folder the test main made.
        QFile::remove(SettingsStore().fileName(AppTitle()));
        schema =
            schemaOf({customersTable({u"telefonPrivat"_s}),
                      tableOf(u"Zweite"_s, {u"Notiz"_s, u"Tel"_s, u"Telefon"_s, u"Übersee"_s})});
        renew();
        environment.clock = steppingClock();
        environment.phoneFactory.registerCreator(
            kPhoneApplicationName, [this]() -> std::shared_ptr<PhoneComponent> {
                return std::make_shared<WatchedComponent>(
                    failingValue, [this](const QString& value) {
                        componentFailed = componentFailed || value == failingValue;
                    });
            });
    }
    void TearDown() override {
        setUiLanguageOverride(std::nullopt);
        QFile::remove(SettingsStore().fileName(AppTitle()));
    }

    // A fresh database file, for the next case of a table.
    void renew() { file = fx.create(u"Kunden"_s + QString::number(files++) + u".vdb"_s, schema); }

    // n customers: Telefon "030 100000i", Mobil "0171 100000i", Telefax and telefonPrivat Null.
    void addCustomers(int n) {
        QList<QVariantList> rows;
        for (int i = 1; i <= n; ++i) {
            const QString number = QString::number(1000000 + i);
            rows << QVariantList{
                i, u"K"_s, QString(u"030 "_s + number), {}, QString(u"0171 "_s + number), {}};
        }
        VdbFixture::insert(
            file, u"Kunden"_s,
            {u"ID"_s, u"Name"_s, u"Telefon"_s, u"Telefax"_s, u"Mobil"_s, u"telefonPrivat"_s}, rows);
    }
    void addSecond(const QList<QVariantList>& rows) {
        VdbFixture::insert(file, u"Zweite"_s, {u"Notiz"_s, u"Tel"_s, u"Telefon"_s, u"Übersee"_s},
                           rows);
    }

    BatchRun batch(const QStringList& options, const QString& input = {}) {
        const ScopedEnv password("VDB_PASSWORD", "admin");
        return runBatch(QStringList{file, u"--user"_s, u"ADMIN"_s} + options, environment, input);
    }

    qsizetype convertedIn(const QString& table, const QString& field) {
        return storedValues(file, table, field).filter(u"+49"_s).size();
    }

    // The "Replace in fields" block of the log for a table: the fields the run worked on.
    static QStringList loggedFields(const QByteArray& log, const QString& table) {
        const QString text = QString::fromUtf8(log);
        const QString head = u"Table: "_s + table + u"\r\nReplace in fields:\r\n"_s;
        const qsizetype at = text.indexOf(head);
        if (at < 0)
            return {};
        const qsizetype from = at + head.size();
        return text.mid(from, text.indexOf(u"\r\n\r\n"_s, from) - from).split(u"\r\n"_s);
    }

    VdbFixture fx;
    DatabaseSchema schema;
    int files = 0;
    QString file;
    BatchEnvironment environment;
    QString failingValue;
    bool componentFailed = false;
};
