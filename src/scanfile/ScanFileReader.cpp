#include "ScanFileReader.h"

#include "JsonTokenizer.h"
#include "RollUp.h"
#include "SafeFile.h"
#include "TreeAssembly.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Token = JsonTokenizer::Token;

// Thrown when ScanFileOptions::cancel is set.
struct Cancelled
{ };

constexpr std::uint64_t MaxSize = std::uint64_t(INT64_MAX);
constexpr std::uint64_t ProgressEvery = 65536;

// The fields of one entry's info object that Folvane keeps or uses.
struct Info
{
    std::string name;
    std::string excluded;
    std::uint64_t nameAt = 0;
    std::uint64_t asize = 0;
    std::uint64_t dsize = 0; // the entry's own blocks (a folder's without its entries)
    std::int64_t mtime = 0;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::uint64_t nlink = 0;
    bool hasName = false;
    bool hasAsize = false;
    bool hasMtime = false;
    bool hasDev = false;
    bool hasIno = false;
    bool hlnkc = false;
    bool readError = false;
    bool notreg = false;

    void clear()
    {
        name.clear();
        excluded.clear();
        hasName = hasAsize = hasMtime = hasDev = hasIno = false;
        hlnkc = readError = notreg = false;
        asize = dsize = dev = ino = nlink = 0;
        mtime = 0;
    }
};

class Reader
{
public:
    Reader(ByteSource &source, const ScanFileOptions &options) : m_tokens(source), m_options(options) { }

    ScanFileResult read();

private:
    bool expectToken(Token token, const char *what)
    {
        if (m_tokens.next() != token)
            m_tokens.expected(what);
        return true;
    }
    void readMetadata(ScanFileMetadata &metadata);
    void skipValue(Token first);
    void readInfo(Info &info, std::uint64_t objectAt);
    bool readBool(const char *key);
    CatalogNodeData nodeOf(const Info &info, bool folderArray, bool &unreadable);
    void countLink(const Info &info, CatalogNodeData &data);
    void checkName(const Info &info, bool top);
    void entryRead();

    JsonTokenizer m_tokens;
    const ScanFileOptions &m_options;
    std::vector<std::uint64_t> m_devices; // the device of each open folder
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_linksMet;
    std::uint64_t m_sinceProgress = 0;
    bool m_repeatsMarked = false; // a file of gdu's: "hlnkc" marks a link met before
};

bool Reader::readBool(const char *key)
{
    const Token t = m_tokens.next();
    if (t != Token::True && t != Token::False)
        m_tokens.expected(std::string("true or false for \"") + key + '"');
    return t == Token::True;
}

void Reader::skipValue(Token first)
{
    std::vector<Token> open;
    Token t = first;
    for (;;) {
        if (t == Token::ArrayStart || t == Token::ObjectStart) {
            if (open.size() >= MaxScanFileDepth)
                m_tokens.fail("expected a value nested less deeply");
            open.push_back(t == Token::ArrayStart ? Token::ArrayEnd : Token::ObjectEnd);
        } else if (t == Token::ArrayEnd || t == Token::ObjectEnd) {
            if (open.empty() || open.back() != t)
                m_tokens.expected("a value");
            open.pop_back();
        } else if (t == Token::End) {
            m_tokens.expected("the rest of a value");
        } else if (open.empty() && (t == Token::Comma || t == Token::Colon)) {
            m_tokens.expected("a value");
        }
        if (open.empty())
            return;
        t = m_tokens.next();
    }
}

