#include "DemoGenerator.h"

#include "DatabaseAdmin.h"
#include "DatabaseUri.h"
#include "DemoAbroad.h"
#include "DemoNumbers.h"
#include "DemoRandom.h"
#include "DemoScratch.h"
#include "SeenTexts.h"
#include "ToolError.h"
#include "VdbCreate.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kBatchSize = 100000; // rows per transaction: keeps the write-ahead log small
constexpr int kMarkEvery = 7;

constexpr QStringView kSurnames[] = {
    u"Müller",  u"Schmidt", u"Schneider", u"Fischer", u"Weber",      u"Meyer",  u"Wagner",
    u"Becker",  u"Schulz",  u"Hoffmann",  u"Schäfer", u"Koch",       u"Bauer",  u"Richter",
    u"Klein",   u"Wolf",    u"Schröder",  u"Neumann", u"Zimmermann", u"Krüger", u"Hartmann",
    u"Lange",   u"Köhler",  u"König",     u"Weiß",    u"Möller",     u"Gruber", u"Huber",
    u"Steiner", u"Moser",   u"Brunner",   u"Keller",  u"O'Brien",    u"Smith",  u"Nguyen",
};
constexpr QStringView kFirstNames[] = {
    u"Anna",    u"Jürgen",  u"Peter",      u"Sabine",      u"Thomas", u"Monika",
    u"Michael", u"Ursula",  u"Andreas",    u"Petra",       u"Stefan", u"Renate",
    u"Jörg",    u"Claudia", u"Markus",     u"Birgit",      u"Lukas",  u"Sophie",
    u"Zoë",     u"René",    u"Hans-Peter", u"Marie-Luise", u"Ömer",   u"John",
};
constexpr QStringView kTrades[] = {u"Bäckerei",  u"Autohaus",  u"Elektro",   u"Malerbetrieb",
                                   u"Gärtnerei", u"Metallbau", u"Druckerei", u"Steuerbüro",
                                   u"Sanitär",   u"Reisebüro"};
constexpr QStringView kLegalForms[] = {u"GmbH", u"GmbH & Co. KG", u"AG", u"KG", u"e. K.", u"OHG"};
constexpr QStringView kInns[] = {u"Zur Linde", u"Zum Hirschen", u"Goldener Löwe", u"Zur Post"};
constexpr QStringView kCities[] = {
    u"Berlin",    u"Berlin",     u"Hamburg", u"München",  u"Köln", u"Frankfurt am Main",
    u"Stuttgart", u"Düsseldorf", u"Leipzig", u"Nürnberg", u"Wien", u"Graz",
    u"Zürich",    u"Bern",       u"Basel",   u"Seattle",
};
// A customer's city lies in its "Land": the German ones come first above.
constexpr qsizetype kGermanCities = 10;

// A separate stream of random numbers for every field, so that fields do not mirror each other.
enum Stream : quint64 {
    CustomerRow = 1,
    CustomerPhone,
    CustomerFax,
    CustomerMobile,
    SupplierRow,
    SupplierPhone,
    SupplierFax,
    SupplierMobile,
    ContactRow,
    ContactPhone,
    ContactMobile,
    ContactPrivate,
};

FieldSchema field(const QString& name, FieldType type = FieldType::Text,
                  const QString& condition = {}) {
    return FieldSchema{name, type, condition};
}

QString surname(DemoRandom& random) {
    return random.pick<QStringView>(kSurnames).toString();
}

QString otherSurname(DemoRandom& random, const QString& first) {
    QString second;
    do {
        second = surname(random);
    } while (second == first);
    return second;
}

// Every draw is its own statement: C++ leaves open in which order the operands of + are
// evaluated, and the same seed must give the same names with every compiler.
QString companyName(DemoRandom& random) {
    const int pattern = random.below(6);
    const QString first = surname(random);
    switch (pattern) {
    case 0:
        return random.pick<QStringView>(kTrades).toString() + u' ' + first;
    case 1:
        return first + u' ' + random.pick<QStringView>(kLegalForms);
    case 2: {
        const QString second = otherSurname(random, first);
        return first + u", "_s + second + u" & Partner"_s;
    }
    case 3:
        return u"Gasthaus \""_s + random.pick<QStringView>(kInns) + u'"';
    case 4: {
        const QString second = otherSurname(random, first);
        return first + u'-' + second + u' ' + random.pick<QStringView>(kLegalForms);
    }
    default:
        return first + u" & Söhne"_s;
    }
}

QString city(DemoRandom& random) {
    return random.pick<QStringView>(kCities).toString();
}

