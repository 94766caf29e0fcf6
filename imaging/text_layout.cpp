// Text layout over QPainter: the line breaking, alignment, tab stops and "&" prefixes of the DT_ flags,
// done here rather than by Qt's own layout so that lines are exactly ascent + descent apart, words are
// never split and every flag has one fixed meaning.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <vector>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"

namespace vellumar
{

namespace
{

/** The pixel height used when neither the font nor the platform says otherwise. */
constexpr int kDefaultPixelHeight = 13;
/** Tab stops every 8 average character widths, the classic default. */
constexpr int kTabStopCharacters = 8;
/** Text larger than this many pixels is drawn from glyph outlines, smaller from cached glyph bitmaps. */
constexpr int kMaxBitmapPixelSize = 64;
/** Sizes beyond this are clamped: no picture in this system comes near it. */
constexpr int kMaxPixelSize = 32767;

int DefaultPixelSize(int pixelsPerInch)
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) == nullptr)
        return kDefaultPixelHeight;
    const QFont font = QGuiApplication::font();
    if (font.pixelSize() > 0)
        return font.pixelSize();
    if (font.pointSizeF() > 0)
        return std::max(1, int(std::lround(font.pointSizeF() * pixelsPerInch / 72.0)));
    return kDefaultPixelHeight;
}

int CellHeight(QFont font, int pixelSize)
{
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);
    return metrics.ascent() + metrics.descent();
}

// The largest pixel size whose cell (ascent + descent) is no taller than cellHeight; at least 1.
int PixelSizeForCell(const QFont &font, int cellHeight)
{
    const int probe = std::max(1, CellHeight(font, cellHeight));
    int size = std::clamp(int(std::lround(double(cellHeight) * cellHeight / probe)), 1, kMaxPixelSize);
    while (size > 1 && CellHeight(font, size) > cellHeight)
        --size;
    while (size < kMaxPixelSize && CellHeight(font, size + 1) <= cellHeight)
        ++size;
    return size;
}

int ClampToInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

/** One laid-out line: its characters (tabs only with DT_EXPANDTABS) and the indices to underline. */
struct TTextLine {
    QString Text;
    std::vector<qsizetype> Underlined;
};

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

/**
 * Splits text at CR LF, a lone CR or a lone LF and resolves "&" prefixes: "&&" is one "&", "&x" is x
 * underlined, a "&" at the end of a line is dropped. A break at the very end starts no further line.
 */
std::vector<TTextLine> SplitParagraphs(const QString &text, bool prefixes, bool expandTabs)
{
    std::vector<TTextLine> paragraphs;
    TTextLine current;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < length && text.at(i + 1) == u'\n')
                ++i;
            paragraphs.push_back(std::move(current));
            current = TTextLine {};
            continue;
        }
        if (prefixes && c == u'&') {
            const QChar next = i + 1 < length ? text.at(i + 1) : QChar();
            if (next.isNull() || next == u'\r' || next == u'\n')
                continue;
            ++i;
            c = next;
            if (next != u'&')
                current.Underlined.push_back(current.Text.size());
        }
        // Without DT_EXPANDTABS a tab is an ordinary blank, one space wide.
        if (c == u'\t' && !expandTabs)
            c = u' ';
        current.Text.append(c);
    }
    if (!current.Text.isEmpty())
        paragraphs.push_back(std::move(current));
    return paragraphs;
}

class TLineMeasure
{
public:
    explicit TLineMeasure(const QFontMetrics &metrics)
        : mMetrics(metrics)
        , mTabWidth(std::max(1, kTabStopCharacters * metrics.averageCharWidth()))
    {
    }

    /** The pen position after text drawn from position x (tabs jump to the next stop). */
    [[nodiscard]] std::int64_t Advance(std::int64_t x, QStringView text) const
    {
        qsizetype start = 0;
        for (qsizetype i = 0; i <= text.size(); ++i) {
            if (i < text.size() && text.at(i) != u'\t')
                continue;
            if (i > start)
                x += mMetrics.horizontalAdvance(text.mid(start, i - start).toString());
            if (i < text.size())
                x = (x / mTabWidth + 1) * mTabWidth;
            start = i + 1;
        }
        return x;
    }
    [[nodiscard]] std::int64_t Width(QStringView text) const { return Advance(0, text); }
    [[nodiscard]] int TabWidth() const { return mTabWidth; }

private:
    const QFontMetrics &mMetrics;
    int mTabWidth;
};

/** A slice [first, last) of paragraph as a line of its own, with the underlines that fall inside. */
TTextLine Slice(const TTextLine &paragraph, qsizetype first, qsizetype last)
{
    TTextLine line;
    line.Text = paragraph.Text.mid(first, last - first);
    for (const qsizetype index : paragraph.Underlined) {
        if (index >= first && index < last)
            line.Underlined.push_back(index - first);
    }
    return line;
}

