#include "TConfig.h"

#include "CatalogFields.h"
#include "SafeFile.h"
#include "XmlConformance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

// One line; the tabs between the elements carry no meaning and vanish on parsing.
constexpr char DefaultHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                               "<config versionNo=\"2\">"
                               "\t<frame max=\"True\" left=\"0\" top=\"0\" height=\"600\" width=\"800\">"
                               "\t\t<plLeft width=\"308\" col1=\"127\" col2=\"106\" col3=\"76\"/>"
                               "\t\t<plHint height=\"262\" col1=\"139\" col2=\"139\"/>"
                               "\t</frame>"
                               "\t<nodes>";

// The column catalogue of the built-in configuration: the fields of the field table
// that have a default column, in the order of their positions.
std::string defaultNodes()
{
    std::vector<const FieldDefinition *> columns;
    for (const FieldDefinition &field : CatalogFieldTable) {
        if (field.column.position >= 0)
            columns.push_back(&field);
    }
    std::sort(columns.begin(), columns.end(), [](const FieldDefinition *a, const FieldDefinition *b) {
        return a->column.position < b->column.position;
    });
    const auto truth = [](bool value) { return value ? "True" : "False"; };
    std::string nodes;
    for (const FieldDefinition *field : columns) {
        const DefaultColumn &c = field->column;
        nodes += "\t\t<node Name=\"" + field->key.toString().toStdString() + "\" Visible=\""
            + truth(c.visible) + "\" Index=\"" + std::to_string(c.position) + "\" DefaultExport=\""
            + truth(c.defaultExport) + "\" Width=\"" + std::to_string(c.width) + "\" ReadOnly=\""
            + truth(c.readOnly) + "\" Align=\"" + c.align + "\"/>";
    }
    return nodes;
}

constexpr char DefaultTail[] = "\t</nodes>"
                               "\t<agerange>"
                               "\t\t<item label=\"one day\" value=\"1.0\"/>"
                               "\t\t<item label=\"three days\" value=\"3.0\"/>"
                               "\t\t<item label=\"one week\" value=\"7\"/>"
                               "\t\t<item label=\"one month\" value=\"30\"/>"
                               "\t\t<item label=\"one year\" value=\"365\"/>"
                               "\t</agerange>"
                               "\t<sizerange>"
                               "\t\t<item label=\"10KB\" value=\"10000\"/>"
                               "\t\t<item label=\"100KB\" value=\"100000\"/>"
                               "\t\t<item label=\"1MB\" value=\"1000000\"/>"
                               "\t\t<item label=\"10MB\" value=\"10000000\"/>"
                               "\t\t<item label=\"100MB\" value=\"100000000\"/>"
                               "\t\t<item label=\"1G\" value=\"1000000000\"/>"
                               "\t</sizerange>"
                               "</config>";

// One line; the tabs between the elements carry no meaning and vanish on parsing.
const std::string &defaultBytes()
{
    static const std::string bytes = DefaultHead + defaultNodes() + DefaultTail;
    return bytes;
}

// Comments and processing instructions a user adds by hand are kept and written back.
// As a fragment, text outside the root element stays in the document where the
// well-formedness check below can see it; declaration and document type are parsed
// only to check where they stand.
constexpr unsigned ParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi
    | pugi::parse_declaration | pugi::parse_doctype | pugi::parse_fragment;

const QString UsingDefault = QStringLiteral("the built-in configuration is used");

// The line of `offset`, but never past the last line: an error at the very end (an
// element left open) belongs to the last line, not to the empty one after its break.
int lineAt(const std::string &bytes, std::ptrdiff_t offset)
{
    const auto end = bytes.cbegin() + std::clamp<std::ptrdiff_t>(offset, 0, std::ptrdiff_t(bytes.size()));
    const auto line = 1 + std::count(bytes.cbegin(), end, '\n');
    const auto breaks = std::count(end, bytes.cend(), '\n') + (line - 1);
    const auto lines = std::max<std::ptrdiff_t>(1, breaks + (bytes.empty() || bytes.back() != '\n' ? 1 : 0));
    return int(std::min<std::ptrdiff_t>(line, lines));
}

