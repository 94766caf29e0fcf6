// Errors: libjpeg's error_exit longjmps back to Guarded(), whose frame holds no C++ object; the caller
// then destroys the libjpeg object and throws EJPEG "JPEG error #<msg_code>", so no exception ever
// crosses libjpeg's C frames. Warnings (emit_message: corrupt data, early end) are ignored on purpose.
#include "imaging/jpeg_bridge.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QString>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
// jerror.h after jpeglib.h: it uses j_common_ptr for its ERREXIT and WARNMS macros.
#include <jerror.h>

#include "imaging/errors.h"

namespace vellumar
{

namespace
{

constexpr std::size_t kSourceChunk = 4096;
constexpr int kQuantizedColors = 236;
constexpr int kCmykChunkRows = 16;

enum class TScanRefusal { None, TooManyScans, TooMuchScanWork };

// The error manager and progress monitor of one libjpeg object; reached through client_data.
struct TJpegGuard {
    jpeg_error_mgr Error;
    jpeg_progress_mgr Progress;
    std::jmp_buf Jump;
    bool Armed;
    TScanRefusal Refusal;
    int LastScan;
    std::uint64_t ScanBlocks;
};

TJpegGuard &GuardOf(j_common_ptr info)
{
    return *static_cast<TJpegGuard *>(info->client_data);
}

[[noreturn]] void ErrorExit(j_common_ptr info)
{
    TJpegGuard &guard = GuardOf(info);
    // A libjpeg call outside Guarded() is a bug here; jumping into a finished frame would be worse.
    if (!guard.Armed)
        std::abort();
    std::longjmp(guard.Jump, 1);
}

void IgnoreMessage(j_common_ptr, int) { }

void OutputNothing(j_common_ptr) { }

void FormatNothing(j_common_ptr, char *buffer)
{
    buffer[0] = '\0';
}

// Called before each step of reading a multi-scan stream (a marker, a row of blocks), so a new scan is
// seen before any of its data is decoded. Empty scans are cheap to write and costly to walk.
void MonitorScans(j_common_ptr info)
{
    if (!info->is_decompressor)
        return;
    auto *decompress = reinterpret_cast<j_decompress_ptr>(info);
    TJpegGuard &guard = GuardOf(info);
    if (decompress->input_scan_number == guard.LastScan)
        return;
    guard.LastScan = decompress->input_scan_number;
    if (guard.LastScan > kMaxJpegScans)
        guard.Refusal = TScanRefusal::TooManyScans;
    for (int i = 0; i < decompress->comps_in_scan; ++i) {
        const jpeg_component_info *component = decompress->cur_comp_info[i];
        guard.ScanBlocks += std::uint64_t(component->width_in_blocks) * component->height_in_blocks;
    }
    if (guard.Refusal == TScanRefusal::None && guard.ScanBlocks > kMaxJpegScanBlocks)
        guard.Refusal = TScanRefusal::TooMuchScanWork;
    if (guard.Refusal != TScanRefusal::None)
        ErrorExit(info);
}

void AttachGuard(TJpegGuard &guard, j_common_ptr info)
{
    info->err = jpeg_std_error(&guard.Error);
    guard.Error.error_exit = ErrorExit;
    guard.Error.emit_message = IgnoreMessage;
    guard.Error.output_message = OutputNothing;
    guard.Error.format_message = FormatNothing;
    guard.Progress.progress_monitor = MonitorScans;
    guard.Armed = false;
    guard.Refusal = TScanRefusal::None;
    guard.LastScan = 0;
    guard.ScanBlocks = 0;
    info->client_data = &guard;
}

// The only place where libjpeg may fail. The setjmp frame holds only a reference and the callable; a
// jump also skips the step's own frame, so steps keep only trivially destructible locals.
template<typename Step>
[[nodiscard]] bool Guarded(TJpegGuard &guard, Step &&step)
{
    guard.Armed = true;
    if (setjmp(guard.Jump) != 0) {
        guard.Armed = false;
        return false;
    }
    step();
    guard.Armed = false;
    return true;
}

// Reads the compressed buffer 4096 bytes at a time; an early end becomes an end-of-image marker.
struct TMemorySource {
    jpeg_source_mgr Manager; // first, so that info->src leads back here
    const JOCTET *Data;
    std::size_t Size;
    std::size_t Offset;
    JOCTET EndMarker[2];
};

TMemorySource &SourceOf(j_decompress_ptr info)
{
    return *reinterpret_cast<TMemorySource *>(info->src);
}

void InitSource(j_decompress_ptr) { }

void TermSource(j_decompress_ptr) { }

boolean FillInput(j_decompress_ptr info)
{
    TMemorySource &source = SourceOf(info);
    if (source.Offset < source.Size) {
        const std::size_t count = std::min(kSourceChunk, source.Size - source.Offset);
        source.Manager.next_input_byte = source.Data + source.Offset;
        source.Manager.bytes_in_buffer = count;
        source.Offset += count;
        return TRUE;
    }
    // The first fill of a non-empty buffer always delivers bytes, so only an empty input gets here unread.
    if (source.Size == 0)
        ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    source.EndMarker[0] = 0xFF;
    source.EndMarker[1] = JPEG_EOI;
    source.Manager.next_input_byte = source.EndMarker;
    source.Manager.bytes_in_buffer = 2;
    return TRUE;
}

// Skips arithmetically: refilling in a loop would spin on the two-byte end marker for a huge count.
void SkipInput(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    TMemorySource &source = SourceOf(info);
    auto skip = static_cast<std::size_t>(count);
    if (skip <= source.Manager.bytes_in_buffer) {
        source.Manager.next_input_byte += skip;
        source.Manager.bytes_in_buffer -= skip;
        return;
    }
    skip -= source.Manager.bytes_in_buffer;
    source.Manager.bytes_in_buffer = 0;
    source.Offset += std::min(skip, source.Size - source.Offset);
    source.Manager.next_input_byte = source.Data + source.Offset;
}

[[noreturn]] void ThrowJpegError(int code, TScanRefusal refusal)
{
    switch (refusal) {
    case TScanRefusal::TooManyScans:
        throw EJPEG(QStringLiteral("JPEG stream has too many scans (the limit is %1)").arg(kMaxJpegScans));
    case TScanRefusal::TooMuchScanWork:
        throw EJPEG(
            QStringLiteral("JPEG stream has too many scans for its size (the limit is %1 scans of %2 x %2 pixels)")
                .arg(kMaxJpegScanBlocks * 64 / kMaxJpegPixels)
                .arg(kMaxJpegSide));
    case TScanRefusal::None:
        break;
    }
    throw EJPEG(QStringLiteral("JPEG error #%1").arg(code));
}

struct TJpegDecompressor {
    jpeg_decompress_struct Info {};
    TJpegGuard Guard {};
    TMemorySource Source {};

