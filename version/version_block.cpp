#include "version/version_block.h"

#include <algorithm>

#include <QList>

#include "imaging/errors.h"

namespace vellumar
{

namespace
{

constexpr std::size_t kNodeHeaderSize = 6; // wLength, wValueLength, wType
constexpr std::uint16_t kBinaryNode = 0;
constexpr std::uint16_t kTextNode = 1;
// A real block nests four deep (root, StringFileInfo, table, string); anything deeper is not ours.
constexpr int kMaxNodeDepth = 8;

const QString kRootKey = QStringLiteral("VS_VERSION_INFO");

std::size_t Align4(std::size_t offset)
{
    return (offset + 3) & ~std::size_t(3);
}

// ---- writing

void Put16(std::vector<std::uint8_t> &out, std::uint16_t value)
{
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

void Put32(std::vector<std::uint8_t> &out, std::uint32_t value)
{
    Put16(out, std::uint16_t(value));
    Put16(out, std::uint16_t(value >> 16));
}

void PutText(std::vector<std::uint8_t> &out, QStringView text)
{
    for (const QChar c : text)
        Put16(out, c.unicode());
    Put16(out, 0);
}

void PadTo4(std::vector<std::uint8_t> &out)
{
    out.resize(Align4(out.size()), 0);
}

// Writes a node's header, key and padding; its wLength is filled in by EndNode.
std::size_t BeginNode(std::vector<std::uint8_t> &out, QStringView key, std::size_t valueLength, std::uint16_t type)
{
    if (valueLength > 0xFFFF)
        throw Exception(QStringLiteral("Version value too long: %1").arg(key));
    PadTo4(out);
    const std::size_t start = out.size();
    Put16(out, 0);
    Put16(out, std::uint16_t(valueLength));
    Put16(out, type);
    PutText(out, key);
    PadTo4(out);
    return start;
}

void EndNode(std::vector<std::uint8_t> &out, std::size_t start)
{
    const std::size_t length = out.size() - start;
    if (length > 0xFFFF)
        throw Exception(QStringLiteral("Version block too large"));
    out[start] = std::uint8_t(length);
    out[start + 1] = std::uint8_t(length >> 8);
}

// ---- reading

std::uint16_t Read16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return std::uint16_t(bytes[at] | bytes[at + 1] << 8);
}

// One node's layout; offsets count from the start of the block.
struct TNode {
    std::size_t End = 0;
    QString Key;
    std::size_t ValueStart = 0;
    std::size_t ValueSize = 0;
    std::size_t ChildrenStart = 0;
};

// The node at `at`, which must lie wholly before `limit`; empty when it does not.
std::optional<TNode> ReadNode(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t limit)
{
    if (at > limit || limit - at < kNodeHeaderSize)
        return std::nullopt;
    const std::size_t length = Read16(bytes, at);
    if (length < kNodeHeaderSize || length > limit - at)
        return std::nullopt;
    TNode node;
    node.End = at + length;
    std::size_t pos = at + kNodeHeaderSize;
    for (;;) {
        if (node.End - pos < 2)
            return std::nullopt;
        const char16_t c = Read16(bytes, pos);
        pos += 2;
        if (c == 0)
            break;
        node.Key.append(QChar(c));
    }
    const std::size_t valueLength = Read16(bytes, at + 2);
    node.ValueSize = Read16(bytes, at + 4) == kTextNode ? 2 * valueLength : valueLength;
    node.ValueStart = std::min(Align4(pos), node.End);
    if (node.ValueSize > node.End - node.ValueStart)
        return std::nullopt;
    node.ChildrenStart = std::min(Align4(node.ValueStart + node.ValueSize), node.End);
    return node;
}

// Calls visit(child) for each child in order until it returns false. False when a child is damaged.
template<typename TVisit>
bool ForEachChild(std::span<const std::uint8_t> bytes, const TNode &node, TVisit visit)
{
    // Fewer bytes than a header at the end are padding.
    for (std::size_t at = node.ChildrenStart; at <= node.End && node.End - at >= kNodeHeaderSize;) {
        const std::optional<TNode> child = ReadNode(bytes, at, node.End);
        if (!child)
            return false;
        if (!visit(*child))
            return true;
        at = Align4(child->End);
    }
    return true;
}

bool IsSound(std::span<const std::uint8_t> bytes, const TNode &node, int depth)
{
    if (depth > kMaxNodeDepth)
        return false;
    bool sound = true;
    const bool childrenRead = ForEachChild(bytes, node, [&](const TNode &child) {
        sound = IsSound(bytes, child, depth + 1);
        return sound;
    });
    return sound && childrenRead;
}

} // namespace

std::vector<std::uint8_t> BuildVersionBlock(const TVersionBlockData &data)
{
    std::vector<std::uint8_t> out;
    const std::size_t root = BeginNode(out, kRootKey, kFixedFileInfoSize, kBinaryNode);
    for (const std::uint32_t word : { kFixedFileInfoSignature,
             std::uint32_t(0x00010000), // dwStrucVersion 1.0
             data.FileVersionMS,
             data.FileVersionLS,
             data.ProductVersionMS,
             data.ProductVersionLS,
             data.FileFlagsMask,
             data.FileFlags,
             data.FileOS,
             data.FileType,
             data.FileSubtype,
             std::uint32_t(0), // no file date
             std::uint32_t(0) })
        Put32(out, word);

    const std::size_t stringInfo = BeginNode(out, u"StringFileInfo", 0, kTextNode);
    const QString tableKey = QString::asprintf("%04X%04X", unsigned(data.Language), unsigned(data.CodePage));
    const std::size_t table = BeginNode(out, tableKey, 0, kTextNode);
    for (const auto &[key, value] : data.Strings) {
        const std::size_t entry = BeginNode(out, key, std::size_t(value.size()) + 1, kTextNode);
        PutText(out, value);
        EndNode(out, entry);
    }
    EndNode(out, table);
    EndNode(out, stringInfo);

    const std::size_t varInfo = BeginNode(out, u"VarFileInfo", 0, kTextNode);
    const std::size_t translation = BeginNode(out, u"Translation", 4, kBinaryNode);
    Put16(out, data.Language);
    Put16(out, data.CodePage);
    EndNode(out, translation);
    EndNode(out, varInfo);

    EndNode(out, root);
    return out;
}

std::optional<TVersionBlock> TVersionBlock::Parse(std::span<const std::uint8_t> bytes)
{
    const std::optional<TNode> root = ReadNode(bytes, 0, bytes.size());
    if (!root || root->Key != kRootKey || !IsSound(bytes, *root, 0))
        return std::nullopt;
    return TVersionBlock(bytes.first(root->End));
}

std::optional<std::span<const std::uint8_t>> TVersionBlock::QueryValue(QStringView path) const
{
    std::optional<TNode> node = ReadNode(mBytes, 0, mBytes.size());
    for (const QStringView key : path.split(u'\\', Qt::SkipEmptyParts)) {
        if (!node)
            break;
        std::optional<TNode> found;
        ForEachChild(mBytes, *node, [&](const TNode &child) {
            if (child.Key.compare(key, Qt::CaseInsensitive) == 0)
                found = child;
            return !found;
        });
        node = std::move(found);
    }
    if (!node)
        return std::nullopt;
    return mBytes.subspan(node->ValueStart, node->ValueSize);
}

std::optional<QString> TVersionBlock::QueryText(QStringView path) const
{
    const std::optional<std::span<const std::uint8_t>> value = QueryValue(path);
    if (!value)
        return std::nullopt;
    QString text;
    for (std::size_t at = 0; at + 1 < value->size(); at += 2) {
        const char16_t c = Read16(*value, at);
        if (c == 0)
            break;
        text.append(QChar(c));
    }
    return text;
}

} // namespace vellumar
