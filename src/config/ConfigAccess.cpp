#include "ConfigAccess.h"

#include "ConfigError.h"

#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

namespace ConfigAccess {

namespace {

enum class NumberStatus {
    Ok,
    NotNumber,
    Overflow
};

struct Number
{
    NumberStatus status = NumberStatus::NotNumber;
    bool negative = false;
    bool zero = true; // every digit is 0
    std::uint64_t rounded = 0; // magnitude after rounding, saturated above the int range
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Parsed by hand rather than through strtod or QString::toDouble: the result must not
// depend on the locale, must be exact for every 32-bit value, and must reject the
// hexadecimal, exponent, "inf" and "nan" forms those accept.
Number parseNumber(std::string_view s)
{
    constexpr std::uint64_t Saturated = std::uint64_t(std::numeric_limits<std::int32_t>::max()) + 2;
    Number n;
    s = trimmed(s);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        n.negative = s[i] == '-';
        ++i;
    }
    bool anyDigit = false;
    std::uint64_t magnitude = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        anyDigit = true;
        if (s[i] != '0')
            n.zero = false;
        magnitude = std::min(magnitude * 10 + std::uint64_t(s[i] - '0'), Saturated);
    }
    bool roundUp = false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        const std::size_t firstFraction = i;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            anyDigit = true;
            if (s[i] != '0')
                n.zero = false;
        }
        roundUp = firstFraction < i && s[firstFraction] >= '5';
    }
    if (!anyDigit || i != s.size())
        return n;
    n.rounded = std::min(magnitude + (roundUp ? 1 : 0), Saturated);
    const std::uint64_t limit = n.negative ? Saturated - 1 : Saturated - 2;
    n.status = n.rounded > limit ? NumberStatus::Overflow : NumberStatus::Ok;
    return n;
}

[[noreturn]] void fail(
    ConfigError::Kind kind, pugi::xml_node element, const char *attribute, const QString &problem)
{
    throw ConfigError(kind,
        QStringLiteral("element <%1> at %2, attribute %3: %4")
            .arg(QString::fromUtf8(element.name()), elementPath(element), QString::fromUtf8(attribute),
                problem));
}

QString quoted(std::string_view text)
{
    return QLatin1Char('"') + QString::fromUtf8(text.data(), qsizetype(text.size())) + QLatin1Char('"');
}

// The attribute, added with an empty value when missing.
pugi::xml_attribute attributeOf(pugi::xml_node element, const char *name)
{
    pugi::xml_attribute a = element.attribute(name);
    if (!a)
        a = element.append_attribute(name);
    return a;
}

} // namespace

pugi::xml_node child(pugi::xml_node parent, const char *name)
{
    pugi::xml_node c = parent.child(name);
    if (!c)
        c = parent.append_child(name);
    return c;
}

QString text(pugi::xml_node element, const char *attribute)
{
    // QString::fromUtf8 drops a byte order mark that opens the text; in a value it is
    // a character of the text (U+FEFF), and a save writes it back.
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    return decoder.decode(attributeOf(element, attribute).value());
}

void setText(pugi::xml_node element, const char *attribute, const QString &value)
{
    attributeOf(element, attribute).set_value(value.toUtf8().constData());
}

int integer(pugi::xml_node element, const char *attribute)
{
    const std::string_view raw = attributeOf(element, attribute).value();
    if (trimmed(raw).empty())
        fail(ConfigError::Conversion, element, attribute, QStringLiteral("empty, a number is expected"));
    const Number n = parseNumber(raw);
    if (n.status == NumberStatus::NotNumber)
        fail(ConfigError::Conversion, element, attribute, quoted(raw) + QStringLiteral(" is not a number"));
    if (n.status == NumberStatus::Overflow)
        fail(ConfigError::Overflow, element, attribute,
            quoted(raw) + QStringLiteral(" does not fit a 32-bit integer"));
    return n.negative ? int(-std::int64_t(n.rounded)) : int(n.rounded);
}

void setInteger(pugi::xml_node element, const char *attribute, int value)
{
    attributeOf(element, attribute).set_value(QByteArray::number(value).constData());
}

bool boolean(pugi::xml_node element, const char *attribute)
{
    const std::string_view raw = attributeOf(element, attribute).value();
    const std::string_view t = trimmed(raw);
    if (t.empty())
        fail(ConfigError::Conversion, element, attribute,
            QStringLiteral("empty, True, False or a number is expected"));
    const QByteArray lower = QByteArray(t.data(), qsizetype(t.size())).toLower();
    if (lower == "true")
        return true;
    if (lower == "false")
        return false;
    const Number n = parseNumber(t);
    if (n.status == NumberStatus::NotNumber)
        fail(ConfigError::Conversion, element, attribute,
            quoted(raw) + QStringLiteral(" is neither True, False nor a number"));
    return !n.zero;
}

void setBoolean(pugi::xml_node element, const char *attribute, bool value)
{
    attributeOf(element, attribute).set_value(value ? "True" : "False");
}

int count(pugi::xml_node list, const char *itemTag)
{
    int n = 0;
    for (pugi::xml_node c = list.child(itemTag); c; c = c.next_sibling(itemTag))
        ++n;
    return n;
}

pugi::xml_node at(pugi::xml_node list, const char *itemTag, int index)
{
    if (index >= 0) {
        int i = 0;
        for (pugi::xml_node c = list.child(itemTag); c; c = c.next_sibling(itemTag), ++i) {
            if (i == index)
                return c;
        }
    }
    throw ConfigError(ConfigError::Index,
        QStringLiteral("%1 has no <%2> at position %3 (it holds %4)")
            .arg(elementPath(list), QString::fromUtf8(itemTag))
            .arg(index)
            .arg(count(list, itemTag)));
}

QString elementPath(pugi::xml_node element)
{
    QStringList steps;
    for (pugi::xml_node e = element; e && e.type() == pugi::node_element; e = e.parent()) {
        int position = 1;
        for (pugi::xml_node s = e.previous_sibling(e.name()); s; s = s.previous_sibling(e.name()))
            ++position;
        const bool alone = position == 1 && !e.next_sibling(e.name());
        const QString name = QString::fromUtf8(e.name());
        steps.prepend(alone ? name : QStringLiteral("%1[%2]").arg(name).arg(position));
    }
    return QLatin1Char('/') + steps.join(QLatin1Char('/'));
}

} // namespace ConfigAccess