    explicit TJpegDecompressor(std::span<const std::uint8_t> stream)
    {
        AttachGuard(Guard, reinterpret_cast<j_common_ptr>(&Info));
        Run([this] {
            jpeg_create_decompress(&Info);
        });
        Info.mem->max_memory_to_use = kMaxJpegWorkMemory;
        Info.progress = &Guard.Progress;
        Source.Manager.init_source = InitSource;
        Source.Manager.fill_input_buffer = FillInput;
        Source.Manager.skip_input_data = SkipInput;
        Source.Manager.resync_to_restart = jpeg_resync_to_restart;
        Source.Manager.term_source = TermSource;
        Source.Data = stream.data();
        Source.Size = stream.size();
        Info.src = &Source.Manager;
    }
    ~TJpegDecompressor() { jpeg_destroy_decompress(&Info); }
    TJpegDecompressor(const TJpegDecompressor &) = delete;
    TJpegDecompressor &operator=(const TJpegDecompressor &) = delete;

    template<typename Step>
    void Run(Step &&step)
    {
        if (!Guarded(Guard, step))
            Fail();
    }

    [[noreturn]] void Fail()
    {
        const int code = Guard.Error.msg_code;
        const TScanRefusal refusal = Guard.Refusal;
        jpeg_destroy_decompress(&Info);
        ThrowJpegError(code, refusal);
    }

    // Refused before any pixel buffer exists; libjpeg itself allows up to 65500 x 65500.
    void CheckSize()
    {
        const std::uint64_t width = Info.image_width;
        const std::uint64_t height = Info.image_height;
        if (width * height <= kMaxJpegPixels)
            return;
        jpeg_destroy_decompress(&Info);
        throw EJPEG(QStringLiteral("JPEG image too large: %1 x %2 pixels (the limit is %3)")
                        .arg(width)
                        .arg(height)
                        .arg(kMaxJpegPixels));
    }
};

struct TJpegCompressor {
    jpeg_compress_struct Info {};
    TJpegGuard Guard {};