bool hasDuplicateAttribute(pugi::xml_node element, const char *&name)
{
    const pugi::xml_attribute first = element.first_attribute();
    if (!first || !first.next_attribute())
        return false;
    // Elements of a configuration carry a handful of attributes: compare them pairwise,
    // and hash only what a hand-made file may pile up.
    int count = 0;
    for (pugi::xml_attribute a = first; a && count <= 16; a = a.next_attribute())
        ++count;
    if (count <= 16) {
        for (pugi::xml_attribute a = first; a; a = a.next_attribute()) {
            for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute()) {
                if (std::string_view(a.name()) == b.name()) {
                    name = b.name();
                    return true;
                }
            }
        }
        return false;
    }
    std::unordered_set<std::string_view> seen;
    for (pugi::xml_attribute a = first; a; a = a.next_attribute()) {
        if (!seen.insert(a.name()).second) {
            name = a.name();
            return true;
        }
    }
    return false;
}

struct Fault
{
    QString reason;
    std::ptrdiff_t offset = 0;
};

// What pugixml lets through but XML forbids, and other readers of the file refuse:
// more than one root element, text outside it, an attribute given twice, a declaration
// that does not open the file, a document type after the root.
std::optional<Fault> notWellFormed(const pugi::xml_document &document)
{
    bool rootSeen = false;
    for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
        switch (node.type()) {
        case pugi::node_element:
            if (rootSeen)
                return Fault {
                    QStringLiteral("a second root element <%1>").arg(QString::fromUtf8(node.name())),
                    node.offset_debug()};
            rootSeen = true;
            break;
        case pugi::node_pcdata:
        case pugi::node_cdata:
            return Fault {QStringLiteral("text outside the root element"), node.offset_debug()};
        case pugi::node_declaration:
            // The name begins two bytes into "<?xml", after a byte order mark if any.
            if (node != document.first_child() || (node.offset_debug() != 2 && node.offset_debug() != 5))
                return Fault {
                    QStringLiteral("the XML declaration does not open the file"), node.offset_debug()};
            break;
        case pugi::node_doctype:
            if (rootSeen)
                return Fault {QStringLiteral("a document type declaration after the root element"),
                    node.offset_debug()};
            break;
        default:
            break;
        }
    }
    // Without recursion: a file may nest elements far deeper than a stack allows.
    pugi::xml_node node = document.document_element();
    const pugi::xml_node root = node;
    while (node) {
        const char *name = nullptr;
        if (node.type() == pugi::node_element && hasDuplicateAttribute(node, name))
            return Fault {QStringLiteral("attribute %1 given twice in <%2>")
                              .arg(QString::fromUtf8(name), QString::fromUtf8(node.name())),
                node.offset_debug()};
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != root && !node.next_sibling())
            node = node.parent();
        node = node == root ? pugi::xml_node() : node.next_sibling();
    }
    return std::nullopt;
}

// Saves never write a declaration, and the document type only served the check.
void dropPrologue(pugi::xml_document &document)
{
    for (pugi::xml_node node = document.first_child(); node;) {
        const pugi::xml_node next = node.next_sibling();
        if (node.type() == pugi::node_declaration || node.type() == pugi::node_doctype)
            document.remove_child(node);
        node = next;
    }
}

std::unique_ptr<TConfig> &theConfig()
{
    static std::unique_ptr<TConfig> config;
    return config;
}

QString &chosenFileName()
{
    static QString fileName;
    return fileName;
}

std::optional<QString> &builtInReason()
{
    static std::optional<QString> reason;
    return reason;
}

// Root may write anywhere, so for root only what root owns and keeps writable counts;
// access() still tells a read-only mount.
bool userMayWrite(const QByteArray &path, const struct stat &st)
{
    if (::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0)
        return false;
    return ::geteuid() != 0 || (st.st_uid == 0 && (st.st_mode & S_IWUSR));
}

} // namespace

TConfig::TConfig(const QString &fileName) : m_fileName(fileName)
{
    load();
}