/**
 * Greedy word wrapping: a word goes on the current line unless it would pass maxWidth there, in which
 * case the line ends before the blanks that precede it and those blanks are dropped. A word wider than
 * maxWidth stays whole on a line of its own. The blanks at a paragraph's start are kept.
 */
void WrapParagraph(const TTextLine &paragraph,
    std::int64_t maxWidth,
    const TLineMeasure &measure,
    std::vector<TTextLine> &lines)
{
    const QStringView text(paragraph.Text);
    const qsizetype length = text.size();
    if (length == 0) {
        lines.push_back(paragraph);
        return;
    }
    qsizetype start = 0;
    while (start < length) {
        qsizetype lineEnd = start;
        std::int64_t x = 0;
        qsizetype next = start;
        while (next < length) {
            qsizetype wordStart = next;
            while (wordStart < length && IsBlank(text.at(wordStart)))
                ++wordStart;
            qsizetype wordEnd = wordStart;
            while (wordEnd < length && !IsBlank(text.at(wordEnd)))
                ++wordEnd;
            const std::int64_t blanksEnd = measure.Advance(x, text.mid(next, wordStart - next));
            const std::int64_t candidate = blanksEnd + measure.Width(text.mid(wordStart, wordEnd - wordStart));
            if (lineEnd > start && candidate > maxWidth)
                break;
            x = candidate;
            lineEnd = wordEnd;
            next = wordEnd;
        }
        lines.push_back(Slice(paragraph, start, lineEnd));
        start = lineEnd;
        while (start < length && IsBlank(text.at(start)))
            ++start;
    }
}

/**
 * Runs paint on a thread of Qt's global pool and waits for it. Qt's raster engine hands every fill of
 * about 96 spans or more to that pool and waits, unless the caller is one of the pool's own threads:
 * large text then costs hundreds of thread hand-offs per line, more than the blending itself. From a
 * pool thread the fills stay on that thread, the pixels are the same, and the hand-off happens once.
 */
template<typename Paint>
void RunOnPoolThread(Paint &&paint)
{
    QThreadPool *pool = QThreadPool::globalInstance();
    if (pool == nullptr || pool->contains(QThread::currentThread())) {
        paint();
        return;
    }
    std::exception_ptr error;
    QSemaphore done;
    pool->start([&] {
        try {
            paint();
        } catch (...) {
            error = std::current_exception();
        }
        done.release();
    });
    done.acquire();
    if (error)
        std::rethrow_exception(error);
}

} // namespace

QFont TFont::ToQFont() const
{
    QFont font(mName);
    font.setWeight((mStyle & fsBold) != 0 ? QFont::Bold : QFont::Normal);
    font.setItalic((mStyle & fsItalic) != 0);
    // The glyphs must not depend on the machine: the platform's default hinting follows its font settings
    // and turns off under a scaled (high-dpi) screen. Light vertical hinting is the usual default. The size
    // is always in pixels, so no device's resolution converts it.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    if (mHeight < 0) {
        // The character height without internal leading: Qt's pixel size is the em size.
        font.setPixelSize(int(std::min<std::int64_t>(-std::int64_t(mHeight), kMaxPixelSize)));
    } else if (mHeight > 0) {
        font.setPixelSize(PixelSizeForCell(font, std::min(mHeight, kMaxPixelSize)));
    } else {
        font.setPixelSize(DefaultPixelSize(mPixelsPerInch));
    }
    return font;
}

