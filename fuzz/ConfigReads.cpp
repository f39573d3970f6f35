#include "ConfigReads.h"

#include "ConfigError.h"
#include "FuzzCheck.h"
#include "TXMLConfigType.h"

#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace {

// The documented reading of a number attribute, written out plainly: blanks
// around, an optional sign, digits with an optional fraction, rounded half away
// from zero, within a 32-bit signed integer.
struct Expected
{
    enum Status {
        Empty,
        NotNumber,
        Overflow,
        Value
    };
    Status status = Empty;
    std::int64_t value = 0;
    bool nonZero = false;
};

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

Expected expectedNumber(std::string_view s)
{
    s = trimmed(s);
    if (s.empty())
        return {};
    bool negative = false;
    if (s.front() == '+' || s.front() == '-') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::size_t i = 0;
    while (i < s.size() && digit(s[i]))
        ++i;
    std::string_view whole = s.substr(0, i), fraction;
    if (i < s.size() && s[i] == '.') {
        std::size_t j = i + 1;
        while (j < s.size() && digit(s[j]))
            ++j;
        fraction = s.substr(i + 1, j - i - 1);
        i = j;
    }
    if (i != s.size() || (whole.empty() && fraction.empty()))
        return {Expected::NotNumber};
    Expected e {Expected::Value};
    e.nonZero = whole.find_first_not_of('0') != std::string_view::npos
        || fraction.find_first_not_of('0') != std::string_view::npos;
    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    if (whole.size() > 10)
        return {Expected::Overflow, 0, e.nonZero};
    std::int64_t magnitude = 0;
    for (const char c : whole)
        magnitude = magnitude * 10 + (c - '0');
    if (!fraction.empty() && fraction.front() >= '5')
        ++magnitude;
    if (magnitude > (negative ? std::int64_t(2147483648) : std::int64_t(2147483647)))
        return {Expected::Overflow, 0, e.nonZero};
    e.value = negative ? -magnitude : magnitude;
    return e;
}

std::string kindName(ConfigError::Kind kind)
{
    switch (kind) {
    case ConfigError::Io:
        return "Io";
    case ConfigError::Parse:
        return "Parse";
    case ConfigError::Root:
        return "Root";
    case ConfigError::Conversion:
        return "Conversion";
    case ConfigError::Overflow:
        return "Overflow";
    case ConfigError::Index:
        return "Index";
    }
    return "?";
}

class Log
{
public:
    std::string text;

    // The value `read` gives as text, or "!" and the kind of the ConfigError it threw,
    // which must be one a read may throw, with a message.
    std::string read(const std::string &what, const std::function<std::string()> &read)
    {
        std::string outcome;
        try {
            outcome = read();
        } catch (const ConfigError &e) {
            FuzzRequire(e.kind() == ConfigError::Conversion || e.kind() == ConfigError::Overflow
                    || e.kind() == ConfigError::Index,
                "a read threw an error of the wrong kind", what + ": " + e.what());
            FuzzRequire(!e.message().isEmpty(), "a read threw an error without a message", what);
            outcome = "!" + kindName(e.kind());
        }
        text += what + "=" + outcome + "\n";
        return outcome;
    }

    std::optional<int> integer(const std::string &what, pugi::xml_node element, const char *attribute,
        const std::function<int()> &read)
    {
        const std::string raw = element.attribute(attribute).value();
        const Expected e = expectedNumber(raw);
        const std::string want = e.status == Expected::Value ? std::to_string(e.value)
            : e.status == Expected::Overflow                 ? "!Overflow"
                                                             : "!Conversion";
        const std::string got = this->read(what, [&] { return std::to_string(read()); });
        FuzzRequire(got == want, "an integer read differs from the documented reading",
            what + " of \"" + Shown(QByteArrayView(raw)) + "\": read " + got + ", expected " + want);
        return e.status == Expected::Value ? std::optional(int(e.value)) : std::nullopt;
    }

    void boolean(const std::string &what, pugi::xml_node element, const char *attribute,
        const std::function<bool()> &read)
    {
        const std::string raw = element.attribute(attribute).value();
        std::string word(trimmed(raw));
        for (char &c : word)
            c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        std::string want;
        if (word == "true" || word == "false") {
            want = word == "true" ? "1" : "0";
        } else {
            const Expected e = expectedNumber(raw);
            want = e.status == Expected::Empty || e.status == Expected::NotNumber ? "!Conversion"
                : e.nonZero                                                       ? "1"
                                                                                  : "0";
        }
        const std::string got = this->read(what, [&] { return std::to_string(int(read())); });
        FuzzRequire(got == want, "a boolean read differs from the documented reading",
            what + " of \"" + Shown(QByteArrayView(raw)) + "\": read " + got + ", expected " + want);
    }