    TJpegCompressor()
    {
        AttachGuard(Guard, reinterpret_cast<j_common_ptr>(&Info));
        if (!Guarded(Guard, [this] {
                jpeg_create_compress(&Info);
            }))
            Fail();
    }
    ~TJpegCompressor() { jpeg_destroy_compress(&Info); }
    TJpegCompressor(const TJpegCompressor &) = delete;
    TJpegCompressor &operator=(const TJpegCompressor &) = delete;

    [[noreturn]] void Fail()
    {
        const int code = Guard.Error.msg_code;
        jpeg_destroy_compress(&Info);
        ThrowJpegError(code, TScanRefusal::None);
    }
};

std::uint8_t CmykChannel(unsigned ink, unsigned black, bool inverted)
{
    // Adobe's writers store CMYK inverted (0 = full ink); plain CMYK stores the ink itself.
    if (!inverted) {
        ink = 255 - ink;
        black = 255 - black;
    }
    return std::uint8_t((ink * black + 127) / 255);
}

std::vector<std::uint32_t> QuantizedPalette(const jpeg_decompress_struct &info)
{
    const bool inverted = info.saw_Adobe_marker != FALSE;
    std::vector<std::uint32_t> palette;
    palette.reserve(std::size_t(info.actual_number_of_colors));
    for (int i = 0; i < info.actual_number_of_colors; ++i) {
        const auto entry = [&](int component) {
            return unsigned(info.colormap[component][i]);
        };
        switch (info.out_color_components) {
        case 1:
            palette.push_back(qRgb(int(entry(0)), int(entry(0)), int(entry(0))));
            break;
        case 4: {
            const unsigned black = entry(3);
            palette.push_back(qRgb(CmykChannel(entry(0), black, inverted),
                CmykChannel(entry(1), black, inverted),
                CmykChannel(entry(2), black, inverted)));
            break;
        }
        default:
            palette.push_back(qRgb(int(entry(0)), int(entry(1)), int(entry(2))));
            break;
        }
    }
    return palette;
}

// Reads the remaining scanlines straight into the bitmap's rows, several per call when libjpeg can.
void ReadRowsInto(TJpegDecompressor &jpeg, TBitmap &bitmap)
{
    QImage &image = bitmap.MutableImage();
    std::vector<JSAMPROW> rows(std::size_t(image.height()));
    for (int y = 0; y < image.height(); ++y)
        rows[std::size_t(y)] = image.scanLine(y);
    j_decompress_ptr info = &jpeg.Info;
    while (info->output_scanline < info->output_height) {
        JDIMENSION got = 0;
        jpeg.Run([&] {
            got = jpeg_read_scanlines(info,
                rows.data() + info->output_scanline,
                info->output_height - info->output_scanline);
        });
        // Never with this source (it does not suspend); finishing then reports the missing rows.
        if (got == 0)
            break;
    }
}

void ReadCmykRowsInto(TJpegDecompressor &jpeg, TBitmap &bitmap)
{
    j_decompress_ptr info = &jpeg.Info;
    const std::size_t width = info->output_width;
    const bool inverted = info->saw_Adobe_marker != FALSE;
    std::vector<JSAMPLE> chunk(width * 4 * kCmykChunkRows);
    std::vector<JSAMPROW> chunkRows(kCmykChunkRows);
    for (std::size_t r = 0; r < chunkRows.size(); ++r)
        chunkRows[r] = chunk.data() + r * width * 4;
    QImage &image = bitmap.MutableImage();
    while (info->output_scanline < info->output_height) {
        const int first = int(info->output_scanline);
        JDIMENSION got = 0;
        jpeg.Run([&] {
            got = jpeg_read_scanlines(info, chunkRows.data(), kCmykChunkRows);
        });
        if (got == 0)
            break;
        for (int r = 0; r < int(got); ++r) {
            const JSAMPLE *cmyk = chunkRows[std::size_t(r)];
            std::uint8_t *bgr = image.scanLine(first + r);
            for (std::size_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
                bgr[0] = CmykChannel(cmyk[2], cmyk[3], inverted);
                bgr[1] = CmykChannel(cmyk[1], cmyk[3], inverted);
                bgr[2] = CmykChannel(cmyk[0], cmyk[3], inverted);
            }
        }
    }
}

} // namespace

TJpegHeaderFacts ReadJpegStreamHeader(std::span<const std::uint8_t> stream)
{
    TJpegDecompressor jpeg(stream);
    j_decompress_ptr info = &jpeg.Info;
    jpeg.Run([&] {
        jpeg_read_header(info, TRUE);
    });
    jpeg.CheckSize();
    TJpegHeaderFacts facts;
    facts.Width = int(info->image_width);
    facts.Height = int(info->image_height);
    facts.Grayscale = info->jpeg_color_space == JCS_GRAYSCALE;
    jpeg.Run([&] {
        facts.MultipleScans = jpeg_has_multiple_scans(info) != FALSE;
    });
    return facts;
}

TBitmap DecodeJpegStream(std::span<const std::uint8_t> stream, bool eightBit)
{
    TJpegDecompressor jpeg(stream);
    j_decompress_ptr info = &jpeg.Info;
    jpeg.Run([&] {
        jpeg_read_header(info, TRUE);
    });
    jpeg.CheckSize();

    info->scale_num = 1;
    info->scale_denom = 1;
    info->do_block_smoothing = TRUE;
    info->dct_method = JDCT_FLOAT;
    const bool fourComponents = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    const bool quantize = eightBit || info->out_color_space == JCS_GRAYSCALE;
    if (fourComponents)
        info->out_color_space = JCS_CMYK; // libjpeg turns YCCK into CMYK; the RGB step is ours
    else if (!quantize)
        info->out_color_space = JCS_EXT_BGR; // the bitmap's own byte order, no swapping pass
    if (quantize) {
        info->quantize_colors = TRUE;
        info->desired_number_of_colors = kQuantizedColors;
    }
    jpeg.Run([&] {
        jpeg_start_decompress(info);
    });

    const int width = int(info->output_width);
    const int height = int(info->output_height);
    TBitmap bitmap;
    if (quantize) {
        bitmap.SetIndexed8(width, height, QuantizedPalette(*info));
    } else {
        bitmap.SetPixelFormat24();
        bitmap.SetBitmapWidth(width);
        bitmap.SetBitmapHeight(height);
    }
    if (fourComponents && !quantize)
        ReadCmykRowsInto(jpeg, bitmap);
    else
        ReadRowsInto(jpeg, bitmap);
    jpeg.Run([&] {
        jpeg_finish_decompress(info);
    });
    return bitmap;
}

std::vector<std::uint8_t> EncodeJpegStream(const TBitmap &bitmap, int quality)
{
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0)
        return {};
    const QImage pixels = bitmap.Image24();
    if (pixels.isNull())
        return {};
    const JSAMPLE *base = pixels.constBits();
    const auto stride = std::size_t(pixels.bytesPerLine());

