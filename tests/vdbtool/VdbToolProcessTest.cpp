#include "StringConversions.h"
#include "VdbFixture.h"
#include "VdbToolTestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

ProcessResult runBinary(const QStringList& args, const QByteArray& input = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"VDB_PASSWORD"_s);
    return runProcess(QString::fromUtf8(VDBTOOL_PATH), args, input, env, 60000);
}

TEST(VdbToolProcess, ExitStatusAndStandardStreams) {
    VdbFixture fx;
    const QString file = fx.path(u"ä demo.vdb"_s);
    const ProcessResult usage = runBinary({u"demo"_s, file, u"--records"_s, u"many"_s});
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(usage.err.startsWith(u"vdbtool demo: --records needs"_s))
        << usage.err.toStdString();
    EXPECT_EQ(runBinary({u"demo"_s, file, u"--records"_s, u"20"_s}).status, 0);
    const ProcessResult exported = runBinary({u"export"_s, file, u"Kunden"_s});
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.out, runTool({u"export"_s, file, u"Kunden"_s}).out);
    // The password comes through the pipe of standard input.
    const ProcessResult added =
        runBinary({u"user"_s, u"add"_s, file, u"Pipe"_s}, "durch die Röhre\n");
    EXPECT_EQ(added.status, 0) << added.err.toStdString();
    EXPECT_NO_THROW(VdbFixture::open(file, u"Pipe"_s, u"durch die Röhre"_s));
}

// A killed demo run leaves its scratch folder; the next run removes it, never a live run's.
TEST(VdbToolProcess, NextDemoRemovesTheScratchOfAKilledOne) {
    VdbFixture fx;
    const QDir folder(fx.folder());
    const auto scratch = [&folder] {
        return folder.entryList({u".vdbtool-demo-*"_s},
                                QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    QProcess killed;
    killed.start(QString::fromUtf8(VDBTOOL_PATH),
                 {u"demo"_s, fx.path(u"big.vdb"_s), u"--records"_s, u"10000000"_s});
    ASSERT_TRUE(killed.waitForStarted(10000));
    const QDeadlineTimer deadline(30000);
    while ((scratch().isEmpty() ||
            !QFileInfo::exists(folder.filePath(scratch().front() + u"/in-use.lock"_s))) &&
           !deadline.hasExpired())
        QThread::msleep(20);
    ASSERT_EQ(scratch().size(), 1);
    EXPECT_TOOL_OK(runTool({u"demo"_s, fx.path(u"small.vdb"_s), u"--records"_s, u"5"_s}));
    EXPECT_EQ(scratch().size(), 1);
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    EXPECT_TOOL_OK(runTool({u"demo"_s, fx.path(u"again.vdb"_s), u"--records"_s, u"5"_s}));
    EXPECT_TRUE(scratch().isEmpty()) << scratch().join(u' ').toStdString();
}

} // namespace
