#include "cli/progress_bar.h"

#include <algorithm>
#include <cmath>

#include <sys/ioctl.h>
#include <unistd.h>

namespace vellumar
{

namespace
{

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

QString Duration(double seconds)
{
    const auto whole = std::int64_t(std::ceil(seconds));
    const std::int64_t hours = whole / 3600;
    const QString minutesSeconds =
        QStringLiteral("%1:%2")
            .arg(hours > 0 ? QStringLiteral("%1").arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
                           : QString::number(whole / 60))
            .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minutesSeconds : minutesSeconds;
}

void WriteAll(int fd, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, std::size_t(bytes.size() - written));
        if (n <= 0)
            return; // a terminal that went away is no reason to stop a run
        written += n;
    }
}

} // namespace

TProgressBar::TProgressBar(int fd, bool wanted)
    : mFd(fd)
    , mActive(wanted && ::isatty(fd) != 0)
{
}

void TProgressBar::Start(int total)
{
    mTotal = total;
    mDone = 0;
    mMegapixels = 0;
    mStarted = std::chrono::steady_clock::now();
    Draw(true);
}

void TProgressBar::Advance(double megapixels)
{
    ++mDone;
    mMegapixels += megapixels;
    Draw(false);
}

void TProgressBar::Erase()
{
    if (mShownWidth == 0)
        return;
    WriteAll(mFd, '\r' + QByteArray(mShownWidth, ' ') + '\r');
    mShownWidth = 0;
}

int TProgressBar::Columns() const
{
    winsize size {};
    if (::ioctl(mFd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void TProgressBar::Draw(bool force)
{
    if (!mActive || mTotal <= 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - mLastDrawn < kRedrawInterval)
        return;
    mLastDrawn = now;
    const double seconds = std::chrono::duration<double>(now - mStarted).count();
    const double rate = seconds > 0 ? mMegapixels / seconds : 0;
    const double left = mDone > 0 ? seconds / mDone * (mTotal - mDone) : -1;
    const QByteArray text = Render(mDone, mTotal, rate, left, Columns()).toUtf8();
    // Padding covers a longer bar drawn before, so no old character survives at the end.
    const QByteArray padding(std::max(0, mShownWidth - int(text.size())), ' ');
    WriteAll(mFd, '\r' + text + padding);
    mShownWidth = std::max(mShownWidth, int(text.size()));
}

QString TProgressBar::Render(int done, int total, double megapixelsPerSecond, double secondsLeft, int columns)
{
    const QString count = QStringLiteral("%1/%2 photos").arg(done).arg(total);
    const QString rate = QStringLiteral("%1 MP/s").arg(megapixelsPerSecond, 0, 'f', 1);
    const QString left =
        secondsLeft < 0 ? QStringLiteral("--:-- left") : Duration(secondsLeft) + QStringLiteral(" left");
    const QString tail = QStringLiteral(" %1  %2  %3").arg(count, rate, left);
    const int room = std::min(40, columns - 1 - int(tail.size()) - 2);
    if (room < 10)
        return tail.trimmed().left(std::max(0, columns - 1));
    const int filled = total > 0 ? int(std::int64_t(room) * std::min(done, total) / total) : 0;
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(room - filled, QLatin1Char('.'))
        + QLatin1Char(']') + tail;
}

} // namespace vellumar