    // The memory destination starts in a buffer of ours, so it never frees that one; when it outgrows
    // it, the library's bigger buffer is found through term_destination, on success and on error alike.
    const std::size_t initialSize =
        std::min<std::size_t>(64u << 20, (64u << 10) + std::size_t(pixels.width()) * std::size_t(pixels.height()) / 4);
    const std::unique_ptr<unsigned char, decltype(&std::free)> initial(
        static_cast<unsigned char *>(std::malloc(initialSize)),
        &std::free);
    if (!initial)
        throw EOutOfResources("Out of system resources");
    unsigned char *output = initial.get();
    unsigned long outputSize = initialSize;

    TJpegCompressor jpeg;
    j_compress_ptr info = &jpeg.Info;
    const bool done = Guarded(jpeg.Guard, [&] {
        jpeg_mem_dest(info, &output, &outputSize);
        info->image_width = JDIMENSION(pixels.width());
        info->image_height = JDIMENSION(pixels.height());
        info->input_components = 3;
        info->in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(info);
        info->dct_method = JDCT_FLOAT;
        jpeg_set_quality(info, quality, TRUE);
        jpeg_start_compress(info, TRUE);
        while (info->next_scanline < info->image_height) {
            auto row = const_cast<JSAMPROW>(base + std::size_t(info->next_scanline) * stride);
            jpeg_write_scanlines(info, &row, 1);
        }
        jpeg_finish_compress(info);
    });
    if (!done && info->dest != nullptr)
        info->dest->term_destination(info);
    const std::unique_ptr<unsigned char, decltype(&std::free)> grown(output != initial.get() ? output : nullptr,
        &std::free);
    if (!done)
        jpeg.Fail();
    return std::vector<std::uint8_t>(output, output + outputSize);
}

} // namespace vellumar