TConfig::TConfig(const BuiltIn &builtIn)
{
    m_saveRefusal = builtIn.reason;
    useDefault(builtIn.reason + QStringLiteral("; ") + UsingDefault);
}

void TConfig::load()
{
    try {
        const SafeFile::Contents contents = SafeFile::read(QFile::encodeName(m_fileName));
        switch (contents.status) {
        case SafeFile::Contents::Missing:
            try {
                WriteDefault();
            } catch (const ConfigError &e) {
                useDefault(e.message() + QStringLiteral("; ") + UsingDefault);
                return;
            }
            // What was just written is the default text itself.
            useDefault(QString());
            return;
        case SafeFile::Contents::NotRegular:
            refuse(QStringLiteral("%1 is %2, not a regular file").arg(m_fileName, contents.reason));
            return;
        case SafeFile::Contents::TooLarge:
            refuse(QStringLiteral("%1 is larger than %2 MiB, more than any configuration")
                       .arg(m_fileName)
                       .arg(SafeFile::MaxSize / (qint64 {1024} * 1024)));
            return;
        case SafeFile::Contents::Unreadable:
            // What we cannot read we cannot keep a copy of either, so it must not be replaced.
            refuse(QStringLiteral("cannot read %1: %2").arg(m_fileName, contents.reason));
            return;
        case SafeFile::Contents::Read:
            parse(contents.bytes, contents.mode);
            return;
        }
    } catch (const std::bad_alloc &) {
        m_document.reset();
    }
    refuse(QStringLiteral("not enough memory to read %1").arg(m_fileName));
}

void TConfig::parse(const std::string &bytes, mode_t mode)
{
    const pugi::xml_parse_result parsed = m_document.load_buffer(bytes.data(), bytes.size(), ParseOptions);
    if (parsed.status == pugi::status_out_of_memory)
        throw std::bad_alloc(); // the file may be fine: it must not be taken for broken
    if (!parsed) {
        keepBrokenFile(bytes, mode,
            QStringLiteral("%1:%2: %3")
                .arg(m_fileName)
                .arg(lineAt(bytes, parsed.offset))
                .arg(QString::fromUtf8(parsed.description())));
        return;
    }
    if (const std::optional<Fault> fault = notWellFormed(m_document)) {
        keepBrokenFile(bytes, mode,
            QStringLiteral("%1:%2: %3").arg(m_fileName).arg(lineAt(bytes, fault->offset)).arg(fault->reason));
        return;
    }
    if (const std::optional<XmlConformanceFault> fault = XmlConformanceFaultOf(bytes)) {
        keepBrokenFile(
            bytes, mode, QStringLiteral("%1:%2: %3").arg(m_fileName).arg(fault->line).arg(fault->reason));
        return;
    }
    dropPrologue(m_document);
    try {
        m_root = TXMLConfigType(m_document);
    } catch (const ConfigError &e) {
        keepBrokenFile(bytes, mode,
            QStringLiteral("%1:%2: %3")
                .arg(m_fileName)
                .arg(lineAt(bytes, m_document.document_element().offset_debug()))
                .arg(e.message()));
    }
}

void TConfig::useDefault(const QString &problem)
{
    m_loadProblem = problem;
    m_document.load_buffer(defaultBytes().data(), defaultBytes().size(), ParseOptions);
    dropPrologue(m_document);
    m_root = TXMLConfigType(m_document);
}

void TConfig::refuse(const QString &problem)
{
    m_saveRefusal = problem;
    useDefault(QStringLiteral("%1; %2, and the file is left as it is").arg(problem, UsingDefault));
}

