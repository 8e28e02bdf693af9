// The cost per value of formatting demo telephone values (first run) against the check a second
// run makes over the results: "canonical already, nothing to do" before any libphonenumber
// call, formatting only what the check cannot clear.
//
//   number_check_bench [values=200000]

#include "BenchSupport.h"
#include "ComponentFactory.h"
#include "DemoNumbers.h"
#include "NumberFormatting.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// The demo's location, Berlin; nothing else of a database is used.
class BerlinDatabase : public Database, public TelephoneLocation {
public:
    QString FileName() override { return {}; }
    QString Name() override { return {}; }
    std::shared_ptr<::Evaluator> Evaluator() override { return {}; }
    std::shared_ptr<::Logon> Logon() override { return {}; }
    decltype(std::declval<Database&>().Tables()) Tables() override { return {}; }
    std::shared_ptr<Transaction> GetTransaction(qint32) override { return {}; }
    QString LocationCountry() override { return QStringLiteral("DE"); }
    QString LocationAreaCode() override { return QStringLiteral("30"); }
};

// What the run does with one stored value; returns whether the formatter was needed.
bool visit(KanonicalFormatter& formatter, const QString& value, QString& written) {
    if (value.startsWith(u'-') || NumberCannotChange(value)) {
        written = value;
        return false;
    }
    QString copy = value;
    const QString canonical = formatter.FormatKanonical(copy);
    written = NumberChanged(value, canonical) ? canonical : value;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long long count = argc > 1 ? std::atoll(argv[1]) : 200000;

    QStringList stored;
    for (quint64 i = 0; static_cast<long long>(stored.size()) < count; ++i) {
        const QVariant value = DemoNumbers(1, 0, DemoLine::Landline).at(i).value;
        const QString text = value.toString();
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
            stored << text;
    }
    DatabasePtr database = std::make_shared<BerlinDatabase>();
    auto factory = ComponentFactory::withDefaults();
    KanonicalFormatter formatter(factory, database);

    QStringList converted(stored.size());
    Stopwatch first;
    qsizetype formattedFirst = 0;
    for (qsizetype i = 0; i < stored.size(); ++i)
        formattedFirst += visit(formatter, stored[i], converted[i]) ? 1 : 0;
    const double firstSeconds = first.seconds();

    QString unused;
    Stopwatch second;
    qsizetype formattedSecond = 0;
    qsizetype changedSecond = 0;
    for (const QString& value : converted) {
        formattedSecond += visit(formatter, value, unused) ? 1 : 0;
        changedSecond += unused != value ? 1 : 0;
    }
    const double secondSeconds = second.seconds();

    Stopwatch check;
    qsizetype cleared = 0;
    for (const QString& value : converted)
        cleared += NumberCannotChange(value) ? 1 : 0;
    const double checkSeconds = check.seconds();

    const double n = static_cast<double>(stored.size());
    std::printf("values:            %lld demo telephone values with digits\n",
                static_cast<long long>(stored.size()));
    std::printf("first run:         %8.0f ns/value  (%lld formatted)\n", firstSeconds / n * 1e9,
                static_cast<long long>(formattedFirst));
    std::printf("second run:        %8.0f ns/value  (%lld formatted, %lld changed)  %.1fx faster\n",
                secondSeconds / n * 1e9, static_cast<long long>(formattedSecond),
                static_cast<long long>(changedSecond), firstSeconds / secondSeconds);
    std::printf(
        "cheap check alone: %8.0f ns/value  (%lld of %lld cleared without libphonenumber)\n",
        checkSeconds / n * 1e9, static_cast<long long>(cleared),
        static_cast<long long>(stored.size()));
    return changedSecond == 0 ? 0 : 1;
}