void Reader::readMetadata(ScanFileMetadata &metadata)
{
    if (m_tokens.next() != Token::ObjectStart)
        m_tokens.expected("the metadata object '{'");
    Token t = m_tokens.next();
    if (t == Token::ObjectEnd)
        return;
    for (;;) {
        if (t != Token::String)
            m_tokens.expected("a key of the metadata object");
        const std::string key = m_tokens.text();
        expectToken(Token::Colon, "':' after a key");
        const Token value = m_tokens.next();
        if (value == Token::String && (key == "progname" || key == "progver" || key == "hostname")) {
            QByteArray &field = key == "progname" ? metadata.program
                : key == "progver"                ? metadata.version
                                                  : metadata.hostname;
            field = QByteArray(m_tokens.text().data(), qsizetype(m_tokens.text().size()));
        } else if (value == Token::Number && key == "timestamp") {
            metadata.timestamp = m_tokens.integer("the timestamp", INT64_MIN, INT64_MAX);
        } else {
            skipValue(value);
        }
        t = m_tokens.next();
        if (t == Token::ObjectEnd)
            return;
        if (t != Token::Comma)
            m_tokens.expected("',' or '}' in the metadata object");
        t = m_tokens.next();
    }
}

// After the '{' of an info object: its fields up to the '}'.
void Reader::readInfo(Info &info, std::uint64_t objectAt)
{
    info.clear();
    Token t = m_tokens.next();
    while (t != Token::ObjectEnd) {
        if (t != Token::String)
            m_tokens.expected("a key of an entry's object, or '}'");
        // Keys are few and short: compared as they are.
        const std::string &key = m_tokens.text();
        enum class Key {
            Name,
            Asize,
            Dsize,
            Mtime,
            Dev,
            Ino,
            Nlink,
            Hlnkc,
            ReadError,
            Notreg,
            Excluded,
            Other
        };
        const Key k = key == "name" ? Key::Name
            : key == "asize"        ? Key::Asize
            : key == "dsize"        ? Key::Dsize
            : key == "mtime"        ? Key::Mtime
            : key == "dev"          ? Key::Dev
            : key == "ino"          ? Key::Ino
            : key == "nlink"        ? Key::Nlink
            : key == "hlnkc"        ? Key::Hlnkc
            : key == "read_error"   ? Key::ReadError
            : key == "notreg"       ? Key::Notreg
            : key == "excluded"     ? Key::Excluded
                                    : Key::Other;
        expectToken(Token::Colon, "':' after a key");
        switch (k) {
        case Key::Name:
            if (m_tokens.next() != Token::String)
                m_tokens.expected("a string for \"name\"");
            info.name = m_tokens.text();
            info.nameAt = m_tokens.offset();
            info.hasName = true;
            break;
        case Key::Asize:
            m_tokens.next();
            info.asize = m_tokens.unsignedInteger("a size", MaxSize);
            info.hasAsize = true;
            break;
        case Key::Dsize:
            m_tokens.next();
            info.dsize = m_tokens.unsignedInteger("a size", MaxSize);
            break;
        case Key::Mtime:
            m_tokens.next();
            info.mtime = m_tokens.integer("a time stamp", INT64_MIN, INT64_MAX);
            info.hasMtime = true;
            break;
        case Key::Dev:
            m_tokens.next();
            info.dev = m_tokens.unsignedInteger("a device number", UINT64_MAX);
            info.hasDev = true;
            break;
        case Key::Ino:
            m_tokens.next();
            info.ino = m_tokens.unsignedInteger("an inode number", UINT64_MAX);
            info.hasIno = true;
            break;
        case Key::Nlink:
            m_tokens.next();
            info.nlink = m_tokens.unsignedInteger("a link count", UINT32_MAX);
            break;
        case Key::Hlnkc:
            info.hlnkc = readBool("hlnkc");
            break;
        case Key::ReadError:
            info.readError = readBool("read_error");
            break;
        case Key::Notreg:
            info.notreg = readBool("notreg");
            break;
        case Key::Excluded:
            if (m_tokens.next() != Token::String)
                m_tokens.expected("a string for \"excluded\"");
            info.excluded = m_tokens.text();
            break;
        case Key::Other:
            skipValue(m_tokens.next());
            break;
        }
        t = m_tokens.next();
        if (t == Token::Comma)
            t = m_tokens.next();
        else if (t != Token::ObjectEnd)
            m_tokens.expected("',' or '}' in an entry's object");
    }
    if (!info.hasName)
        throw ScanSyntaxError(objectAt, "expected a \"name\" in an entry's object, found none");
}

