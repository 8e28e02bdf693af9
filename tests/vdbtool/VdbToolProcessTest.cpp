#include "StringConversions.h"
#include "VdbFixture.h"
#include "VdbToolTestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

using namespace Qt::StringLiterals;

namespace {

struct ProcessResult {
    int status = -1;
    QString out;
    QString err;
};

ProcessResult runBinary(const QStringList& args, const QByteArray& input = {},
                        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QString::fromUtf8(VDBTOOL_PATH), args);
    EXPECT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(VdbToolProcess, ExitStatusAndStandardStreams) {
    VdbFixture fx;
    const QString file = fx.path(u"ä demo.vdb"_s);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"VDB_PASSWORD"_s);

    const ProcessResult usage = runBinary({u"demo"_s, file, u"--records"_s, u"many"_s}, {}, env);
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(usage.out.isEmpty());
    EXPECT_TRUE(usage.err.startsWith(u"vdbtool demo: --records needs"_s))
        << usage.err.toStdString();
    EXPECT_TRUE(usage.err.contains(u"Try 'vdbtool demo --help'."_s));

    const ProcessResult demo = runBinary({u"demo"_s, file, u"--records"_s, u"20"_s}, {}, env);
    EXPECT_EQ(demo.status, 0) << demo.err.toStdString();
    EXPECT_TRUE(demo.err.isEmpty());

    const ProcessResult exported = runBinary({u"export"_s, file, u"Kunden"_s}, {}, env);
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.out, runTool({u"export"_s, file, u"Kunden"_s}).out);

    // The password comes through the pipe of standard input.
    const ProcessResult added =
        runBinary({u"user"_s, u"add"_s, file, u"Pipe"_s}, "durch die Röhre\n", env);
    EXPECT_EQ(added.status, 0) << added.err.toStdString();
    EXPECT_NO_THROW(VdbFixture::open(file, u"Pipe"_s, u"durch die Röhre"_s));

    const ProcessResult failed =
        runBinary({u"import"_s, file, u"Kunden"_s, fx.path(u"no.csv"_s)}, {}, env);
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(failed.out.isEmpty());
    EXPECT_TRUE(failed.err.startsWith(u"vdbtool import: cannot read the CSV file"_s))
        << failed.err.toStdString();
}

} // namespace