    // For a position outside 0 .. count - 1: true, once `item` (asking a list for it)
    // was refused with an index error.
    bool outside(const std::string &what, int position, int count, const std::function<void()> &item)
    {
        if (position >= 0 && position < count)
            return false;
        const std::string outcome = read(what, [&] {
            item();
            return std::string("an item");
        });
        FuzzRequire(outcome == "!Index", "a position outside the list was not refused", what);
        return true;
    }

    void string(const std::string &what, const std::function<QString()> &read)
    {
        this->read(what, [&] { return ShownText(read()); });
    }
};

void readItems(Log &log, const std::string &what, const TXMLItemListType &list)
{
    const int count = list.count();
    log.text += what + ".count=" + std::to_string(count) + "\n";
    std::vector<int> values;
    bool allRead = true;
    for (int i = -1; i <= count; ++i) {
        const std::string at = what + "[" + std::to_string(i) + "]";
        if (log.outside(at, i, count, [&] { list.item(i); }))
            continue;
        const TXMLItemType item = list.item(i);
        log.string(at + ".label", [&] { return item.label(); });
        if (const std::optional<int> value =
                log.integer(at + ".value", item.element(), "value", [&] { return item.value(); }))
            values.push_back(*value);
        else
            allRead = false;
    }
    const std::string all = log.read(what + ".values", [&] {
        const QList<int> read = list.values();
        FuzzRequire(std::vector<int>(read.begin(), read.end()) == values,
            "values() differs from the items read one by one", what);
        return std::to_string(read.size());
    });
    FuzzRequire(allRead == (all.front() != '!'), "values() and the items read one by one disagree", what);
    FuzzRequire(list.labels().size() == count, "labels() does not give one label an item", what);
}

} // namespace

std::string ReadEveryValue(IXMLConfigType &document)
{
    Log log;
    const pugi::xml_node root = dynamic_cast<TXMLConfigType &>(document).element();
    log.integer("versionNo", root, "versionNo", [&] { return document.versionNo(); });

    const TXMLFrameType frame = document.frame();
    log.string("frame.left", [&] { return frame.left(); });
    log.string("frame.top", [&] { return frame.top(); });
    log.integer("frame.height", frame.element(), "height", [&] { return frame.height(); });
    log.integer("frame.width", frame.element(), "width", [&] { return frame.width(); });
    log.boolean("frame.max", frame.element(), "max", [&] { return frame.max(); });
    const TXMLPlLeftType left = frame.plLeft();
    log.integer("plLeft.width", left.element(), "width", [&] { return left.width(); });
    log.integer("plLeft.col1", left.element(), "col1", [&] { return left.col1(); });
    log.integer("plLeft.col2", left.element(), "col2", [&] { return left.col2(); });
    log.integer("plLeft.col3", left.element(), "col3", [&] { return left.col3(); });
    const TXMLPlHintType hint = frame.plHint();
    log.integer("plHint.height", hint.element(), "height", [&] { return hint.height(); });
    log.integer("plHint.col1", hint.element(), "col1", [&] { return hint.col1(); });
    log.integer("plHint.col2", hint.element(), "col2", [&] { return hint.col2(); });

    const TXMLNodesType nodes = document.nodes();
    const int count = nodes.count();
    log.text += "nodes.count=" + std::to_string(count) + "\n";
    for (int i = -1; i <= count; ++i) {
        const std::string at = "node[" + std::to_string(i) + "]";
        if (log.outside(at, i, count, [&] { nodes.node(i); }))
            continue;
        const TXMLNodeType node = nodes.node(i);
        const pugi::xml_node e = node.element();
        log.string(at + ".Name", [&] { return node.name(); });
        log.boolean(at + ".Visible", e, "Visible", [&] { return node.visible(); });
        log.integer(at + ".Index", e, "Index", [&] { return node.index(); });
        log.boolean(at + ".DefaultExport", e, "DefaultExport", [&] { return node.defaultExport(); });
        log.integer(at + ".Width", e, "Width", [&] { return node.width(); });
        log.boolean(at + ".ReadOnly", e, "ReadOnly", [&] { return node.readOnly(); });
        log.string(at + ".Align", [&] { return node.align(); });
    }
    FuzzRequire(nodes.names().size() == count, "names() does not give one name a node");

    readItems(log, "agerange", document.agerange());
    readItems(log, "sizerange", document.sizerange());
    return log.text;
}