// Repeated values, as product databases hold them: a head office's switchboard that its
// branches list as their number, a fax line shared by a group of companies, and contact persons
// reached through their company's switchboard. Percent of the field's values; a shared value
// stands on about kRecordsPerShared records.
constexpr int kSharedSwitchboard = 10;
constexpr int kSharedFax = 20;
constexpr int kContactSwitchboard = 40;
constexpr qint64 kRecordsPerShared = 5;

// Offsets of the further random streams a telephone field's stream has.
constexpr quint64 kShareDecision = 100;
constexpr quint64 kSharedValues = 200;
constexpr quint64 kAbroad = 300;  // the numbers of a customer abroad
constexpr quint64 kRedraw = 1000; // times the attempt

bool hasDigit(const QVariant& value) {
    const QString text = value.toString();
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Value number slot of the shared values of a field: always one with a number.
QVariant sharedValue(const DemoOptions& options, Stream stream, DemoLine line, qint64 slot) {
    for (quint64 attempt = 0;; ++attempt) {
        const QVariant value =
            DemoNumbers(options.seed, stream + kSharedValues + attempt * kRedraw, line)
                .at(static_cast<quint64>(slot))
                .value;
        if (hasDigit(value))
            return value;
    }
}

// The value of a telephone field; sharedPercent of them (none with unique values) come from a
// small set of values that several records share.
QVariant phone(const DemoOptions& options, Stream stream, DemoLine line, qint64 index,
               int sharedPercent = 0) {
    if (sharedPercent > 0 && !options.unique) {
        DemoRandom random =
            DemoRandom::forItem(options.seed, stream + kShareDecision, static_cast<quint64>(index));
        if (random.chance(sharedPercent)) {
            const qint64 shared =
                std::max<qint64>(1, options.records * sharedPercent / 100 / kRecordsPerShared);
            const auto slot = static_cast<qint64>(random.next() % static_cast<quint64>(shared));
            return sharedValue(options, stream, line, slot);
        }
    }
    return DemoNumbers(options.seed, stream, line).at(static_cast<quint64>(index)).value;
}

QVariant customerPhone(const DemoOptions& options, qint64 index) {
    return phone(options, CustomerPhone, DemoLine::Landline, index, kSharedSwitchboard);
}

// A customer abroad shares no number with a German one: its own, as written in its country.
QVariant abroadPhone(const DemoOptions& options, const QString& region, Stream stream,
                     DemoLine line, qint64 index, quint64 attempt = 0) {
    return demoAbroadPhone(options.seed, stream + kAbroad + attempt * kRedraw,
                           static_cast<quint64>(index), region, line)
        .value;
}

QVariantList customerRow(const DemoOptions& options, qint64 index) {
    DemoRandom random = DemoRandom::forItem(options.seed, CustomerRow, static_cast<quint64>(index));
    const QString name = companyName(random);
    const QString place =
        random.pick<QStringView>(std::span(kCities).first(kGermanCities)).toString();
    const QVariant turnover = random.chance(10)
                                  ? QVariant()
                                  : QVariant(static_cast<double>(random.below(100000000)) / 100);
    const QDate created = QDate(1995, 1, 1).addDays(random.below(11000));
    const DemoCountry country = demoCustomerCountry(options.seed, static_cast<quint64>(index));
    if (country.region != u"DE"_s)
        return {index + 1,
                name,
                country.city,
                country.land,
                abroadPhone(options, country.region, CustomerPhone, DemoLine::Landline, index),
                abroadPhone(options, country.region, CustomerFax, DemoLine::Fax, index),
                abroadPhone(options, country.region, CustomerMobile, DemoLine::Mobile, index),
                turnover,
                created};
    return {index + 1,
            name,
            place,
            country.land,
            customerPhone(options, index),
            phone(options, CustomerFax, DemoLine::Fax, index, kSharedFax),
            phone(options, CustomerMobile, DemoLine::Mobile, index),
            turnover,
            created};
}

QVariantList supplierRow(const DemoOptions& options, qint64 index) {
    DemoRandom random = DemoRandom::forItem(options.seed, SupplierRow, static_cast<quint64>(index));
    const QString name = companyName(random);
    const QString place = city(random);
    return {index + 1,
            name,
            place,
            phone(options, SupplierPhone, DemoLine::Landline, index, kSharedSwitchboard),
            phone(options, SupplierFax, DemoLine::Landline, index, kSharedFax),
            phone(options, SupplierMobile, DemoLine::Mobile, index)};
}

QVariantList contactRow(const DemoOptions& options, qint64 index) {
    DemoRandom random = DemoRandom::forItem(options.seed, ContactRow, static_cast<quint64>(index));
    // Contacts come in customer order, as from an import sorted by customer; an index filled in
    // its own order keeps a million rows fast.
    const qint64 customer = 1 + index * 3 / 4;
    const QString last = surname(random);
    const QVariant first =
        random.chance(5) ? QVariant() : QVariant(random.pick<QStringView>(kFirstNames).toString());
    QVariant telephone;
    if (!options.unique &&
        DemoRandom::forItem(options.seed, ContactPhone + kShareDecision,
                            static_cast<quint64>(index))
            .chance(kContactSwitchboard) &&
        demoCustomerCountry(options.seed, static_cast<quint64>(customer - 1)).region == u"DE"_s)
        telephone = customerPhone(options, customer - 1);
    else
        telephone = phone(options, ContactPhone, DemoLine::Landline, index);
    return {customer,
            last,
            first,
            telephone,
            phone(options, ContactMobile, DemoLine::Mobile, index),
            phone(options, ContactPrivate, DemoLine::Landline, index)};
}

QVariantList demoRow(const QString& table, const DemoOptions& options, qint64 index) {
    if (table == DemoTable::Customers)
        return customerRow(options, index);
    if (table == DemoTable::Suppliers)
        return supplierRow(options, index);
    if (table == DemoTable::Contacts)
        return contactRow(options, index);
    fail(u"the demo database has no table "_s + table);
}

// Where the telephone fields stand in a table's rows, and the stream each is drawn from.
struct PhoneColumn {
    int position;
    Stream stream;
    DemoLine line;
};

QList<PhoneColumn> phoneColumns(const TableSchema& table) {
    static const QHash<QString, QList<std::tuple<QString, Stream, DemoLine>>> streams{
        {DemoTable::Customers,
         {{u"Telefon"_s, CustomerPhone, DemoLine::Landline},
          {u"Telefax"_s, CustomerFax, DemoLine::Fax},
          {u"Mobil"_s, CustomerMobile, DemoLine::Mobile}}},
        {DemoTable::Suppliers,
         {{u"Telefon"_s, SupplierPhone, DemoLine::Landline},
          {u"Telefax"_s, SupplierFax, DemoLine::Landline},
          {u"Mobil"_s, SupplierMobile, DemoLine::Mobile}}},
        {DemoTable::Contacts,
         {{u"Telefon"_s, ContactPhone, DemoLine::Landline},
          {u"Mobil"_s, ContactMobile, DemoLine::Mobile},
          {u"TelefonPrivat"_s, ContactPrivate, DemoLine::Landline}}},
    };
    QList<PhoneColumn> columns;
    for (const auto& [name, stream, line] : streams.value(table.name)) {
        for (qsizetype f = 0; f < table.fields.size(); ++f) {
            if (table.fields[f].name == name)
                columns << PhoneColumn{static_cast<int>(f), stream, line};
        }
    }
    return columns;
}

// With unique values, a number drawn a second time (by chance: the demo's numbers come from a
// few areas) is drawn again from a stream of its own until it is new.
void makeUnique(const QString& table, QVariantList& row, const QList<PhoneColumn>& columns,
                const DemoOptions& options, qint64 index, SeenTexts& seen) {
    const QString region =
        table == DemoTable::Customers
            ? demoCustomerCountry(options.seed, static_cast<quint64>(index)).region
            : u"DE"_s;
    for (const PhoneColumn& column : columns) {
        QVariant& value = row[column.position];
        for (quint64 attempt = 1; hasDigit(value) && !seen.insert(value.toString()); ++attempt)
            value = region != u"DE"_s
                        ? abroadPhone(options, region, column.stream, column.line, index, attempt)
                        : DemoNumbers(options.seed, column.stream + attempt * kRedraw, column.line)
                              .at(static_cast<quint64>(index))
                              .value;
    }
}

void fillTable(DatabaseAdmin& admin, const TableSchema& table, const DemoOptions& options,
               SeenTexts& seen) {
    const QList<PhoneColumn> columns = phoneColumns(table);
    QStringList names;
    for (const FieldSchema& f : table.fields)
        names << f.name;
    for (qint64 start = 0; start < options.records; start += kBatchSize) {
        const auto inserter = admin.inserter(table.name, names);
        const qint64 end = std::min(options.records, start + kBatchSize);
        for (qint64 i = start; i < end; ++i) {
            QVariantList row = demoRow(table.name, options, i);
            if (options.unique)
                makeUnique(table.name, row, columns, options, i, seen);
            inserter->add(row);
        }
        inserter->commit();
    }
}

void markEverySeventh(DatabaseAdmin& admin, const QString& table, qint64 records) {
    QStringList ids;
    for (qint64 id = kMarkEvery; id <= records; id += kMarkEvery)
        ids << QString::number(id);
    if (!ids.isEmpty())
        admin.mark(table, ids, true);
}

} // namespace

