#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "cli/progress_bar.h"

namespace vellumar
{
namespace
{

TEST(ProgressBar, RendersCountRateAndTimeLeftWithinTheTerminal)
{
    struct TCase {
        int Done, Total;
        double Rate, Left;
        int Columns;
        const char *Expected;
    };
    const TCase cases[] {
        { 0, 3, 0, -1, 80, "[........................................] 0/3 photos  0.0 MP/s  --:-- left" },
        { 3, 3, 12.34, 0, 80, "[########################################] 3/3 photos  12.3 MP/s  0:00 left" },
        { 1, 4, 5, 3724.2, 60, "[#####.................] 1/4 photos  5.0 MP/s  1:02:05 left" },
        { 1, 4, 5, 61, 30, "1/4 photos  5.0 MP/s  1:01 le" },
    };
    for (const TCase &c : cases) {
        const QString text = TProgressBar::Render(c.Done, c.Total, c.Rate, c.Left, c.Columns);
        EXPECT_EQ(text.toStdString(), c.Expected);
        EXPECT_LT(text.size(), c.Columns);
    }
}

QByteArray ReadAvailable(int fd)
{
    QByteArray bytes;
    pollfd poller { fd, POLLIN, 0 };
    char buffer[4096];
    while (::poll(&poller, 1, 200) > 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

TEST(ProgressBar, DrawsOnATerminalOnlyAndErasesItself)
{
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    {
        TProgressBar bar(slave, true);
        EXPECT_TRUE(bar.Active());
        bar.Start(2);
        bar.Advance(1.5); // within a tenth of a second of the first drawing: not drawn
    }
    const QByteArray shown = ReadAvailable(master);
    EXPECT_EQ(shown.count("photos"), 1) << shown.constData();
    EXPECT_TRUE(shown.startsWith("\r[....")) << shown.constData();
    const qsizetype width = shown.indexOf("left") + 4 - 1;
    EXPECT_TRUE(shown.endsWith('\r' + QByteArray(width, ' ') + '\r')) << shown.constData();
    EXPECT_FALSE(TProgressBar(slave, false).Active());
    ::close(master);
    ::close(slave);

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    {
        TProgressBar bar(pipeEnds[1], true);
        EXPECT_FALSE(bar.Active());
        bar.Start(2);
    }
    ::close(pipeEnds[1]);
    EXPECT_EQ(ReadAvailable(pipeEnds[0]), QByteArray());
    ::close(pipeEnds[0]);
}

} // namespace
} // namespace vellumar
