#include "NodeOrder.h"

#include "CatalogFields.h"
#include "CatalogText.h"
#include "RollUp.h"
#include "TCatalogNode.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <optional>

namespace {

// The default locale made to refuse group separators, rebuilt only when the
// default changes: comparisons read numbers many times in a row.
const QLocale &numberLocale()
{
    thread_local std::optional<QLocale> source;
    thread_local QLocale strict;
    const QLocale now;
    if (!source || *source != now) {
        source = now;
        strict = now;
        strict.setNumberOptions(now.numberOptions() | QLocale::RejectGroupSeparator);
    }
    return strict;
}

std::optional<double> readNumber(const QString &text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = numberLocale().toDouble(trimmed, &ok);
    // "inf", "nan" and overflowing exponents are not numbers a record holds.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

inline char16_t foldAscii(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c;
}

// Surrounding blanks and control characters do not belong to a kind marker.
QStringView trimmedKind(QStringView text)
{
    const auto loose = [](QChar c) {
        return c.unicode() <= 0x20 || c.isSpace() || c.category() == QChar::Other_Control;
    };
    qsizetype begin = 0, end = text.size();
    while (begin < end && loose(text[begin]))
        ++begin;
    while (end > begin && loose(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// The number percentageText(part, total) reads back as: the share rounded to two
// decimals. k / 100.0 is the double nearest to the decimal text "k/100", as
// reading the text gives; only shares close to a rounding tie, or too large to
// round safely this way, are written and read back.
double percentageKey(double part, double total)
{
    if (total == 0.0)
        return 0.0;
    const double share = part / total * 100.0;
    if (std::isfinite(share) && std::abs(share) < 1e6) {
        const double hundredths = share * 100.0;
        const double below = std::floor(hundredths);
        if (std::abs(hundredths - below - 0.5) > 1e-6)
            return std::round(hundredths) / 100.0;
    }
    return readNumber(CatalogText::percentageText(part, total)).value_or(0.0);
}

double numberKey(const CatalogTree &tree, NodeIndex i, int field, double pathLength)
{
    if (field == SizePercentage) {
        const CatalogNodeData &n = tree.node(i);
        if (!n.has(CatalogNodeData::HasSize) || !tree.hasPercentages())
            return 0.0;
        return percentageKey(double(n.size), tree.percentageTotal());
    }
    if (field == PathNameLength)
        return tree.node(i).has(CatalogNodeData::HasDetails) ? pathLength : 0.0;
    const FieldDefinition &definition = CatalogFieldTable[std::size_t(field)];
    if (definition.signedNumber)
        return double(definition.signedNumber(tree, i).value_or(0));
    return definition.number ? double(definition.number(tree, i).value_or(0)) : 0.0;
}

std::optional<std::int64_t> timeValue(const CatalogTree &tree, NodeIndex i, int field)
{
    return TimeOf(CatalogFieldTable[std::size_t(field)], tree, i);
}

std::int64_t localSecondsOf(QDate date, QTime time)
{
    return date.toJulianDay() * 86400 + time.msecsSinceStartOfDay() / 1000;
}

std::int64_t localSecondsOf(std::int64_t secondsSinceEpoch)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::LocalTime);
    return localSecondsOf(local.date(), local.time());
}

// Moments from 1902 to 2199: their texts read back as the local time they show
// (four-digit years, time zones the system knows). Others go through their texts.
constexpr std::int64_t FirstPlainMoment = -2145916800; // 1902-01-01
constexpr std::int64_t LastPlainMoment = 7258118400; // 2200-01-01

TimeKey timeKeyByText(std::int64_t secondsSinceEpoch)
{
    const CatalogText::TimeFormat &format = CatalogText::TimeFormat::current();
    const QString text = format.format(secondsSinceEpoch);
    if (text.isEmpty())
        return {TimeKey::Empty, 0};
    const std::optional<QDateTime> back = format.parse(text);
    if (!back)
        return {TimeKey::Unreadable, 0};
    return {TimeKey::Value, localSecondsOf(back->date(), back->time())};
}

template <typename LocalTime>
TimeKey timeKey(const CatalogTree &tree, NodeIndex i, int field, LocalTime &&localSeconds)
{
    const std::optional<std::int64_t> secs = timeValue(tree, i, field);
    if (!secs)
        return {TimeKey::Empty, 0};
    if (*secs < FirstPlainMoment || *secs > LastPlainMoment)
        return timeKeyByText(*secs);
    return {TimeKey::Value, localSeconds(*secs)};
}

int compareTextFields(const CatalogTree &tree, NodeIndex a, NodeIndex b, int field)
{
    if (SortKeyOf(field) == SortKey::Name)
        return CompareNameBytes(TextBytes(tree, a, field), TextBytes(tree, b, field));
    if (field == FullPath) {
        // Siblings share their path up to a separator: their names decide.
        const QByteArrayView nameA = tree.nameBytes(a), nameB = tree.nameBytes(b);
        if (a != 0 && b != 0 && tree.parent(a) == tree.parent(b) && !StartsWithByteOrderMark(nameA)
            && !StartsWithByteOrderMark(nameB))
            return CompareNameBytes(nameA, nameB);
    }
    return CompareTexts(tree.fieldText(a, field), tree.fieldText(b, field));
}

} // namespace

bool StartsWithByteOrderMark(QByteArrayView bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF");
}

SortKey SortKeyOf(int field)
{
    switch (FieldNatureOf(field)) {
    case FieldNature::Number:
        return SortKey::Number;
    case FieldNature::Time:
        return SortKey::Time;
    case FieldNature::Kind:
        return SortKey::Unordered;
    case FieldNature::Text:
        // Names and their parts order as their texts do, from the bytes alone.
        if (field >= 0 && field < CatalogFieldCount && CatalogFieldTable[std::size_t(field)].bytes)
            return SortKey::Name;
        return SortKey::Text;
    case FieldNature::Range:
        break;
    }
    return SortKey::Text;
}

QByteArrayView TextBytes(const CatalogTree &tree, NodeIndex node, int field)
{
    if (field < 0 || field >= CatalogFieldCount || FieldNatureOf(field) != FieldNature::Text)
        return QByteArrayView();
    const auto bytes = CatalogFieldTable[std::size_t(field)].bytes;
    return bytes ? bytes(tree, node) : QByteArrayView();
}

double NumberOfText(const QString &text)
{
    return readNumber(text).value_or(0.0);
}

bool IsNumber(const QString &text)
{
    return readNumber(text).has_value();
}

int CompareNumberTexts(const QString &a, const QString &b)
{
    return CompareNumberKeys(NumberOfText(a), NumberOfText(b));
}

int CompareDateTexts(const QString &a, const QString &b)
{
    if (a.isEmpty())
        return -1;
    if (b.isEmpty())
        return 1;
    const CatalogText::TimeFormat &format = CatalogText::TimeFormat::current();
    const std::optional<QDateTime> ta = format.parse(a);
    const std::optional<QDateTime> tb = format.parse(b);
    if (!ta || !tb)
        return 1;
    const qint64 difference = tb->msecsTo(*ta);
    if (difference == 0) // whole milliseconds: "less than one apart" is none apart
        return 0;
    return difference > 0 ? 1 : -1;
}

int CompareTexts(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t *pa = a.utf16();
    const char16_t *pb = b.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = foldAscii(pa[i]);
        const char16_t cb = foldAscii(pb[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

int CompareNameBytes(QByteArrayView a, QByteArrayView b)
{
    // An ASCII byte is a character of its own in UTF-8, so up to the first byte
    // that is not ASCII the bytes are the text's code units.
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x80 || cb >= 0x80)
            return CompareTexts(CatalogText::nameText(a), CatalogText::nameText(b));
        const char16_t fa = foldAscii(ca), fb = foldAscii(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
    }
    // Any byte left decodes to at least one character.
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

unsigned FoldNamePrefix(QByteArrayView bytes, std::uint64_t *words, unsigned wordCount)
{
    unsigned asciiBytes = 0;
    bool ascii = true;
    const auto byteCount = qsizetype(wordCount) * 8;
    for (qsizetype i = 0; i < byteCount; ++i) {
        const auto c = i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
        ascii = ascii && c < 0x80;
        if (ascii)
            ++asciiBytes;
        std::uint64_t &word = words[i / 8];
        word = word << 8 | foldAscii(c);
    }
    return asciiBytes;
}

int CompareNamesAfterPrefix(QByteArrayView a, QByteArrayView b, unsigned asciiBytes, unsigned length)
{
    if (asciiBytes < length)
        return CompareNameBytes(a, b);
    // All `length` characters alike, the end counting as one: a name that ends within
    // them is the other one folded; longer ones decode the rest on its own, unless the
    // rest opens with U+FEFF, which decoding on its own would take for a byte order
    // mark and drop.
    if (a.size() < qsizetype(length) || b.size() < qsizetype(length))
        return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
    const QByteArrayView restA = a.sliced(length), restB = b.sliced(length);
    if (StartsWithByteOrderMark(restA) || StartsWithByteOrderMark(restB))
        return CompareNameBytes(a, b);
    return CompareNameBytes(restA, restB);
}

NameKey NameKeyOf(QByteArrayView bytes)
{
    NameKey key;
    key.bytes = bytes;
    key.asciiBytes = std::uint8_t(FoldNamePrefix(bytes, key.prefix, 2));
    return key;
}

int CompareNodeTexts(const TCatalogNode &a, const TCatalogNode &b, int sortField, Qt::SortOrder order)
{
    const QString kindA = a.text(FileType);
    const QString kindB = b.text(FileType);
    const QStringView k1 = trimmedKind(kindA), k2 = trimmedKind(kindB);
    if (k1 != k2) {
        const int s = order == Qt::AscendingOrder ? -1 : 1;
        return k1 == KindFolder ? s : -s;
    }
    if (sortField >= 0 && sortField < CatalogFieldCount) {
        switch (SortKeyOf(sortField)) {
        case SortKey::Number:
            return CompareNumberTexts(a.text(sortField), b.text(sortField));
        case SortKey::Time:
            return CompareDateTexts(a.text(sortField), b.text(sortField));
        case SortKey::Unordered:
            return 1;
        case SortKey::Name:
        case SortKey::Text:
            break;
        }
    }
    return CompareTexts(a.text(sortField), b.text(sortField));
}

int CompareNodes(const TCatalogNode &a, const TCatalogNode &b, int sortField, Qt::SortOrder order)
{
    // A row's percentage is of its own list: only its text knows the total.
    if (a.tree() && a.tree() == b.tree() && sortField >= 0 && sortField < CatalogFieldCount
        && sortField != SizePercentage)
        return CompareTreeNodes(*a.tree(), a.index(), b.index(), sortField, order);
    return CompareNodeTexts(a, b, sortField, order);
}

double NumberKey(const CatalogTree &tree, NodeIndex node, int field)
{
    const double pathLength = field == PathNameLength && tree.node(node).has(CatalogNodeData::HasDetails)
        ? double(CatalogText::utf16Length(tree.fullPathBytes(node)).units)
        : 0.0;
    return numberKey(tree, node, field, pathLength);
}

std::vector<double> NumberKeys(const CatalogTree &tree, int field)
{
    const std::size_t count = tree.nodeCount();
    std::vector<double> keys(count);
    if (field != PathNameLength) {
        for (std::size_t i = 0; i < count; ++i)
            keys[i] = numberKey(tree, NodeIndex(i), field, 0.0);
        return keys;
    }

    // A path is its parent's path, a separator unless that path is empty or ends
    // in one, and the name (as fullPathBytes joins them); parents come first.
    struct PathState
    {
        std::uint64_t length = 0;
        bool composable = true;
        bool empty = true;
        bool endsInSeparator = false;
    };
    std::vector<PathState> paths(count);
    const auto fill = [&](NodeIndex node) {
        const QByteArrayView name = tree.nameBytes(node);
        PathState &path = paths[node];
        if (node == 0) {
            const CatalogText::Utf16Length top = CatalogText::utf16Length(name);
            path = {top.units, top.composable, name.isEmpty(), name.endsWith('/')};
        } else {
            const PathState &parent = paths[tree.parent(node)];
            const bool separator = !parent.empty && !parent.endsInSeparator;
            const CatalogText::Utf16Length own = CatalogText::utf16Length(name);
            path.length = parent.length + (separator ? 1 : 0) + own.units;
            path.composable = parent.composable && own.composable;
            path.empty = parent.empty && !separator && name.isEmpty();
            path.endsInSeparator = name.isEmpty() ? separator || parent.endsInSeparator : name.endsWith('/');
        }
        double length = 0.0;
        if (tree.node(node).has(CatalogNodeData::HasDetails))
            length = double(
                path.composable ? path.length : CatalogText::utf16Length(tree.fullPathBytes(node)).units);
        keys[node] = numberKey(tree, node, field, length);
    };
    if (tree.retiredCount() == 0) {
        for (std::size_t i = 0; i < count; ++i)
            fill(NodeIndex(i));
    } else {
        // An edit moves folders past their children: parents first by a walk, and
        // retired slots, which no walk reaches, each on its own.
        for (const NodeIndex node : SubtreeOrder(tree, tree.top()))
            fill(node);
        for (std::size_t i = 0; i < count; ++i) {
            if (tree.isRetired(NodeIndex(i)))
                keys[i] = NumberKey(tree, NodeIndex(i), field);
        }
    }
    return keys;
}

TimeKey TimeKeyOf(const CatalogTree &tree, NodeIndex node, int field)
{
    return timeKey(tree, node, field, [](std::int64_t secs) { return localSecondsOf(secs); });
}

TimeKeyReader::TimeKeyReader() = default;
TimeKeyReader::~TimeKeyReader() = default;

TimeKey TimeKeyReader::operator()(const CatalogTree &tree, NodeIndex node, int field)
{
    return timeKey(tree, node, field, [this](std::int64_t secs) { return localSeconds(secs); });
}

std::int64_t TimeKeyReader::localSeconds(std::int64_t secs)
{
    const std::int64_t day = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    if (!m_last || m_last->first != day) {
        auto [at, added] = m_days.try_emplace(day);
        if (added) {
            const std::int64_t start = day * 86400;
            const std::int64_t end = start + 86399;
            const std::int64_t offsetAtStart = localSecondsOf(start) - start;
            const std::int64_t offsetAtEnd = localSecondsOf(end) - end;
            at->second = offsetAtStart == offsetAtEnd ? std::optional(offsetAtStart) : std::nullopt;
        }
        m_last = &*at;
    }
    return m_last->second ? secs + *m_last->second : localSecondsOf(secs);
}

std::vector<TimeKey> TimeKeys(const CatalogTree &tree, int field)
{
    const std::size_t count = tree.nodeCount();
    std::vector<TimeKey> keys(count);
    TimeKeyReader reader;
    for (std::size_t i = 0; i < count; ++i)
        keys[i] = reader(tree, NodeIndex(i), field);
    return keys;
}

int CompareTreeNodes(const CatalogTree &tree, NodeIndex a, NodeIndex b, int sortField, Qt::SortOrder order)
{
    if (const int kinds = CompareKinds(tree.node(a).kind(), tree.node(b).kind(), order))
        return kinds;
    switch (SortKeyOf(sortField)) {
    case SortKey::Number:
        return CompareNumberKeys(NumberKey(tree, a, sortField), NumberKey(tree, b, sortField));
    case SortKey::Time:
        return CompareTimeKeys(TimeKeyOf(tree, a, sortField), TimeKeyOf(tree, b, sortField));
    case SortKey::Unordered:
        return 1;
    case SortKey::Name:
    case SortKey::Text:
        break;
    }
    return compareTextFields(tree, a, b, sortField);
}
