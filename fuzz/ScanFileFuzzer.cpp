// Arbitrary bytes as a scan file, read in pieces of sizes the input chooses: the
// reader never crashes, hangs or runs away with memory; it either refuses the file
// with a message naming it and a byte within what it read, or gives a tree whose
// folders hold their entries at consecutive indexes after themselves, whose totals
// add up, and which a scan file written from it gives back exactly.
#include "FuzzCheck.h"

#include "ScanFileReader.h"
#include "ScanFileWriter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

ScanFileResult readPieces(const std::uint8_t *data, std::size_t size, std::size_t piece)
{
    std::size_t at = 0;
    FunctionSource source([&](char *buffer, std::size_t room) {
        const std::size_t n = std::min({room, size - at, piece});
        std::memcpy(buffer, data + at, n);
        at += n;
        return n;
    });
    return ReadScanStream(source, QStringLiteral("fuzz"));
}

std::string written(const CatalogTree &tree)
{
    std::string text;
    WriteScanJson(tree, ScanFileMetadata(), [&text](std::string_view piece) {
        text.append(piece);
        return true;
    });
    return text;
}

void checkShape(const CatalogTree &tree)
{
    for (NodeIndex n = 0; n < tree.nodeCount(); ++n) {
        const CatalogNodeData &d = tree.node(n);
        FuzzRequire(n == 0 ? d.parent == NoNode : d.parent < n, "an entry stands before its folder");
        std::uint64_t sum = 0;
        for (std::uint32_t r = 0; r < d.childCount; ++r) {
            const NodeIndex c = tree.child(n, r);
            FuzzRequire(
                c < tree.nodeCount() && tree.parent(c) == n, "an entry does not point back at its folder");
            if (__builtin_add_overflow(sum, tree.node(c).size, &sum))
                sum = SaturatedSize;
        }
        FuzzRequire(!tree.isFolder(n) || d.size == sum, "a folder's size is not the sum of its entries'");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the size of the pieces, so tokens straddle reads.
    const std::size_t piece = std::size_t(data[0] % 16) + 1;
    const ScanFileResult read = readPieces(data + 1, size - 1, piece);
    if (!read.tree) {
        FuzzRequire(read.error.startsWith(QStringLiteral("fuzz: byte ")), "a refusal names no byte",
            [&] { return read.error.toStdString(); });
        const qulonglong at = read.error.mid(11, read.error.indexOf(u':', 11) - 11).toULongLong();
        // gzip data may decode to more than it is; plain text cannot.
        FuzzRequire(at <= size || (size > 2 && data[1] == 0x1f && data[2] == 0x8b),
            "a refusal names a byte past the end", [&] { return read.error.toStdString(); });
        return 0;
    }
    checkShape(*read.tree);
    const std::string once = written(*read.tree);
    const ScanFileResult again =
        readPieces(reinterpret_cast<const std::uint8_t *>(once.data()), once.size(), piece);
    FuzzRequire(again.tree != nullptr, "a written scan file cannot be read", [&] {
        return again.error.toStdString() + "\n" + Shown(QByteArrayView(once.data(), qsizetype(once.size())));
    });
    FuzzRequire(written(*again.tree) == once, "a written scan file reads back otherwise",
        [&] { return Shown(QByteArrayView(once.data(), qsizetype(once.size()))); });
    return 0;
}