DatabaseSchema demoSchema() {
    DatabaseSchema schema;
    schema.name = u"Demo"_s;
    schema.country = u"DE"_s;
    schema.areaCode = u"30"_s;
    schema.users << UserSchema{u"ADMIN"_s, u"admin"_s, true, true};

    TableSchema customers;
    customers.name = DemoTable::Customers;
    customers.caption = u"Kunden (Firmenadressen)"_s;
    customers.fields << field(u"ID"_s, FieldType::Integer) << field(u"Name"_s) << field(u"Ort"_s)
                     << field(u"Land"_s) << field(u"Telefon"_s)
                     << field(u"Telefax"_s, FieldType::Text,
                              u"length(\"Telefax\") <= "_s +
                                  QString::number(DemoNumbers::kFaxMaxLength))
                     << field(u"Mobil"_s) << field(u"Umsatz"_s, FieldType::Real)
                     << field(u"Angelegt"_s, FieldType::Date);
    // Indexes filled in random order (a name index, say) would make a million rows several
    // times slower: those here grow at their end or at a few places.
    customers.indexes << IndexSchema{u"ID"_s, {u"ID"_s}} << IndexSchema{u"Ort"_s, {u"Ort"_s}};
    customers.indexUses << u"ID"_s;
    customers.properties.append({u"ItemExpression"_s, u"Kunden->Name + \", \" + Kunden->Ort"_s});

    TableSchema suppliers;
    suppliers.name = DemoTable::Suppliers;
    suppliers.caption = u"Lieferanten"_s;
    suppliers.fields << field(u"ID"_s, FieldType::Integer) << field(u"Name"_s) << field(u"Ort"_s)
                     << field(u"Telefon"_s) << field(u"Telefax"_s) << field(u"Mobil"_s);
    suppliers.indexes << IndexSchema{u"ID"_s, {u"ID"_s}} << IndexSchema{u"Ort"_s, {u"Ort"_s}};
    suppliers.indexUses << u"ID"_s;

    // No "ID" here: the table is reached through its other indexes.
    TableSchema contacts;
    contacts.name = DemoTable::Contacts;
    contacts.caption = u"Ansprechpartner der Kunden"_s;
    contacts.fields << field(u"Kunde"_s, FieldType::Integer) << field(u"Nachname"_s)
                    << field(u"Vorname"_s) << field(u"Telefon"_s) << field(u"Mobil"_s)
                    << field(u"TelefonPrivat"_s);
    contacts.indexes << IndexSchema{u"Name"_s, {u"Nachname"_s, u"Vorname"_s}}
                     << IndexSchema{u"Kunde"_s, {u"Kunde"_s}};
    contacts.indexUses << u"Kunde"_s;

    schema.tables << customers << suppliers << contacts;
    return schema;
}

