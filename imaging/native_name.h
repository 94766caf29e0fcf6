#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vellumar
{

/**
 * The bytes the system takes for path. Text encodes as UTF-8, except that each lone surrogate
 * U+DC80..U+DCFF, which PathFromNative makes of a byte that is not part of valid UTF-8, becomes that
 * byte again. Any other lone surrogate (no listing makes one) becomes U+FFFD. An empty path gives
 * an empty array; a NUL character is kept as a 0 byte, which a caller must refuse before a system call.
 */
[[nodiscard]] QByteArray NativePath(const QString &path);

/**
 * A name or path as the system gave it, as text: valid UTF-8 decodes as usual; each byte of an invalid
 * sequence (a stray byte, an overlong or truncated form, an encoded surrogate, a code point beyond
 * U+10FFFF) becomes the lone surrogate U+DC80 + (byte - 0x80). NativePath gives back the same bytes.
 */
[[nodiscard]] QString PathFromNative(QByteArrayView bytes);

/**
 * name as one line of a log: \n, \t and \r by their escapes, other C0 controls and DEL as \xNN, C1
 * controls and the Unicode line and paragraph separators as \uNNNN, a byte PathFromNative kept
 * (U+DC80..U+DCFF) as \xNN. Everything else, a backslash included, stays as it is, so that escaping an
 * escaped text changes nothing: a line may pass here at every stage it goes through.
 */
[[nodiscard]] QString PrintableName(const QString &name);

} // namespace vellumar
