#include "core/helpers.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <vector>

namespace {

struct CountingEvents : core::EventPump
{
    int calls = 0;
    void processEvents() override { ++calls; }
};

TEST(Helpers, ValueOrDefault)
{
    EXPECT_EQ(core::ValueOrDefault(QVariant(), QString()).toString(), QString());
    EXPECT_EQ(core::ValueOrDefault(QVariant(5), QString()).toInt(), 5);
    EXPECT_EQ(core::ValueOrDefault(QVariant(QString()), QStringLiteral("d")).toString(), QString());
}

TEST(Helpers, FileExistsForFilesAndFoldersOnly)
{
    QTemporaryDir dir;
    EXPECT_TRUE(core::FileExists(dir.path()));
    EXPECT_TRUE(core::FileExists(dir.path() + QStringLiteral("/")));
    EXPECT_FALSE(core::FileExists(dir.path() + QStringLiteral("/missing")));
    EXPECT_FALSE(core::FileExists(QString()));
}

TEST(Pause, WaitsAcrossMidnight)
{
    // Start 0.05 s before midnight; the clock wraps to 0 and the wait must still end
    // once 0.1 s have passed in all.
    std::vector<float> ticks { 86399.95f, 86399.97f, 86399.99f, 0.01f, 0.03f, 0.06f, 0.2f };
    std::size_t next = 0;
    CountingEvents events;
    core::Pause(0.1f, events, [&] { return ticks[std::min(next++, ticks.size() - 1)]; });
    EXPECT_EQ(next, 6u) << "stopped at the wrong tick";
    EXPECT_EQ(events.calls, 4);
}

TEST(Pause, ZeroSecondsReturnsAtOnce)
{
    CountingEvents events;
    core::Pause(0.0f, events, [] { return 10.0f; });
    EXPECT_EQ(events.calls, 0);
}

} // namespace