void fillDemoDatabase(const QString& location, const DemoOptions& options) {
    const auto admin = openDatabaseAdmin(location);
    SeenTexts seen;
    for (const TableSchema& table : demoSchema().tables)
        fillTable(*admin, table, options, seen);
    markEverySeventh(*admin, DemoTable::Customers, options.records);
    markEverySeventh(*admin, DemoTable::Suppliers, options.records);
}

void createDemoDatabase(const QString& path, const DemoOptions& options) {
    if (isServerUri(path)) {
        // A server database is created empty by its owner; the catalogue and the rows go in
        // here. A failure while filling leaves the catalogue: drop and create the database.
        createDatabase(path, demoSchema());
        fillDemoDatabase(path, options);
        return;
    }
    const QFileInfo target(path);
    if (target.exists() || target.isSymLink())
        fail(u"the file already exists: "_s + path);
    removeStaleScratch(target.absolutePath());
    QTemporaryDir scratch(target.absolutePath() + u"/.vdbtool-demo-XXXXXX"_s);
    if (!scratch.isValid())
        fail(u"cannot create a temporary folder in "_s + target.absolutePath() + u": "_s +
             scratch.errorString());
    ScratchLock inUse(scratch.filePath(kScratchLock));
    if (!inUse.tryLock())
        fail(u"cannot lock the temporary folder "_s + scratch.path());
    const QString draft = scratch.filePath(u"demo.vdb"_s);
    const DatabaseSchema schema = demoSchema();
    createDatabase(draft, schema);
    fillDemoDatabase(draft, options);
    // The last connection folds the write-ahead log into the file; a log left behind would
    // hold rows the moved file lacks.
    if (QFileInfo::exists(draft + u"-wal"_s))
        fail(u"the demo database was not completely written"_s);
    moveIntoPlace(draft, target.absoluteFilePath());
}

QList<DemoPhoneFields> demoPhoneFields() {
    return {
        {DemoTable::Customers, {u"Telefon"_s, u"Telefax"_s, u"Mobil"_s}},
        {DemoTable::Suppliers, {u"Telefon"_s, u"Telefax"_s, u"Mobil"_s}},
        {DemoTable::Contacts, {u"Telefon"_s, u"Mobil"_s, u"TelefonPrivat"_s}},
    };
}
