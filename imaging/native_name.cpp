#include "imaging/native_name.h"

#include <algorithm>
#include <cstdint>

namespace vellumar
{

namespace
{

constexpr char16_t kFirstByteSurrogate = 0xDC80;
constexpr char16_t kLastByteSurrogate = 0xDCFF;

void AppendUtf8(QByteArray &bytes, char32_t code)
{
    if (code < 0x80) {
        bytes += char(code);
    } else if (code < 0x800) {
        bytes += char(0xC0 | (code >> 6));
        bytes += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        bytes += char(0xE0 | (code >> 12));
        bytes += char(0x80 | ((code >> 6) & 0x3F));
        bytes += char(0x80 | (code & 0x3F));
    } else {
        bytes += char(0xF0 | (code >> 18));
        bytes += char(0x80 | ((code >> 12) & 0x3F));
        bytes += char(0x80 | ((code >> 6) & 0x3F));
        bytes += char(0x80 | (code & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at bytes[i] and its code point, or 0 when it is not one. Strict:
// no overlong form, no encoded surrogate, nothing beyond U+10FFFF, so that each text has one spelling.
int DecodeOne(QByteArrayView bytes, qsizetype i, char32_t &code)
{
    const auto byte = [&](qsizetype k) {
        return k < bytes.size() ? std::uint8_t(bytes[k]) : std::uint8_t(0);
    };
    const std::uint8_t lead = byte(i);
    int length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        const std::uint8_t next = byte(i + k);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

QString Hex(uint value, int digits)
{
    return QString::number(value, 16).rightJustified(digits, QLatin1Char('0'));
}

} // namespace

QByteArray NativePath(const QString &path)
{
    // The usual name holds no surrogate at all, and Qt's own encoder is the faster.
    if (std::none_of(path.cbegin(), path.cend(), [](QChar c) {
            return c.isSurrogate();
        }))
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < path.size() && QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            AppendUtf8(bytes, QChar::surrogateToUcs4(unit, path.at(i + 1).unicode()));
            ++i;
        } else if (unit >= kFirstByteSurrogate && unit <= kLastByteSurrogate) {
            bytes += char(unit - kFirstByteSurrogate + 0x80);
        } else if (QChar::isSurrogate(unit)) {
            AppendUtf8(bytes, 0xFFFD);
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

QString PathFromNative(QByteArrayView bytes)
{
    // QString::fromUtf8 would drop a leading byte-order mark, which is part of a name like any character.
    if (bytes.isValidUtf8() && !bytes.startsWith("\xef\xbb\xbf"))
        return QString::fromUtf8(bytes);
    QString text;
    text.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        char32_t code = 0;
        if (const int length = DecodeOne(bytes, i, code); length > 0) {
            if (QChar::requiresSurrogates(code)) {
                text += QChar(QChar::highSurrogate(code));
                text += QChar(QChar::lowSurrogate(code));
            } else {
                text += QChar(char16_t(code));
            }
            i += length;
        } else {
            // One byte at a time: the next byte may start a valid sequence.
            text += QChar(char16_t(kFirstByteSurrogate + std::uint8_t(bytes[i]) - 0x80));
            ++i;
        }
    }
    return text;
}

QString PrintableName(const QString &name)
{
    const auto plain = [](char16_t unit) {
        return unit >= 0x20 && unit != 0x7F && !(unit >= 0x80 && unit <= 0x9F) && unit != 0x2028 && unit != 0x2029
            && !QChar::isSurrogate(unit);
    };
    if (std::all_of(name.begin(), name.end(), [&](QChar c) {
            return plain(c.unicode());
        }))
        return name;
    QString text;
    text.reserve(name.size() + 8);
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name.at(i).unicode();
        if (plain(unit)) {
            text += QChar(unit);
        } else if (QChar::isHighSurrogate(unit) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            text += QChar(unit);
            text += name.at(++i);
        } else if (unit == u'\n') {
            text += QLatin1String("\\n");
        } else if (unit == u'\t') {
            text += QLatin1String("\\t");
        } else if (unit == u'\r') {
            text += QLatin1String("\\r");
        } else if (unit < 0x80) {
            text += QLatin1String("\\x") + Hex(unit, 2);
        } else if (unit >= kFirstByteSurrogate && unit <= kLastByteSurrogate) {
            text += QLatin1String("\\x") + Hex(unit - kFirstByteSurrogate + 0x80, 2);
        } else {
            text += QLatin1String("\\u") + Hex(unit, 4);
        }
    }
    return text;
}

} // namespace vellumar