void TConfig::keepBrokenFile(const std::string &bytes, mode_t mode, const QString &problem)
{
    // Beside the file a link ends at: that is the file a save replaces.
    QByteArray target;
    QString failure = SafeFile::resolveLinks(QFile::encodeName(m_fileName), target);
    SafeFile::Copy copy;
    if (failure.isEmpty()) {
        copy = SafeFile::keepCopy(target + ".bak", bytes, mode);
        failure = copy.error;
    }
    const QString copyName = QFile::decodeName(copy.name);
    if (failure.isEmpty()) {
        useDefault(QStringLiteral("%1; %2; %3 %4")
                       .arg(problem, UsingDefault,
                           copy.made ? QStringLiteral("the file was copied to")
                                     : QStringLiteral("a copy of the file is already in"),
                           copyName));
        return;
    }
    m_saveRefusal =
        QStringLiteral("%1 could not be copied to %2 (%3)")
            .arg(m_fileName, copyName.isEmpty() ? m_fileName + QStringLiteral(".bak") : copyName, failure);
    useDefault(QStringLiteral("%1; %2; %3, so it will not be overwritten")
                   .arg(problem, UsingDefault, m_saveRefusal));
}

void TConfig::Save()
{
    if (!m_saveRefusal.isEmpty()) {
        throw ConfigError(ConfigError::Io,
            m_fileName.isEmpty()
                ? QStringLiteral("cannot save the configuration: %1").arg(m_saveRefusal)
                : QStringLiteral("cannot save the configuration to %1: %2").arg(m_fileName, m_saveRefusal));
    }

    std::ostringstream text;
    m_document.save(text, "\t", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    const std::string bytes = std::move(text).str();

    const QString failure = SafeFile::replace(QFile::encodeName(m_fileName), bytes);
    if (!failure.isEmpty())
        throw ConfigError(ConfigError::Io,
            QStringLiteral("cannot save the configuration to %1: %2").arg(m_fileName, failure));
}

void TConfig::WriteDefault()
{
    const QString failure = SafeFile::replace(QFile::encodeName(m_fileName), defaultBytes());
    if (!failure.isEmpty()) {
        throw ConfigError(ConfigError::Io,
            QStringLiteral("cannot write the default configuration to %1: %2").arg(m_fileName, failure));
    }
}

QByteArray TConfig::defaultText()
{
    return QByteArray::fromStdString(defaultBytes());
}

QString TConfig::locate(const QString &executableDir, const QString &userConfigDir)
{
    QString besideExecutable = QDir(executableDir).filePath(QString::fromLatin1(BaseName));
    const QByteArray beside = QFile::encodeName(besideExecutable);
    const QByteArray folder = QFile::encodeName(executableDir);
    struct stat st;
    if (::stat(beside.constData(), &st) == 0) {
        if (S_ISREG(st.st_mode) && userMayWrite(beside, st))
            return besideExecutable;
    }
    // A folder of one's own, not merely one that lets anybody write (as /tmp does).
    const uid_t me = ::geteuid();
    if (me != 0 && ::stat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == me
        && userMayWrite(folder, st))
        return besideExecutable;
    // A folder that cannot be made shows up as a failed write of the default.
    QDir().mkpath(userConfigDir);
    return QDir(userConfigDir).filePath(QString::fromLatin1(BaseName));
}

QString TConfig::defaultFileName()
{
    return locate(QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

TConfig &GetConfig()
{
    std::unique_ptr<TConfig> &config = theConfig();
    if (!config) {
        if (const std::optional<QString> &reason = builtInReason())
            config = std::make_unique<TConfig>(TConfig::BuiltIn {*reason});
        else {
            const QString &chosen = chosenFileName();
            config = std::make_unique<TConfig>(chosen.isEmpty() ? TConfig::defaultFileName() : chosen);
        }
    }
    return *config;
}

void UseConfigFile(const QString &fileName)
{
    const std::unique_ptr<TConfig> &config = theConfig();
    if (config && (builtInReason() || config->FileName() != fileName))
        throw std::logic_error("UseConfigFile after the configuration was loaded from another file");
    chosenFileName() = fileName;
}

void UseBuiltInConfig(const QString &reason)
{
    const std::unique_ptr<TConfig> &config = theConfig();
    if (config && !builtInReason())
        throw std::logic_error("UseBuiltInConfig after the configuration was loaded from a file");
    builtInReason() = reason;
}

void ResetConfig()
{
    theConfig().reset();
    chosenFileName().clear();
    builtInReason().reset();
}
