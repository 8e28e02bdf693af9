#include "RemoteErrors.h"
#include "RemoteNames.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Error name, message, source (nullptr: the host sent none), number (0: not one of ours),
// description.
// clang-format off
const std::tuple<const char*, const char*, const char*, qint32, const char*> kCases[] = {
    {"com.veltrano.VelTelnormer.Error", "0x80042EE0: UseDatabase must be supplied with an open database.", "VelTelnormer", static_cast<qint32>(0x80042EE0), "UseDatabase must be supplied with an open database."},
    {"com.veltrano.VelTelnormer.Error", "0x80041076: Telefax: too long", nullptr, static_cast<qint32>(0x80041076), "Telefax: too long"},
    {"com.veltrano.VelTelnormer.Error", "0x5: ", "", 5, ""},
    {"com.veltrano.VelTelnormer.Error", "0x80041076:no blank", nullptr, 0, ""},
    {"com.veltrano.VelTelnormer.Error", "80041076: no 0x", nullptr, 0, ""},
    {"com.veltrano.VelTelnormer.Error", "0xZZ: not hex", nullptr, 0, ""},
    {"com.veltrano.VelTelnormer.Error", "0x1FFFFFFFF: too wide", nullptr, 0, ""},
    {"org.freedesktop.DBus.Error.Failed", "0x80041076: other name", nullptr, 0, ""},
};
// clang-format on

TEST(RemoteErrorsTest, ErrorRepliesCarryNumberDescriptionAndSource) {
    const QDBusMessage request =
        QDBusMessage::createMethodCall(u":1.1"_s, u"/p"_s, u"i.f"_s, u"m"_s);
    for (const auto& [name, message, source, number, description] : kCases) {
        SCOPED_TRACE(message);
        // As it arrives: the message first, then the source when the sender gave one.
        QDBusMessage reply =
            request.createErrorReply(QString::fromLatin1(name), QString::fromUtf8(message));
        QList<QVariant> arguments{QString::fromUtf8(message)};
        if (source)
            arguments << QString::fromUtf8(source);
        reply.setArguments(arguments);
        const std::optional<ErrorRecord> error = Remote::parseError(reply);
        ASSERT_EQ(error.has_value(), number != 0);
        if (!error)
            continue;
        EXPECT_EQ(error->number(), number);
        EXPECT_EQ(error->description(), QString::fromUtf8(description));
        EXPECT_EQ(error->source(), QString::fromUtf8(source ? source : ""));
        // What we send for that error is the same text.
        EXPECT_EQ(Remote::errorMessage(*error), QString::fromUtf8(message));
    }
}

} // namespace
