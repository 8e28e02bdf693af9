// Loads the main window on a large schema: 500 tables of 100 fields, 5,000 of them matching the
// default prefix. Prints the load time (median of several loads) and the rows it produced.
//
//   fmain_load_bench [tables=500] [fields=100]

#include "BenchSupport.h"
#include "FMain.h"
#include "QtMessageBoxes.h"
#include "SettingsStore.h"
#include "VdbCreate.h"
#include "VdbServer.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int tables = argc > 1 ? std::atoi(argv[1]) : 500;
    const int fields = argc > 2 ? std::atoi(argv[2]) : 100;
    QTemporaryDir dir;

    DatabaseSchema schema;
    schema.name = u"Large"_s;
    schema.users << UserSchema{u"ADMIN"_s, u"admin"_s, true, true};
    for (int t = 0; t < tables; ++t) {
        TableSchema table;
        table.name = u"Tabelle "_s + QString::number(t);
        for (int f = 0; f < fields; ++f) {
            // Every tenth field matches the default prefix "Telef".
            const QString name = (f % 10 == 0 ? u"Telefon "_s : u"Feld "_s) + QString::number(f);
            table.fields << FieldSchema{name, FieldType::Text, {}};
        }
        schema.tables << table;
    }
    const QString path = dir.filePath(u"large.vdb"_s);
    createVdbFile(path, schema, PasswordCost::Minimal);
    const DatabasePtr db = VdbServer().OpenDatabase(path, u"ADMIN"_s, u"admin"_s, 0);
    SettingsStore settings(dir.path());
    QtMessageBoxes boxes;

    std::vector<double> seconds;
    int chosen = 0;
    for (int run = 0; run < 5; ++run) {
        Stopwatch watch;
        FMain window(db, settings, boxes);
        window.Form_Load();
        seconds.push_back(watch.seconds());
        chosen = window.chosenFields().size();
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("main window load: %d tables x %d fields, %d chosen by prefix: median %.1f ms, "
                "worst %.1f ms, peak memory %.1f MiB\n",
                tables, fields, chosen, seconds[seconds.size() / 2] * 1000.0,
                seconds.back() * 1000.0, peakMemoryMiB());
    return 0;
}
