// Arbitrary bytes as the configuration file: the loader never crashes, reads a file
// exactly when a conforming XML reader finds it well-formed with a `config` root (and
// then reads what that reader reads), and otherwise reports the file and line, keeps
// a copy and goes on with the built-in configuration. Every typed read gives the
// documented value or a ConfigError, and a save followed by a load reads the same.
#include "ConfigReads.h"
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "XmlCheck.h"

#include "ExportColumns.h"
#include "RangeStatistics.h"
#include "TConfig.h"
#include "TXMLConfigType.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    FuzzRequire(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
        "the input could not be written to a file");
}

pugi::xml_node rootOf(IXMLConfigType &document)
{
    return dynamic_cast<TXMLConfigType &>(document).element();
}

// The elements of the tree below `root` in document order, as the reference lists them.
std::vector<XmlElement> elementsOf(pugi::xml_node root)
{
    std::vector<XmlElement> elements;
    int depth = 0;
    for (pugi::xml_node node = root; node;) {
        if (node.type() == pugi::node_element) {
            XmlElement e {depth, QString::fromUtf8(node.name()), {}};
            for (const pugi::xml_attribute a : node.attributes())
                e.attributes.emplace_back(QString::fromUtf8(a.name()), Utf8Text(a.value()));
            elements.push_back(std::move(e));
            if (node.first_child()) {
                node = node.first_child();
                ++depth;
                continue;
            }
        }
        while (node != root && !node.next_sibling()) {
            node = node.parent();
            --depth;
        }
        node = node == root ? pugi::xml_node() : node.next_sibling();
    }
    return elements;
}

const std::string &builtInLog()
{
    static const std::string log = [] {
        TConfig builtIn(TConfig::BuiltIn {QStringLiteral("fuzz")});
        return ReadEveryValue(builtIn.Document());
    }();
    return log;
}

void checkRanges(IXMLConfigType &document)
{
    QStringList problems;
    const Ranges ranges = LoadRanges(document, &problems);
    const int items = document.agerange().count() + document.sizerange().count();
    FuzzRequire(std::size_t(items) == ranges.age.bounds.size() + ranges.size.bounds.size() + problems.size(),
        "LoadRanges neither read nor reported every item");
    FuzzRequire(ranges.age.labels.size() == qsizetype(ranges.age.bounds.size())
            && ranges.size.labels.size() == qsizetype(ranges.size.bounds.size()),
        "LoadRanges paired labels and bounds unevenly");
}

void checkLoad(const QString &path, const QByteArray &input)
{
    const XmlReading reference = ReadXml(input);
    const bool conforming = reference.error.isEmpty() && !reference.elements.empty()
        && reference.elements.front().name == u"config";

    TConfig config(path);
    const QString problem = config.loadProblem();
    if (problem.isEmpty()) {
        FuzzRequire(conforming, "a file that is no well-formed configuration was read without a problem",
            "the reference reader: line " + std::to_string(reference.line) + ": "
                + reference.error.toStdString());
        const std::vector<XmlElement> read = elementsOf(rootOf(config.Document()));
        FuzzRequire(read == reference.elements, "the configuration reads other elements than the file holds",
            "read:\n" + Described(read) + "the reference reader:\n" + Described(reference.elements));
    } else {
        FuzzRequire(!conforming, "a well-formed configuration was refused", problem.toStdString());
        FuzzRequire(problem.startsWith(path + u':'), "a problem that does not name the file and line",
            problem.toStdString());
        FuzzRequire(readAll(path) == input, "loading a broken file changed it");
        FuzzRequire(readAll(path + QStringLiteral(".bak")) == input, "a broken file was not copied aside",
            problem.toStdString());
    }

    const std::string log = ReadEveryValue(config.Document());
    if (!problem.isEmpty())
        FuzzRequire(log == builtInLog(), "a broken file did not leave the built-in configuration", log);
    QString columnProblem;
    GetExportColumns(config.Document().nodes(), &columnProblem);
    checkRanges(config.Document());

    config.Save();
    const XmlReading saved = ReadXml(readAll(path));
    FuzzRequire(saved.error.isEmpty(), "a save wrote a file a conforming reader refuses",
        "line " + std::to_string(saved.line) + ": " + saved.error.toStdString());
    TConfig again(path);
    FuzzRequire(again.loadProblem().isEmpty(), "a saved configuration did not load again",
        again.loadProblem().toStdString());
    const std::string reread = ReadEveryValue(again.Document());
    FuzzRequire(reread == log, "a save and a load changed what the configuration reads",
        "before:\n" + log + "after:\n" + reread);
    const std::vector<XmlElement> before = elementsOf(rootOf(config.Document()));
    const std::vector<XmlElement> after = elementsOf(rootOf(again.Document()));
    FuzzRequire(before == after, "a save and a load changed the elements",
        "before:\n" + Described(before) + "after:\n" + Described(after));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const FuzzFolder &folder = FuzzFolder::instance();
    const QString path = folder.file(TConfig::BaseName);
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    writeAll(path, input);
    checkLoad(path, input);
    folder.clear();
    return 0;
}
