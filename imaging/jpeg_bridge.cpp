// Errors: libjpeg's error_exit longjmps back to Guarded(), whose frame holds no C++ object; the caller
// then destroys the libjpeg object and throws EJPEG "JPEG error #<msg_code>: <libjpeg's text>", so no
// exception ever crosses libjpeg's C frames. Warnings (corrupt data, early end) do not stop decoding: their
// texts are kept in fixed C buffers, once per message code, and handed to the caller afterwards.
#include "imaging/jpeg_bridge.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include <QString>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
// jerror.h after jpeglib.h: it uses j_common_ptr for its ERREXIT and WARNMS macros.
#include <jerror.h>

#include "imaging/colour_profile.h"
#include "imaging/errors.h"
#include "imaging/exif.h"
#include "imaging/orientation.h"
#include "imaging/resampler.h"

namespace vellumar
{

namespace
{

// Decodes of pixels started, counted for the tests that check that a photo is decoded once.
std::atomic<std::uint64_t> gDecodesStarted { 0 };

constexpr int kQuantizedColors = 236;
constexpr int kChunkRows = 16;
constexpr JDIMENSION kUprightChunkRows = 64;
constexpr std::size_t kOutputChunk = 64 * 1024;
// Above this the output vector grows as it needs to rather than being reserved whole up front.
constexpr std::size_t kMaxReservedOutput = std::size_t(64) << 20;

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
    int WarningCount;
    int WarningCodes[kMaxJpegWarnings];
    char WarningTexts[kMaxJpegWarnings][JMSG_LENGTH_MAX];
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

// Level -1 is a warning; trace messages (0 and up) are dropped. Nothing is ever printed.
void CollectWarning(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    TJpegGuard &guard = GuardOf(info);
    ++info->err->num_warnings;
    const int code = info->err->msg_code;
    for (int i = 0; i < guard.WarningCount; ++i) {
        if (guard.WarningCodes[i] == code)
            return;
    }
    if (guard.WarningCount == kMaxJpegWarnings)
        return;
    info->err->format_message(info, guard.WarningTexts[guard.WarningCount]);
    guard.WarningCodes[guard.WarningCount++] = code;
}

void OutputNothing(j_common_ptr) { }

// Adds the guard's warnings to warnings, skipping texts already there, up to kMaxJpegWarnings in all.
void TakeWarnings(const TJpegGuard &guard, QStringList *warnings)
{
    if (!warnings)
        return;
    for (int i = 0; i < guard.WarningCount && warnings->size() < kMaxJpegWarnings; ++i) {
        const QString text = QString::fromLatin1(guard.WarningTexts[i]);
        if (!warnings->contains(text))
            warnings->append(text);
    }
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
    const std::uint64_t frameBlocks =
        (std::uint64_t(decompress->image_width) + 7) / 8 * ((std::uint64_t(decompress->image_height) + 7) / 8);
    if (guard.Refusal == TScanRefusal::None
        && guard.ScanBlocks > std::max(kMaxJpegScanBlocks, kMaxJpegFrameScans * frameBlocks))
        guard.Refusal = TScanRefusal::TooMuchScanWork;
    if (guard.Refusal != TScanRefusal::None)
        ErrorExit(info);
}

void AttachGuard(TJpegGuard &guard, j_common_ptr info)
{
    info->err = jpeg_std_error(&guard.Error);
    guard.Error.error_exit = ErrorExit;
    guard.Error.emit_message = CollectWarning;
    guard.Error.output_message = OutputNothing;
    guard.Progress.progress_monitor = MonitorScans;
    guard.Armed = false;
    guard.Refusal = TScanRefusal::None;
    guard.LastScan = 0;
    guard.ScanBlocks = 0;
    guard.WarningCount = 0;
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

// Hands libjpeg the rest of the compressed buffer at once, as its Huffman decoder reads fastest with
// plenty of bytes ahead; an early end becomes an end-of-image marker.
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
        const std::size_t count = source.Size - source.Offset;
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

// libjpeg's own text for the error in flight; read before the object is destroyed.
QString ErrorText(j_common_ptr info)
{
    char text[JMSG_LENGTH_MAX] {};
    info->err->format_message(info, text);
    return QString::fromLatin1(text);
}

[[noreturn]] void ThrowJpegError(int code, const QString &text, TScanRefusal refusal)
{
    switch (refusal) {
    case TScanRefusal::TooManyScans:
        throw EJPEG(QStringLiteral("JPEG stream has too many scans (the limit is %1)").arg(kMaxJpegScans));
    case TScanRefusal::TooMuchScanWork:
        throw EJPEG(QStringLiteral("JPEG stream has too many scans for its size (the limit is %1 scans of 8192 x "
                                   "8192 pixels, or %2 of the frame)")
                        .arg(kMaxJpegScanBlocks * 64 / kMaxSparsePixels)
                        .arg(kMaxJpegFrameScans));
    case TScanRefusal::None:
        break;
    }
    throw EJPEG(QStringLiteral("JPEG error #%1: %2").arg(code).arg(text));
}

struct TJpegDecompressor {
    jpeg_decompress_struct Info {};
    TJpegGuard Guard {};
    TMemorySource Source {};
    /** CMYK or gray converted through the stream's own profile to sRGB; null: the plain conversion. */
    std::shared_ptr<const TSrgbTransform> Colour;

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
        const QString text = ErrorText(reinterpret_cast<j_common_ptr>(&Info));
        const TScanRefusal refusal = Guard.Refusal;
        jpeg_destroy_decompress(&Info);
        ThrowJpegError(code, text, refusal);
    }

    // Once libjpeg has read the stream to its end, it never reads it again: the source forgets the bytes
    // (an unexpected read would find an empty input, a libjpeg error) and the caller may free them.
    void ReleaseInputIfRead(const std::function<void()> &released)
    {
        bool complete = false;
        Run([&] {
            complete = jpeg_input_complete(&Info) != FALSE;
        });
        if (!complete)
            return;
        Source.Data = nullptr;
        Source.Size = 0;
        Source.Offset = 0;
        Source.Manager.next_input_byte = nullptr;
        Source.Manager.bytes_in_buffer = 0;
        released();
    }

    // Reads the header, and the profile of a CMYK or gray stream that the colours are converted through.
    void ReadHeader()
    {
        JOCTET *volatile profile = nullptr;
        unsigned length = 0;
        Run([&] {
            jpeg_save_markers(&Info, JPEG_APP0 + 2, 0xFFFF);
            jpeg_read_header(&Info, TRUE);
            const bool managed = Info.jpeg_color_space == JCS_CMYK || Info.jpeg_color_space == JCS_YCCK
                || Info.jpeg_color_space == JCS_GRAYSCALE;
            JOCTET *read = nullptr;
            if (managed && jpeg_read_icc_profile(&Info, &read, &length) != FALSE)
                profile = read;
        });
        const std::unique_ptr<JOCTET, decltype(&std::free)> owned(profile, &std::free);
        if (!owned)
            return;
        const std::span<const std::uint8_t> icc(owned.get(), length);
        if (!ColourRoute(Info.num_components, icc, false).DecodeToSrgb)
            return;
        const TColourLayout layout = Info.num_components == 1 ? TColourLayout::clGray
            : Info.saw_Adobe_marker != FALSE                  ? TColourLayout::clCmykInverted
                                                              : TColourLayout::clCmyk;
        Colour = MakeSrgbTransform(icc, layout);
    }

    // Refused before any pixel buffer exists; libjpeg itself allows up to 65500 x 65500.
    void CheckSize()
    {
        const std::uint64_t width = Info.image_width;
        const std::uint64_t height = Info.image_height;
        const std::uint64_t pixels = width * height;
        const bool sparse = pixels > kMaxSparsePixels && std::uint64_t(Source.Size) * kMinPixelsPerByte < pixels;
        if (pixels <= kMaxJpegPixels && !sparse)
            return;
        jpeg_destroy_decompress(&Info);
        if (pixels > kMaxJpegPixels)
            throw EJPEG(QStringLiteral("JPEG image too large: %1 x %2 pixels (the limit is %3)")
                            .arg(width)
                            .arg(height)
                            .arg(kMaxJpegPixels));
        throw EJPEG(QStringLiteral("JPEG image too large for its data: %1 x %2 pixels from %3 bytes")
                        .arg(width)
                        .arg(height)
                        .arg(Source.Size));
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
        const QString text = ErrorText(reinterpret_cast<j_common_ptr>(&Info));
        jpeg_destroy_compress(&Info);
        ThrowJpegError(code, text, TScanRefusal::None);
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

std::vector<std::uint32_t> QuantizedPalette(const jpeg_decompress_struct &info, const TSrgbTransform *colour)
{
    const bool inverted = info.saw_Adobe_marker != FALSE;
    std::vector<std::uint32_t> palette;
    palette.reserve(std::size_t(info.actual_number_of_colors));
    for (int i = 0; i < info.actual_number_of_colors; ++i) {
        const auto entry = [&](int component) {
            return unsigned(info.colormap[component][i]);
        };
        if (colour != nullptr) {
            std::uint8_t in[4];
            for (int c = 0; c < info.out_color_components && c < 4; ++c)
                in[c] = std::uint8_t(entry(c));
            std::uint8_t bgr[3];
            colour->Convert(in, bgr, 1);
            palette.push_back(qRgb(bgr[2], bgr[1], bgr[0]));
            continue;
        }
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

// Pixels that the decoder writes row by row, so nothing fills them first: an early stop leaves rows unwritten
// but then jpeg_finish_decompress fails (too little data) and the frame is never seen.
QImage NewFrame(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    if (image.isNull())
        throw EOutOfResources("Out of system resources");
    return image;
}

// One CMYK row (four bytes a pixel) turned into blue, green, red in place: each pixel's three bytes go where
// its four were read from, left to right, so nothing is overwritten before it is read.
void CmykRowToBgr(JSAMPLE *row, std::size_t width, bool inverted)
{
    for (std::size_t x = 0; x < width; ++x) {
        const JSAMPLE c = row[x * 4];
        const JSAMPLE m = row[x * 4 + 1];
        const JSAMPLE y = row[x * 4 + 2];
        const JSAMPLE k = row[x * 4 + 3];
        row[x * 3] = CmykChannel(y, k, inverted);
        row[x * 3 + 1] = CmykChannel(m, k, inverted);
        row[x * 3 + 2] = CmykChannel(c, k, inverted);
    }
}

// Rows handed to a consumer: blue-green-red (3 bytes a pixel) or palette indices (1 byte), top to bottom.
using TDecodedRows = std::span<const std::uint8_t *const>;

// The one loop of every decode. read (one libjpeg call, given how many rows of the chunk are filled) is
// repeated until chunk rows are in hand or the output is complete; consume then takes them, with the index of
// the first. Finishing checks that no data is missing; then the warnings are handed over.
template<typename Read, typename Consume>
void PumpRows(TJpegDecompressor &jpeg, JDIMENSION chunk, Read &&read, Consume &&consume, QStringList *warnings)
{
    j_decompress_ptr info = &jpeg.Info;
    while (info->output_scanline < info->output_height) {
        const int first = int(info->output_scanline);
        JDIMENSION got = 0;
        while (got < chunk && info->output_scanline < info->output_height) {
            JDIMENSION came = 0;
            jpeg.Run([&] {
                came = read(got);
            });
            // Never with this source (it does not suspend); finishing then reports the missing rows.
            if (came == 0)
                break;
            got += came;
        }
        if (got == 0)
            break;
        consume(first, got);
    }
    jpeg.Run([&] {
        jpeg_finish_decompress(info);
    });
    TakeWarnings(jpeg.Guard, warnings);
}

// Scanlines read into rows (a chunk reused for each call, or the frame's own rows when there is one for every
// output line). Four-component output is CMYK, the only one asked for, and is converted here.
template<typename Consume>
void PumpScanlinesInto(TJpegDecompressor &jpeg, std::span<JSAMPROW> rows, Consume &&consume, QStringList *warnings)
{
    j_decompress_ptr info = &jpeg.Info;
    const std::size_t width = info->output_width;
    const bool cmyk = info->output_components == 4;
    const bool inverted = info->saw_Adobe_marker != FALSE;
    const auto chunk = JDIMENSION(rows.size());
    PumpRows(
        jpeg,
        chunk,
        [&](JDIMENSION filled) {
            return jpeg_read_scanlines(info, rows.data() + filled, chunk - filled);
        },
        [&](int first, JDIMENSION got) {
            if (cmyk) {
                for (JDIMENSION r = 0; r < got; ++r) {
                    if (jpeg.Colour)
                        jpeg.Colour->Convert(rows[r], rows[r], width);
                    else
                        CmykRowToBgr(rows[r], width, inverted);
                }
            }
            consume(first, TDecodedRows(const_cast<const std::uint8_t *const *>(rows.data()), got));
        },
        warnings);
}

// The same through a chunk of chunkRows rows of its own.
template<typename Consume>
void PumpScanlines(TJpegDecompressor &jpeg, JDIMENSION chunkRows, Consume &&consume, QStringList *warnings)
{
    const std::size_t rowBytes = std::size_t(jpeg.Info.output_width) * std::size_t(jpeg.Info.output_components);
    std::vector<JSAMPLE> chunk(rowBytes * chunkRows);
    std::vector<JSAMPROW> rows(chunkRows);
    for (std::size_t r = 0; r < rows.size(); ++r)
        rows[r] = chunk.data() + r * rowBytes;
    PumpScanlinesInto(jpeg, std::span<JSAMPROW>(rows), consume, warnings);
}

// Reads the header and starts decoding as every decode here does: full size, float DCT, block smoothing,
// 24-bit blue-green-red rows, or palette indices for gray and 8-bit output, or CMYK converted by us.
struct TDecodeFormat {
    bool Quantize = false;
    bool FourComponents = false;
};

TDecodeFormat StartDecoding(TJpegDecompressor &jpeg, bool eightBit)
{
    j_decompress_ptr info = &jpeg.Info;
    jpeg.ReadHeader();
    jpeg.CheckSize();

    info->scale_num = 1;
    info->scale_denom = 1;
    info->do_block_smoothing = TRUE;
    info->dct_method = JDCT_FLOAT;
    TDecodeFormat format;
    format.FourComponents = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    format.Quantize = eightBit || info->out_color_space == JCS_GRAYSCALE;
    if (format.FourComponents)
        info->out_color_space = JCS_CMYK; // libjpeg turns YCCK into CMYK; the RGB step is ours
    else if (!format.Quantize)
        info->out_color_space = JCS_EXT_BGR; // the bitmap's own byte order, no swapping pass
    if (format.Quantize) {
        info->quantize_colors = TRUE;
        info->desired_number_of_colors = kQuantizedColors;
    }
    jpeg.Run([&] {
        ++gDecodesStarted;
        jpeg_start_decompress(info);
    });
    return format;
}

// Appends libjpeg's output to a vector, a chunk at a time. A vector that cannot grow becomes libjpeg's
// out-of-memory error; no exception ever crosses libjpeg's frames.
struct TVectorDestination {
    jpeg_destination_mgr Manager; // first, so that info->dest leads back here
    std::vector<std::uint8_t> *Bytes;
};

TVectorDestination &DestinationOf(j_compress_ptr info)
{
    return *reinterpret_cast<TVectorDestination *>(info->dest);
}

void GrowDestination(j_compress_ptr info)
{
    TVectorDestination &destination = DestinationOf(info);
    const std::size_t used = destination.Bytes->size();
    bool grown = true;
    try {
        destination.Bytes->resize(used + kOutputChunk);
    } catch (const std::exception &) {
        grown = false;
    }
    if (!grown)
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    destination.Manager.next_output_byte = destination.Bytes->data() + used;
    destination.Manager.free_in_buffer = kOutputChunk;
}

void InitDestination(j_compress_ptr info)
{
    DestinationOf(info).Bytes->clear();
    GrowDestination(info);
}

// Called only when the whole chunk is written.
boolean EmptyOutputBuffer(j_compress_ptr info)
{
    GrowDestination(info);
    return TRUE;
}

void TermDestination(j_compress_ptr info)
{
    TVectorDestination &destination = DestinationOf(info);
    destination.Bytes->resize(destination.Bytes->size() - destination.Manager.free_in_buffer);
}

// The whole-picture coefficient arrays that a multi-scan stream is decoded through, as the header sizes them.
std::uint64_t CoefficientBytes(const jpeg_decompress_struct &info)
{
    std::uint64_t bytes = 0;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info &component = info.comp_info[i];
        bytes += std::uint64_t(component.width_in_blocks) * component.height_in_blocks * DCTSIZE2 * sizeof(JCOEF);
    }
    return bytes;
}

// The first EXIF segment of markers; null when there is none.
const TJpegSegment *ExifSegment(const TJpegMarkers &markers)
{
    for (const TJpegSegment &segment : markers.Segments) {
        if (segment.Marker == JPEG_APP0 + 1 && IsExifPayload(segment.Payload))
            return &segment;
    }
    return nullptr;
}

// The JFIF header as libjpeg writes it, for when an EXIF segment has to come before it.
void WriteJfifHeader(j_compress_ptr info)
{
    const JOCTET header[] = { 'J',
        'F',
        'I',
        'F',
        0,
        info->JFIF_major_version,
        info->JFIF_minor_version,
        info->density_unit,
        JOCTET(info->X_density >> 8),
        JOCTET(info->X_density & 0xFF),
        JOCTET(info->Y_density >> 8),
        JOCTET(info->Y_density & 0xFF),
        0,
        0 };
    jpeg_write_marker(info, JPEG_APP0, header, sizeof header);
}

// An EXIF segment first with the JFIF header after it, the other segments in their order, then the profile;
// libjpeg splits the profile into numbered chunks. jpeg_start_compress has written SOI, and the JFIF header
// only when there is no EXIF.
void WriteMarkers(j_compress_ptr info, const TJpegMarkers &markers)
{
    const TJpegSegment *exif = ExifSegment(markers);
    if (exif != nullptr) {
        jpeg_write_marker(info, exif->Marker, exif->Payload.data(), unsigned(exif->Payload.size()));
        WriteJfifHeader(info);
    }
    for (const TJpegSegment &segment : markers.Segments) {
        if (&segment != exif)
            jpeg_write_marker(info, segment.Marker, segment.Payload.data(), unsigned(segment.Payload.size()));
    }
    if (!markers.IccProfile.empty())
        jpeg_write_icc_profile(info, markers.IccProfile.data(), unsigned(markers.IccProfile.size()));
}

} // namespace

TJpegHeaderFacts ReadJpegStreamHeader(std::span<const std::uint8_t> stream, TJpegMarkers *markers)
{
    TJpegDecompressor jpeg(stream);
    j_decompress_ptr info = &jpeg.Info;
    // The profile is read by libjpeg, which checks that its chunks are numbered and complete.
    JOCTET *volatile profile = nullptr;
    unsigned profileLength = 0;
    jpeg.Run([&] {
        if (markers != nullptr) {
            jpeg_save_markers(info, JPEG_APP0 + 1, 0xFFFF);
            jpeg_save_markers(info, JPEG_APP0 + 2, 0xFFFF);
            jpeg_save_markers(info, JPEG_APP0 + 13, 0xFFFF);
        }
        jpeg_read_header(info, TRUE);
        JOCTET *read = nullptr;
        if (markers != nullptr && jpeg_read_icc_profile(info, &read, &profileLength) != FALSE)
            profile = read;
    });
    const std::unique_ptr<JOCTET, decltype(&std::free)> owned(profile, &std::free);
    jpeg.CheckSize();
    TJpegHeaderFacts facts;
    facts.Width = int(info->image_width);
    facts.Height = int(info->image_height);
    facts.Grayscale = info->jpeg_color_space == JCS_GRAYSCALE;
    facts.Components = info->num_components;
    facts.FourComponents = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    facts.Progressive = info->progressive_mode != FALSE;
    bool multipleScans = false;
    jpeg.Run([&] {
        multipleScans = jpeg_has_multiple_scans(info) != FALSE;
    });
    facts.CoefficientBytes = multipleScans ? CoefficientBytes(*info) : 0;
    TakeWarnings(jpeg.Guard, &facts.Warnings);
    if (markers != nullptr) {
        *markers = {};
        markers->Components = info->num_components;
        if (owned)
            markers->IccProfile.assign(owned.get(), owned.get() + profileLength);
        for (jpeg_saved_marker_ptr marker = info->marker_list; marker != nullptr; marker = marker->next) {
            if (marker->marker == JPEG_APP0 + 2)
                continue;
            markers->Segments.push_back(
                { int(marker->marker), std::vector<std::uint8_t>(marker->data, marker->data + marker->data_length) });
        }
    }
    return facts;
}

TBitmap DecodeJpegStream(std::span<const std::uint8_t> stream, bool eightBit)
{
    return DecodeJpegStream(stream, eightBit, {});
}

TBitmap DecodeJpegStream(std::span<const std::uint8_t> stream,
    bool eightBit,
    const std::function<void()> &released,
    QStringList *warnings)
{
    TJpegDecompressor jpeg(stream);
    const TDecodeFormat format = StartDecoding(jpeg, eightBit);
    if (released)
        jpeg.ReleaseInputIfRead(released);
    j_decompress_ptr info = &jpeg.Info;
    const int width = int(info->output_width);
    const int height = int(info->output_height);
    QImage frame = NewFrame(width, height, format.Quantize ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (format.Quantize) {
        const std::vector<std::uint32_t> palette = QuantizedPalette(*info, jpeg.Colour.get());
        frame.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
    }
    if (format.FourComponents && !format.Quantize) {
        const auto rowBytes = std::size_t(width) * 3;
        PumpScanlines(
            jpeg,
            kChunkRows,
            [&](int first, TDecodedRows rows) {
                for (std::size_t r = 0; r < rows.size(); ++r)
                    std::memcpy(frame.scanLine(first + int(r)), rows[r], rowBytes);
            },
            warnings);
        return TBitmap::FromImage(std::move(frame));
    }
    // Straight into the frame's rows, several per call when libjpeg can.
    std::vector<JSAMPROW> frameRows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        frameRows[std::size_t(y)] = frame.scanLine(y);
    PumpScanlinesInto(
        jpeg,
        std::span<JSAMPROW>(frameRows),
        [](int, TDecodedRows) {},
        warnings);
    return TBitmap::FromImage(std::move(frame));
}

TBitmap DecodeJpegStreamStretched(std::span<const std::uint8_t> stream,
    bool eightBit,
    int width,
    int height,
    const TRect &rect,
    QStringList *warnings)
{
    if (width < 1 || height < 1 || rect.Left != 0 || rect.Top != 0 || rect.Right < width || rect.Bottom < height)
        throw EInvalidGraphic("Invalid bitmap size");
    TJpegDecompressor jpeg(stream);
    const TDecodeFormat format = StartDecoding(jpeg, eightBit);
    j_decompress_ptr info = &jpeg.Info;
    const int sourceWidth = int(info->output_width);
    const int sourceHeight = int(info->output_height);

    // Palette entries as blue, green, red, as the stretch copy turns an 8-bit picture into colour.
    std::array<std::uint8_t, std::size_t(256) * 3> lookup {};
    if (format.Quantize) {
        const std::vector<std::uint32_t> palette = QuantizedPalette(*info, jpeg.Colour.get());
        for (std::size_t i = 0; i < std::min<std::size_t>(palette.size(), 256); ++i) {
            lookup[i * 3] = std::uint8_t(qBlue(palette[i]));
            lookup[i * 3 + 1] = std::uint8_t(qGreen(palette[i]));
            lookup[i * 3 + 2] = std::uint8_t(qRed(palette[i]));
        }
    }
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        columns[std::size_t(x)] = StretchSourceIndex(x, sourceWidth, rect.Right);

    QImage image = NewFrame(width, height, QImage::Format_BGR888);

    int y = 0;
    int wanted = StretchSourceIndex(0, sourceHeight, rect.Bottom);
    PumpScanlines(
        jpeg,
        kChunkRows,
        [&](int first, TDecodedRows rows) {
            // Rows never go back, so each sampled row is in this chunk or a later one.
            for (; y < height && wanted < first + int(rows.size());
                 wanted = StretchSourceIndex(++y, sourceHeight, rect.Bottom)) {
                const std::uint8_t *in = rows[std::size_t(wanted - first)];
                std::uint8_t *out = image.scanLine(y);
                if (format.Quantize) {
                    for (const int column : columns) {
                        std::memcpy(out, &lookup[std::size_t(in[column]) * 3], 3);
                        out += 3;
                    }
                } else {
                    for (const int column : columns) {
                        std::memcpy(out, in + std::size_t(column) * 3, 3);
                        out += 3;
                    }
                }
            }
        },
        warnings);
    return TBitmap::FromImage(std::move(image));
}

namespace
{

// libjpeg's own YCbCr to RGB arithmetic (JFIF, 16 fraction bits), here run at the output's size only; in
// plain arithmetic rather than tables, so that the compiler vectorises it.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target_clones("avx2", "default")))
#endif
void YccRowToBgr(const std::uint8_t *luma, const std::uint8_t *cb, const std::uint8_t *cr, int width, std::uint8_t *bgr)
{
    constexpr int kFractionBits = 16;
    constexpr std::int32_t kOneHalf = std::int32_t(1) << (kFractionBits - 1);
    constexpr std::int32_t kRedFromCr = 91881; // 1.40200
    constexpr std::int32_t kBlueFromCb = 116130; // 1.77200
    constexpr std::int32_t kGreenFromCr = 46802; // 0.71414
    constexpr std::int32_t kGreenFromCb = 22554; // 0.34414
    for (int x = 0; x < width; ++x) {
        const std::int32_t value = luma[x];
        const std::int32_t blue = cb[x] - 128;
        const std::int32_t red = cr[x] - 128;
        bgr[3 * x] = std::uint8_t(std::clamp(value + ((kBlueFromCb * blue + kOneHalf) >> kFractionBits), 0, 255));
        bgr[3 * x + 1] = std::uint8_t(
            std::clamp(value + ((-kGreenFromCb * blue - kGreenFromCr * red + kOneHalf) >> kFractionBits), 0, 255));
        bgr[3 * x + 2] = std::uint8_t(std::clamp(value + ((kRedFromCr * red + kOneHalf) >> kFractionBits), 0, 255));
    }
}

void YccToBgr(const QImage &luma, const QImage &blueDifference, const QImage &redDifference, QImage &out)
{
    for (int y = 0; y < out.height(); ++y)
        YccRowToBgr(luma.constScanLine(y),
            blueDifference.constScanLine(y),
            redDifference.constScanLine(y),
            out.width(),
            out.scanLine(y));
}

// The components of a YCbCr or gray stream as libjpeg keeps them (no upsampling, no colour conversion), each
// resampled on its own straight to the target, the colours converted only there: at a reduction that saves
// the full-size work of both. The stream is started with raw output, and is finished here.
QImage ResampleRawComponents(TJpegDecompressor &jpeg, int width, int height, QStringList *warnings)
{
    j_decompress_ptr info = &jpeg.Info;
    const auto components = std::size_t(info->num_components);
    std::vector<std::unique_ptr<TResampler>> resamplers;
    std::vector<std::vector<JSAMPLE>> buffers(components);
    std::vector<std::vector<JSAMPROW>> rows(components);
    std::vector<JSAMPARRAY> planes(components);
    std::vector<int> fed(components, 0);
    for (std::size_t c = 0; c < components; ++c) {
        const jpeg_component_info &component = info->comp_info[c];
        const auto rowsPerCall = std::size_t(component.v_samp_factor) * std::size_t(component.DCT_scaled_size);
        const auto stride = std::size_t(component.width_in_blocks) * std::size_t(component.DCT_scaled_size);
        buffers[c].resize(rowsPerCall * stride);
        for (std::size_t r = 0; r < rowsPerCall; ++r)
            rows[c].push_back(buffers[c].data() + r * stride);
        planes[c] = rows[c].data();
        resamplers.push_back(std::make_unique<TResampler>(int(component.downsampled_width),
            int(component.downsampled_height),
            width,
            height,
            1));
    }
    // Each call hands over one row of blocks of every component.
    const auto lines = JDIMENSION(info->max_v_samp_factor * info->min_DCT_scaled_size);
    PumpRows(
        jpeg,
        lines,
        [&](JDIMENSION) {
            return jpeg_read_raw_data(info, planes.data(), lines);
        },
        [&](int, JDIMENSION) {
            for (std::size_t c = 0; c < components; ++c) {
                const int planeHeight = int(info->comp_info[c].downsampled_height);
                for (std::size_t r = 0; r < rows[c].size() && fed[c] < planeHeight; ++r, ++fed[c])
                    resamplers[c]->AddRow(rows[c][r]);
            }
        },
        warnings);
    QImage out(width, height, QImage::Format_BGR888);
    if (out.isNull())
        throw EOutOfResources("Out of system resources");
    if (components == 3) {
        YccToBgr(resamplers[0]->TakeImage(), resamplers[1]->TakeImage(), resamplers[2]->TakeImage(), out);
        return out;
    }
    const QImage gray = resamplers[0]->TakeImage();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *in = gray.constScanLine(y);
        std::uint8_t *bgr = out.scanLine(y);
        if (jpeg.Colour) {
            jpeg.Colour->Convert(in, bgr, std::size_t(width));
            continue;
        }
        for (int x = 0; x < width; ++x, bgr += 3)
            bgr[0] = bgr[1] = bgr[2] = in[x];
    }
    return out;
}

} // namespace

TBitmap DecodeJpegStreamSmooth(std::span<const std::uint8_t> stream, int width, int height, QStringList *warnings)
{
    TJpegDecompressor jpeg(stream);
    j_decompress_ptr info = &jpeg.Info;
    jpeg.ReadHeader();
    jpeg.CheckSize();
    if (width < 1 || height < 1 || JDIMENSION(width) > info->image_width || JDIMENSION(height) > info->image_height)
        throw EInvalidGraphic("Invalid bitmap size");

    // A scaled IDCT skips decoding work but filters crudely: it truncates each 8 x 8 block on its own, so
    // detail just above the output's limit leaks back as moire. Lanczos-3 from at least twice the target
    // removes it; the IDCT then only has to keep what lies well below that limit.
    info->scale_denom = 8;
    for (info->scale_num = 1; info->scale_num < 8; ++info->scale_num) {
        jpeg.Run([&] {
            jpeg_calc_output_dimensions(info);
        });
        if (info->output_width >= 2 * std::uint64_t(width) && info->output_height >= 2 * std::uint64_t(height))
            break;
    }
    info->do_block_smoothing = TRUE;
    info->dct_method = JDCT_ISLOW;
    const bool raw = (info->jpeg_color_space == JCS_YCbCr && info->num_components == 3)
        || (info->jpeg_color_space == JCS_GRAYSCALE && info->num_components == 1);
    if (raw) {
        info->raw_data_out = TRUE;
        info->out_color_space = info->jpeg_color_space;
        jpeg.Run([&] {
            ++gDecodesStarted;
            jpeg_start_decompress(info);
        });
        return TBitmap::FromImage(ResampleRawComponents(jpeg, width, height, warnings));
    }
    const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg.Run([&] {
        ++gDecodesStarted;
        jpeg_start_decompress(info);
    });
    TResampler resampler(int(info->output_width), int(info->output_height), width, height);
    PumpScanlines(
        jpeg,
        kChunkRows,
        [&](int, TDecodedRows rows) {
            for (const std::uint8_t *row : rows)
                resampler.AddRow(row);
        },
        warnings);
    return TBitmap::FromImage(resampler.TakeImage());
}

std::uint64_t JpegDecodesStarted()
{
    return gDecodesStarted.load();
}

std::vector<std::uint8_t> EncodeJpegStream(const TBitmap &bitmap, int quality)
{
    return EncodeJpegStream(bitmap, quality, TJpegMarkers {});
}

std::vector<std::uint8_t>
EncodeJpegStream(const TBitmap &bitmap, int quality, const TJpegMarkers &markers, TJpegCoding coding)
{
    for (const TJpegSegment &segment : markers.Segments) {
        if (segment.Payload.size() > kMaxSegmentPayload)
            throw EJPEG(QStringLiteral("JPEG segment too long: %1 bytes (the limit is %2)")
                            .arg(segment.Payload.size())
                            .arg(kMaxSegmentPayload));
    }
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0)
        return {};
    const QImage pixels = bitmap.Image24();
    if (pixels.isNull())
        return {};
    const JSAMPLE *base = pixels.constBits();
    const auto stride = std::size_t(pixels.bytesPerLine());

    // Reserved for the usual sizes (only the pages written are ever touched), so the bytes rarely move.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(std::min<std::size_t>(kMaxReservedOutput,
        kOutputChunk + std::size_t(pixels.width()) * std::size_t(pixels.height()) * 3));
    TVectorDestination destination {};
    destination.Bytes = &bytes;
    destination.Manager.init_destination = InitDestination;
    destination.Manager.empty_output_buffer = EmptyOutputBuffer;
    destination.Manager.term_destination = TermDestination;

