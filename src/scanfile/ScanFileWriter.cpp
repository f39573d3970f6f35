#include "ScanFileWriter.h"

#include "SafeFile.h"

#include <QDateTime>
#include <QSysInfo>

#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::size_t PieceSize = std::size_t(1) << 20;

void appendNumber(std::string &out, std::int64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, std::size_t(end - digits));
}

void appendUnsigned(std::string &out, std::uint64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, std::size_t(end - digits));
}

// A JSON string of exactly `bytes`: the quote, the backslash and control characters
// escaped; every other byte, also one that is not part of UTF-8, as it is.
void appendString(std::string &out, QByteArrayView bytes)
{
    static constexpr char Hex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '"' || u == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u == '\n') {
            out.append("\\n");
        } else if (u == '\t') {
            out.append("\\t");
        } else if (u == '\r') {
            out.append("\\r");
        } else if (u < 0x20 || u == 0x7f) {
            out.append("\\u00");
            out.push_back(Hex[u >> 4]);
            out.push_back(Hex[u & 15]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

// The hard links of a tree by the node each lives at now.
std::unordered_map<NodeIndex, const HardLink *> linksByNode(const CatalogTree &tree)
{
    std::unordered_map<NodeIndex, const HardLink *> links;
    for (const HardLink &link : tree.hardLinks()) {
        const NodeIndex now = tree.successor(link.node);
        if (now != NoNode)
            links[now] = &link;
    }
    return links;
}

// The info object of one entry, without the bracket of a folder's array.
void appendInfo(std::string &out, const CatalogTree &tree, NodeIndex i, const HardLink *link = nullptr)
{
    const CatalogNodeData &n = tree.node(i);
    out.append("{\"name\":");
    appendString(out, tree.nameBytes(i));
    const bool folder = n.kind() == NodeKind::Folder;
    if (!folder && n.has(CatalogNodeData::HasSize)) {
        out.append(",\"asize\":");
        appendUnsigned(out, n.size);
    }
    // Disk usage: an entry's own blocks, a folder's without those of its entries, as
    // the format sums them up again.
    std::uint64_t own = n.diskSize;
    if (folder && own != SaturatedSize) {
        for (std::uint32_t r = 0; r < n.childCount && own > 0; ++r) {
            const std::uint64_t below = tree.node(tree.child(i, r)).diskSize;
            own = own > below ? own - below : 0;
        }
    }
    if (own > 0) {
        out.append(",\"dsize\":");
        appendUnsigned(out, own);
    }
    if (n.has(CatalogNodeData::HasWriteTime)) {
        out.append(",\"mtime\":");
        appendNumber(out, n.writeTime);
    }
    const bool unexamined = !folder && !n.has(CatalogNodeData::HasSize);
    if (unexamined || tree.unreadableError(i) != 0)
        out.append(",\"read_error\":true");
    if (n.kind() == NodeKind::Unknown)
        out.append(",\"notreg\":true");
    if (link) {
        out.append(",\"dev\":");
        appendUnsigned(out, link->device);
        out.append(",\"ino\":");
        appendUnsigned(out, link->inode);
        out.append(",\"hlnkc\":true");
        if (link->links > 0) {
            out.append(",\"nlink\":");
            appendUnsigned(out, link->links);
        }
    }
    out.push_back('}');
}

// Compresses what passes through it as one gzip member.
class GzipSink
{
public:
    explicit GzipSink(const std::function<bool(std::string_view)> &next) : m_next(next)
    {
        // Level 1: a scan file of millions of entries is written in about the time
        // it takes to make, and still comes out several times smaller.
        if (deflateInit2(&m_stream, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
        m_out.resize(PieceSize);
    }
    ~GzipSink() { deflateEnd(&m_stream); }
    GzipSink(const GzipSink &) = delete;
    GzipSink &operator=(const GzipSink &) = delete;

    bool put(std::string_view bytes) { return pump(bytes, Z_NO_FLUSH); }
    bool finish() { return pump({}, Z_FINISH); }

private:
    bool pump(std::string_view bytes, int flush)
    {
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
        m_stream.avail_in = uInt(bytes.size());
        for (;;) {
            m_stream.next_out = reinterpret_cast<Bytef *>(m_out.data());
            m_stream.avail_out = uInt(m_out.size());
            const int status = deflate(&m_stream, flush);
            if (status == Z_STREAM_ERROR)
                return false;
            const std::size_t made = m_out.size() - m_stream.avail_out;
            if (made > 0 && !m_next(std::string_view(m_out.data(), made)))
                return false;
            if (flush == Z_FINISH ? status == Z_STREAM_END
                                  : m_stream.avail_in == 0 && m_stream.avail_out != 0)
                return true;
        }
    }

    const std::function<bool(std::string_view)> &m_next;
    z_stream m_stream {};
    std::string m_out;
};

// Runs WriteScanJson into `sink`, through gzip when asked.
bool writeTo(const CatalogTree &tree, const ScanFileMetadata &metadata, bool gzip,
    const std::function<bool(std::string_view)> &sink)
{
    if (!gzip)
        return WriteScanJson(tree, metadata, sink);
    GzipSink zipped(sink);
    return WriteScanJson(tree, metadata, [&zipped](std::string_view piece) { return zipped.put(piece); })
        && zipped.finish();
}

} // namespace

ScanFileMetadata CurrentScanFileMetadata()
{
    ScanFileMetadata metadata;
    metadata.version = FOLVANE_VERSION;
    metadata.hostname = QSysInfo::machineHostName().toUtf8();
    metadata.timestamp = QDateTime::currentSecsSinceEpoch();
    return metadata;
}

bool IsGzipName(const QByteArray &path)
{
    return path.endsWith(".gz");
}

bool WriteScanJson(const CatalogTree &tree, const ScanFileMetadata &metadata,
    const std::function<bool(std::string_view)> &sink)
{
    std::string out;
    out.reserve(PieceSize + 4096);
    out.append("[1,2,{\"progname\":");
    appendString(out, metadata.program);
    out.append(",\"progver\":");
    appendString(out, metadata.version);
    out.append(",\"timestamp\":");
    appendNumber(out, metadata.timestamp);
    if (!metadata.hostname.isEmpty()) {
        out.append(",\"hostname\":");
        appendString(out, metadata.hostname);
    }
    out.append("},\n");
    if (tree.isEmpty()) {
        out.append("[{\"name\":\"\"}]]\n");
        return sink(out);
    }

    // Folders open on the way down, each with the row of its next child.
    struct Open
    {
        NodeIndex folder;
        std::uint32_t next;
    };
    std::vector<Open> open;
    const std::unordered_map<NodeIndex, const HardLink *> links = linksByNode(tree);
    out.push_back('[');
    appendInfo(out, tree, tree.top());
    open.push_back({tree.top(), 0});
    while (!open.empty()) {
        Open &at = open.back();
        if (at.next == tree.childCount(at.folder)) {
            out.push_back(']');
            open.pop_back();
            continue;
        }
        const NodeIndex child = tree.child(at.folder, at.next++);
        out.append(",\n");
        if (tree.isFolder(child)) {
            out.push_back('[');
            appendInfo(out, tree, child);
            open.push_back({child, 0});
        } else {
            const auto link = links.find(child);
            appendInfo(out, tree, child, link == links.end() ? nullptr : link->second);
        }
        if (out.size() >= PieceSize) {
            if (!sink(out))
                return false;
            out.clear();
        }
    }
    out.append("]\n");
    return sink(out);
}

QString WriteScanFile(const CatalogTree &tree, const QByteArray &path, const ScanFileMetadata &metadata)
{
    SafeFile::Replacement file(path);
    bool written = false;
    try {
        written = writeTo(
            tree, metadata, IsGzipName(path), [&file](std::string_view piece) { return file.write(piece); });
    } catch (const std::bad_alloc &) {
        return SafeFile::reason(ENOMEM);
    }
    // Not committed, the file beside the target goes again.
    if (!written)
        return file.ok() ? SafeFile::reason(EIO) : file.error();
    return file.commit();
}

QString WriteScanFile(const CatalogTree &tree, int fd, const ScanFileMetadata &metadata)
{
    int error = 0;
    try {
        writeTo(tree, metadata, false, [fd, &error](std::string_view piece) {
            error = SafeFile::writeAll(fd, piece);
            return error == 0;
        });
    } catch (const std::bad_alloc &) {
        error = ENOMEM;
    }
    return error == 0 ? QString() : SafeFile::reason(error);
}