void Reader::checkName(const Info &info, bool top)
{
    const auto fault = [&info](const char *what) { throw ScanSyntaxError(info.nameAt, what); };
    if (info.name.empty())
        fault("expected a name, found an empty one");
    if (info.name.find('\0') != std::string::npos)
        fault("expected a name, found one with a NUL character");
    if (!top && info.name.find('/') != std::string::npos)
        fault("expected a name, found one with a '/' (only the top entry holds a path)");
    if (info.name.size() > 0xFFFF)
        fault("expected a name of at most 65535 bytes, found a longer one");
}

CatalogNodeData Reader::nodeOf(const Info &info, bool folderArray, bool &unreadable)
{
    CatalogNodeData d;
    unreadable = false;
    d.set(CatalogNodeData::HasDetails);
    d.diskSize = info.dsize; // a folder's own blocks: the roll-up adds those below it
    if (info.hasMtime) {
        d.writeTime = info.mtime;
        d.set(CatalogNodeData::HasWriteTime);
    }
    if (folderArray) {
        d.setKind(NodeKind::Folder);
        unreadable = info.readError;
        return d;
    }
    if (!info.excluded.empty()) {
        // Folders on other file systems are kept as folders without entries, as a
        // scan that stays on one file system keeps them; what a pattern left out
        // could have been anything.
        if (info.excluded == "otherfs" || info.excluded == "kernfs" || info.excluded == "frmlnk") {
            d.setKind(NodeKind::Folder);
        } else {
            d = CatalogNodeData();
        }
        return d;
    }
    if (info.readError && !info.hasAsize) {
        // Listed but not examined: the kind the listing gave, nothing more.
        if (info.notreg) {
            d = CatalogNodeData();
        } else {
            d.setKind(NodeKind::File);
            d.clear(CatalogNodeData::HasWriteTime);
        }
        return d;
    }
    d.setKind(NodeKind::File);
    d.size = info.asize;
    d.set(CatalogNodeData::HasSize);
    return d;
}

void Reader::countLink(const Info &info, CatalogNodeData &data)
{
    // A link without size was counted once elsewhere already (by the writer).
    if (!m_options.countHardLinksOnce || !info.hasIno || !(info.hlnkc || info.nlink > 1) || data.size == 0)
        return;
    const std::uint64_t device = info.hasDev ? info.dev : m_devices.back();
    // gdu marks the links after the first only, and names no inode for the first.
    if (!m_linksMet.emplace(device, info.ino).second || (m_repeatsMarked && info.hlnkc)) {
        data.size = 0;
        data.diskSize = 0;
    }
}

void Reader::entryRead()
{
    if (++m_sinceProgress < ProgressEvery)
        return;
    m_sinceProgress = 0;
    if (m_options.cancel && m_options.cancel->load(std::memory_order_relaxed))
        throw Cancelled {};
}