    TJpegCompressor jpeg;
    j_compress_ptr info = &jpeg.Info;
    const bool done = Guarded(jpeg.Guard, [&] {
        info->dest = &destination.Manager;
        info->image_width = JDIMENSION(pixels.width());
        info->image_height = JDIMENSION(pixels.height());
        info->input_components = 3;
        info->in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(info);
        info->dct_method = JDCT_FLOAT;
        jpeg_set_quality(info, quality, TRUE);
        // Only the entropy coding changes: the quantised coefficients, and so the pixels, stay those of baseline.
        info->optimize_coding = coding != TJpegCoding::Baseline ? TRUE : FALSE;
        if (coding == TJpegCoding::Progressive)
            jpeg_simple_progression(info);
        if (ExifSegment(markers) != nullptr)
            info->write_JFIF_header = FALSE;
        jpeg_start_compress(info, TRUE);
        WriteMarkers(info, markers);
        while (info->next_scanline < info->image_height) {
            auto row = const_cast<JSAMPROW>(base + std::size_t(info->next_scanline) * stride);
            jpeg_write_scanlines(info, &row, 1);
        }
        jpeg_finish_compress(info);
    });
    if (!done)
        jpeg.Fail();
    return bytes;
}

TJpegMarkers ReadJpegStreamMarkers(std::span<const std::uint8_t> stream)
{
    TJpegMarkers markers;
    (void)ReadJpegStreamHeader(stream, &markers);
    return markers;
}

TBitmap DecodeJpegStreamUpright(std::span<const std::uint8_t> stream,
    bool eightBit,
    TOrientation orientation,
    const std::function<void()> &released,
    QStringList *warnings)
{
    if (orientation == TOrientation::Normal)
        return DecodeJpegStream(stream, eightBit, released, warnings);
    TJpegDecompressor jpeg(stream);
    const TDecodeFormat format = StartDecoding(jpeg, eightBit);
    if (released)
        jpeg.ReleaseInputIfRead(released);
    j_decompress_ptr info = &jpeg.Info;
    const int width = int(info->output_width);
    const int height = int(info->output_height);
    const bool swap = OrientationSwapsSides(orientation);
    QImage frame = NewFrame(swap ? height : width,
        swap ? width : height,
        format.Quantize ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (format.Quantize) {
        const std::vector<std::uint32_t> palette = QuantizedPalette(*info, jpeg.Colour.get());
        frame.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
    }
    const int bytesPerPixel = format.Quantize ? 1 : 3;
    // Rows are gathered in larger chunks than libjpeg hands out, so that a quarter turn writes whole cache
    // lines of each upright row rather than a few bytes at a time.
    PumpScanlines(
        jpeg,
        kUprightChunkRows,
        [&](int first, TDecodedRows rows) {
            PlaceRowsUpright(frame, orientation, width, height, first, rows, bytesPerPixel);
        },
        warnings);
    return TBitmap::FromImage(std::move(frame));
}

TBitmap DecodeJpegStreamReduced(std::span<const std::uint8_t> stream,
    int minWidth,
    int minHeight,
    TOrientation orientation,
    QStringList *warnings)
{
    TJpegDecompressor jpeg(stream);
    j_decompress_ptr info = &jpeg.Info;
    jpeg.Run([&] {
        jpeg_read_header(info, TRUE);
    });
    jpeg.CheckSize();
    const bool swap = OrientationSwapsSides(orientation);
    const auto needWidth = std::uint64_t(std::max(swap ? minHeight : minWidth, 1));
    const auto needHeight = std::uint64_t(std::max(swap ? minWidth : minHeight, 1));
    info->scale_denom = 8;
    for (info->scale_num = 1; info->scale_num < 8; ++info->scale_num) {
        jpeg.Run([&] {
            jpeg_calc_output_dimensions(info);
        });
        if (info->output_width >= needWidth && info->output_height >= needHeight)
            break;
    }
    info->do_block_smoothing = FALSE;
    info->dct_method = JDCT_ISLOW;
    const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg.Run([&] {
        jpeg_start_decompress(info);
    });
    const int width = int(info->output_width);
    const int height = int(info->output_height);
    QImage frame = NewFrame(swap ? height : width, swap ? width : height, QImage::Format_BGR888);
    PumpScanlines(
        jpeg,
        kUprightChunkRows,
        [&](int first, TDecodedRows rows) {
            PlaceRowsUpright(frame, orientation, width, height, first, rows, 3);
        },
        warnings);
    return TBitmap::FromImage(std::move(frame));
}

} // namespace vellumar
