#include "RemoteErrors.h"
#include "RemoteNames.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct ErrorCase {
    const char* name;
    const char* message;
    const char* source; // nullptr: the host sent none
    bool carries;
    qint32 number;
    const char* description;
};

// clang-format off
const ErrorCase kCases[] = {
    {"com.veltrano.VelTelnormer.Error", "0x80042EE0: UseDatabase must be supplied with an open database.", "VelTelnormer", true, static_cast<qint32>(0x80042EE0), "UseDatabase must be supplied with an open database."},
    {"com.veltrano.VelTelnormer.Error", "0x80041076: Telefax: too long", nullptr, true, static_cast<qint32>(0x80041076), "Telefax: too long"},
    {"com.veltrano.VelTelnormer.Error", "0x5: ", "", true, 5, ""},
    {"com.veltrano.VelTelnormer.Error", "0x80041076:no blank", nullptr, false, 0, ""},
    {"com.veltrano.VelTelnormer.Error", "80041076: no 0x", nullptr, false, 0, ""},
    {"com.veltrano.VelTelnormer.Error", "0xZZ: not hex", nullptr, false, 0, ""},
    {"com.veltrano.VelTelnormer.Error", "0x1FFFFFFFF: too wide", nullptr, false, 0, ""},
    {"org.freedesktop.DBus.Error.Failed", "0x80041076: other name", nullptr, false, 0, ""},
};
// clang-format on

TEST(RemoteErrorsTest, ErrorRepliesCarryNumberDescriptionAndSource) {
    const QDBusMessage request =
        QDBusMessage::createMethodCall(u":1.1"_s, u"/p"_s, u"i.f"_s, u"m"_s);
    for (const ErrorCase& c : kCases) {
        SCOPED_TRACE(c.message);
        // As it arrives: the message first, then the source when the sender gave one.
        QDBusMessage reply =
            request.createErrorReply(QString::fromLatin1(c.name), QString::fromUtf8(c.message));
        QList<QVariant> arguments{QString::fromUtf8(c.message)};
        if (c.source)
            arguments << QString::fromUtf8(c.source);
        reply.setArguments(arguments);
        const std::optional<ErrorRecord> error = Remote::parseError(reply);
        ASSERT_EQ(error.has_value(), c.carries);
        if (!error)
            continue;
        EXPECT_EQ(error->number(), c.number);
        EXPECT_EQ(error->description(), QString::fromUtf8(c.description));
        EXPECT_EQ(error->source(), QString::fromUtf8(c.source ? c.source : ""));
        // What we send for that error is the same text.
        EXPECT_EQ(Remote::errorMessage(*error), QString::fromUtf8(c.message));
    }
}

} // namespace