ScanFileResult Reader::read()
{
    ScanFileResult result;
    expectToken(Token::ArrayStart, "'[' (the start of a scan file)");
    m_tokens.next();
    const std::int64_t major = m_tokens.integer("the major version", 0, 10000);
    if (major != 1)
        m_tokens.fail("expected major version 1, found " + std::to_string(major));
    expectToken(Token::Comma, "',' after the major version");
    m_tokens.next();
    m_tokens.integer("the minor version", 0, 10000);
    expectToken(Token::Comma, "',' after the minor version");
    readMetadata(result.metadata);
    m_repeatsMarked = result.metadata.program == "gdu";
    expectToken(Token::Comma, "',' after the metadata");
    expectToken(Token::ArrayStart, "'[' (the top folder)");
    std::uint64_t objectAt = m_tokens.offset();
    expectToken(Token::ObjectStart, "'{' (the top folder's object)");

    Info info;
    readInfo(info, objectAt);
    checkName(info, true);
    bool unreadable = false;
    // The top entry is a path, as a scan's top is: no name details of its own.
    CatalogNodeData top = nodeOf(info, true, unreadable);
    top.clear(CatalogNodeData::HasDetails);
    TreeAssembly assembly(QByteArray(info.name.data(), qsizetype(info.name.size())), top, unreadable);
    m_devices.push_back(info.hasDev ? info.dev : 0);

    for (;;) {
        Token t = m_tokens.next();
        if (t == Token::ArrayEnd) {
            try {
                assembly.closeFolder();
            } catch (const DuplicateName &d) {
                throw ScanSyntaxError(d.offset,
                    "expected names that differ within a folder, found a second \"" + d.name + "\"");
            }
            m_devices.pop_back();
            if (m_devices.empty())
                break;
            continue;
        }
        if (t != Token::Comma)
            m_tokens.expected("',' or ']' after an entry");
        t = m_tokens.next();
        objectAt = m_tokens.offset();
        const bool folder = t == Token::ArrayStart;
        if (folder) {
            if (assembly.depth() >= MaxScanFileDepth)
                m_tokens.fail("expected folders nested at most " + std::to_string(MaxScanFileDepth)
                    + " deep, found a deeper one (no real tree goes so deep)");
            t = m_tokens.next();
            if (t != Token::ObjectStart)
                m_tokens.expected("'{' (a folder's object)");
        } else if (t != Token::ObjectStart) {
            m_tokens.expected("an entry: '{' for a file or '[' for a folder");
        }
        readInfo(info, objectAt);
        checkName(info, false);
        CatalogNodeData data = nodeOf(info, folder, unreadable);
        const QByteArrayView name(info.name.data(), qsizetype(info.name.size()));
        if (folder) {
            assembly.openFolder(name, data, unreadable, objectAt);
            m_devices.push_back(info.hasDev ? info.dev : m_devices.back());
        } else {
            countLink(info, data);
            const bool linked =
                info.hasIno && (info.hlnkc || info.nlink > 1) && data.kind() != NodeKind::Folder;
            const HardLink link {
                NoNode, std::uint32_t(info.nlink), info.hasDev ? info.dev : m_devices.back(), info.ino};
            assembly.addFile(name, data, unreadable, objectAt, linked ? &link : nullptr);
        }
        entryRead();
        if (m_options.progress && m_sinceProgress == 0)
            m_options.progress(assembly.entries());
    }
    expectToken(Token::ArrayEnd, "']' (the end of the scan file)");
    expectToken(Token::End, "the end of the file after the scan");

    result.tree = assembly.finish();
    FinishTree(*result.tree, m_options.ranges);
    return result;
}

ScanFileResult failed(const QString &error, bool cancelled = false)
{
    ScanFileResult result;
    result.error = error;
    result.cancelled = cancelled;
    return result;
}

QString faultText(const QString &name, std::uint64_t offset, const char *what)
{
    return QStringLiteral("%1: byte %2: %3").arg(name).arg(offset).arg(QString::fromUtf8(what));
}

} // namespace

ScanFileResult ReadScanStream(ByteSource &source, const QString &name, const ScanFileOptions &options)
{
    try {
        GzipSource text(source);
        Reader reader(text, options);
        return reader.read();
    } catch (const ScanSyntaxError &e) {
        return failed(faultText(name, e.offset, e.what()));
    } catch (const Cancelled &) {
        return failed(QStringLiteral("%1: the reading was cancelled").arg(name), true);
    } catch (const std::system_error &e) {
        return failed(QStringLiteral("%1: %2").arg(name, SafeFile::reason(e.code().value())));
    } catch (const std::bad_alloc &) {
        return failed(QStringLiteral("%1: %2").arg(name, SafeFile::reason(ENOMEM)));
    } catch (const std::length_error &) {
        return failed(QStringLiteral("%1: the file holds more entries than a catalog can").arg(name));
    }
}

ScanFileResult ReadScanFile(const QByteArray &path, const ScanFileOptions &options)
{
    if (path == "-") {
        DescriptorSource in(STDIN_FILENO);
        return ReadScanStream(in, QStringLiteral("standard input"), options);
    }
    const QString name = QFile::decodeName(path);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(QStringLiteral("%1: %2").arg(name, SafeFile::reason(errno)));
    DescriptorSource in(fd);
    ScanFileResult result = ReadScanStream(in, name, options);
    ::close(fd);
    return result;
}
