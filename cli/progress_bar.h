#pragma once

#include <chrono>

#include <QString>

namespace vellumar
{

/**
 * A one-line progress bar on a terminal: photos done of total, megapixels per second and time left.
 * It draws only when wanted and its file descriptor is a terminal, redraws at most ten times a second,
 * and erases itself (with spaces, so any terminal will do) before a log line and at the end.
 */
class TProgressBar
{
public:
    TProgressBar(int fd, bool wanted);
    ~TProgressBar() { Erase(); }
    TProgressBar(const TProgressBar &) = delete;
    TProgressBar &operator=(const TProgressBar &) = delete;

    [[nodiscard]] bool Active() const { return mActive; }
    /** Starts the clock and draws the empty bar for total photos. */
    void Start(int total);
    /** One more photo has been dealt with, megapixels of it decoded; redraws when a tenth of a second has passed. */
    void Advance(double megapixels);
    /** Draws again if a tenth of a second has passed since the last drawing (after a log line erased it). */
    void Refresh() { Draw(false); }
    /** Clears the bar's line; the next Advance or Refresh brings it back. */
    void Erase();

    /**
     * The bar's text for a terminal of columns columns (never wider than columns - 1, so it never wraps).
     * secondsLeft below 0 means not known yet.
     */
    [[nodiscard]] static QString
    Render(int done, int total, double megapixelsPerSecond, double secondsLeft, int columns);

private:
    void Draw(bool force);
    [[nodiscard]] int Columns() const;

    int mFd;
    bool mActive;
    int mShownWidth = 0;
    int mTotal = 0;
    int mDone = 0;
    double mMegapixels = 0;
    std::chrono::steady_clock::time_point mStarted;
    std::chrono::steady_clock::time_point mLastDrawn;
};

} // namespace vellumar