void TCanvas::DrawTextInRect(const QString &text, TRect &rect, unsigned flags)
{
    const QFont font = mFont.ToQFont();
    const QFontMetrics metrics(font);
    const TLineMeasure measure(metrics);
    const int ascent = metrics.ascent();
    const int lineHeight = ascent + metrics.descent();
    const std::int64_t rectWidth = std::int64_t(rect.Right) - rect.Left;

    const std::vector<TTextLine> paragraphs =
        SplitParagraphs(text, (flags & DT_NOPREFIX) == 0, (flags & DT_EXPANDTABS) != 0);
    std::vector<TTextLine> lines;
    if ((flags & DT_WORDBREAK) != 0) {
        for (const TTextLine &paragraph : paragraphs)
            WrapParagraph(paragraph, rectWidth, measure, lines);
    } else {
        lines = paragraphs;
    }

    if ((flags & DT_CALCRECT) != 0) {
        std::int64_t widest = 0;
        for (const TTextLine &line : lines)
            widest = std::max(widest, measure.Width(line.Text));
        rect.Bottom = ClampToInt(std::int64_t(rect.Top) + std::int64_t(lines.size()) * lineHeight);
        if (widest > rectWidth)
            rect.Right = ClampToInt(std::int64_t(rect.Left) + widest);
        return;
    }

    if (mBitmap.Empty() || lines.empty())
        return;
    // Everything outside both the rectangle and the bitmap is clipped away.
    const std::int64_t clipLeft = std::max(rect.Left, 0);
    const std::int64_t clipTop = std::max(rect.Top, 0);
    const std::int64_t clipRight = std::min(rect.Right, mBitmap.Width());
    const std::int64_t clipBottom = std::min(rect.Bottom, mBitmap.Height());
    if (clipRight <= clipLeft || clipBottom <= clipTop)
        return;
    if (mBitmap.PixelFormat() == TPixelFormat::pf8bit)
        mBitmap.SetPixelFormat24();

    // Qt's FreeType engine keeps one face per font file and thread. Rendering a cached glyph bitmap leaves
    // that glyph's subpixel offset set on the face, and glyph outlines loaded later on the same thread are
    // shifted by it: large text then came out differently depending on what the thread had drawn before.
    // So the two kinds never share a thread: large text is filled from its outlines on the pool's threads
    // (which draw nothing else), small text is drawn from bitmaps on the caller's thread (never a
    // thread of Qt's global pool), where a bitmap's offset is always set afresh before it is rendered.
    const bool outlines = font.pixelSize() > kMaxBitmapPixelSize;

    // Painting straight into the bitmap's (24-bit, blue-green-red) pixels; the painter ends before
    // anyone else can look at them.
    QImage &image = mBitmap.MutableImage();
    const auto paint = [&] {
        QPainter painter(&image);
        painter.setClipRect(QRect(int(clipLeft), int(clipTop), int(clipRight - clipLeft), int(clipBottom - clipTop)));
        painter.setFont(font);
        // The same antialiased outline fill Qt itself does for text this large.
        painter.setRenderHint(QPainter::Antialiasing, outlines);
        const QColor textColor = QColor::fromRgb(ColorToRgb(mFont.Color()));
        const QColor backColor = QColor::fromRgb(ColorToRgb(mBrush.Color));
        painter.setPen(textColor);
        const bool opaque = mBrush.Style == TBrushStyle::bsSolid;
        const int underlineOffset = metrics.underlinePos();
        const int underlineWidth = std::max(1, metrics.lineWidth());

        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::int64_t top = std::int64_t(rect.Top) + std::int64_t(i) * lineHeight;
            if (top >= clipBottom)
                break;
            if (top + lineHeight <= clipTop)
                continue;
            const TTextLine &line = lines[i];
            const std::int64_t width = measure.Width(line.Text);
            std::int64_t left = rect.Left;
            if ((flags & DT_RIGHT) != 0)
                left = std::int64_t(rect.Right) - width;
            else if ((flags & DT_CENTER) != 0)
                left = std::int64_t(rect.Left) + (rectWidth - width) / 2;
            if (left >= clipRight || left + width <= clipLeft)
                continue;
            const int x0 = int(left);
            const int y0 = int(top);
            const int baseline = y0 + ascent;
            if (opaque && width > 0)
                painter.fillRect(QRect(x0, y0, int(width), lineHeight), backColor);

            // Each stretch between tabs is drawn as one run, so kerning and shaping stay Qt's.
            const QStringView lineText(line.Text);
            std::int64_t x = 0;
            qsizetype start = 0;
            for (qsizetype k = 0; k <= lineText.size(); ++k) {
                if (k < lineText.size() && lineText.at(k) != u'\t')
                    continue;
                if (k > start) {
                    const QString run = lineText.mid(start, k - start).toString();
                    if (outlines) {
                        QPainterPath outline;
                        outline.addText(QPointF(x0 + double(x), baseline), font, run);
                        painter.fillPath(outline, textColor);
                    } else {
                        painter.drawText(QPoint(x0 + int(x), baseline), run);
                    }
                    for (const qsizetype index : line.Underlined) {
                        if (index < start || index >= k)
                            continue;
                        const int prefixWidth = metrics.horizontalAdvance(run.left(index - start));
                        const int charWidth = metrics.horizontalAdvance(run.mid(index - start, 1));
                        painter.fillRect(
                            QRect(x0 + int(x) + prefixWidth, baseline + underlineOffset, charWidth, underlineWidth),
                            textColor);
                    }
                    x += metrics.horizontalAdvance(run);
                }
                if (k < lineText.size())
                    x = (x / measure.TabWidth() + 1) * measure.TabWidth();
                start = k + 1;
            }
        }
    };
    if (outlines)
        RunOnPoolThread(paint);
    else
        paint();
}

} // namespace vellumar
