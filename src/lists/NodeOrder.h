#pragma once

#include "CatalogFields.h"
#include "CatalogTree.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <Qt>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

class TCatalogNode;

// How two records compare in every list: folders before files in both directions,
// then by one field (the sort field), each field by its nature. The comparison is
// deliberately not a strict weak order (equal numbers compare as -1, two records of
// one kind under the FileType field as 1), so it is only ever handed to the merge
// sorts of this library, which end and stay within their list whatever it answers.

// Each field compares as SortKeyOf (below) says, from its FieldNature (CatalogFields.h).

// A floating-point number in the user's number format: optional sign, digits, the
// locale's decimal separator, optional exponent, blanks around; no grouping. The
// empty text is not a number.
bool IsNumber(const QString &text);
// 1 when a > b, else -1 (also when equal: never 0). A text that is not a number counts as 0.
int CompareNumberTexts(const QString &a, const QString &b);
// a empty: -1; b empty: 1; either unreadable as a time text: 1; less than a
// millisecond apart: 0; else the sign of a - b.
int CompareDateTexts(const QString &a, const QString &b);
// Character by character after turning a..z into A..Z (nothing else is folded);
// a prefix is smaller; identical texts give 0.
int CompareTexts(QStringView a, QStringView b);

// The order of two records by their texts, as a list sorts them ascending; a
// descending sort uses the negated result. `order` decides only where folders go.
// Records of one scan are compared through CompareTreeNodes where their texts do
// not depend on the row (every field but SizePercentage): the same signs, without
// reading numbers and times back from texts.
int CompareNodes(const TCatalogNode &a, const TCatalogNode &b, int sortField, Qt::SortOrder order);
// CompareNodes always through the texts of the records: the reference the typed
// comparisons are checked against.
int CompareNodeTexts(const TCatalogNode &a, const TCatalogNode &b, int sortField, Qt::SortOrder order);

// The same comparison on two nodes of one scan. Where the typed values give the
// order their texts give (sizes, counts, lengths, percentages, times) they are
// compared directly, without making texts; other fields compare their texts.
int CompareTreeNodes(const CatalogTree &tree, NodeIndex a, NodeIndex b, int sortField, Qt::SortOrder order);

// What every sort of this library orders a field by, decided here once for the Total
// Tree (TreeOrder::sortBy), the lists (SortRows) and the comparisons alike:
// Number: NumberKey, CompareNumberKeys; Time: TimeKey, CompareTimeKeys; Unordered: every
// pair compares as 1 (the kind marker, once folders-first has decided); Name: the raw
// bytes of TextBytes, CompareNameKeys; Text: the text, CompareTexts (ranges too).
enum class SortKey {
    Number,
    Time,
    Unordered,
    Name,
    Text
};
SortKey SortKeyOf(int field);

// The pieces of CompareTreeNodes, for sorts that make the key of every node once
// (TreeOrder::sortBy, SortRows). Each key is what the node's text of the field reads as.

// The folders-first step: 0 when both are of one kind, else the result it decides.
inline int CompareKinds(NodeKind a, NodeKind b, Qt::SortOrder order)
{
    if (a == b)
        return 0;
    const int s = order == Qt::AscendingOrder ? -1 : 1;
    return a == NodeKind::Folder ? s : -s;
}

// The number a Number field's text reads as (0 for an empty text).
double NumberKey(const CatalogTree &tree, NodeIndex node, int field);
// NumberKey of every node, by node index; path lengths made parent by parent.
std::vector<double> NumberKeys(const CatalogTree &tree, int field);
inline int CompareNumberKeys(double a, double b)
{
    return a > b ? 1 : -1;
}
// The number CompareNumberTexts reads from a text: 0 when it is not a number.
double NumberOfText(const QString &text);

// A DateTime field's text: empty, unreadable as a time text, or the local date and
// time it shows as seconds (Julian day × 86400 + second of the day). Texts show
// whole seconds, and local times keep the order of the moments their texts read
// back as, also where the clock was turned back and one text stands for two moments.
struct TimeKey
{
    enum State : std::uint8_t {
        Empty,
        Unreadable,
        Value
    };
    State state = Empty;
    std::int64_t localSeconds = 0;
};
TimeKey TimeKeyOf(const CatalogTree &tree, NodeIndex node, int field);
// TimeKeyOf for many nodes: the offset from UTC is looked up once a day of moments
// and kept while it is the same at both ends of that day (no time zone turns its
// clocks and back again within a day); a day with a change is looked up moment by
// moment. Keep one for one sort only, so that a change of time zone is seen.
class TimeKeyReader
{
public:
    TimeKeyReader();
    ~TimeKeyReader();
    TimeKeyReader(const TimeKeyReader &) = delete;
    TimeKeyReader &operator=(const TimeKeyReader &) = delete;

    TimeKey operator()(const CatalogTree &tree, NodeIndex node, int field);

private:
    std::int64_t localSeconds(std::int64_t secondsSinceEpoch);

    using Days = std::unordered_map<std::int64_t, std::optional<std::int64_t>>;
    Days m_days;
    Days::value_type *m_last = nullptr;
};
std::vector<TimeKey> TimeKeys(const CatalogTree &tree, int field);
inline int CompareTimeKeys(const TimeKey &a, const TimeKey &b)
{
    if (a.state == TimeKey::Empty)
        return -1;
    if (b.state == TimeKey::Empty)
        return 1;
    if (a.state == TimeKey::Unreadable || b.state == TimeKey::Unreadable)
        return 1;
    return a.localSeconds == b.localSeconds ? 0 : a.localSeconds > b.localSeconds ? 1 : -1;
}

// The raw bytes whose text is the text of a Text field of a node (FileName, DOSName,
// FileExt...); empty for FullPath and fields of other natures.
QByteArrayView TextBytes(const CatalogTree &tree, NodeIndex node, int field);
// A name whose text starts with a byte order mark may not decode alike alone and
// within a path: paths with such names are compared as whole texts.
bool StartsWithByteOrderMark(QByteArrayView bytes);

// CompareTexts of two raw names as their texts show them (UTF-8, replacement
// characters for bytes that are not), without decoding names of ASCII letters.
int CompareNameBytes(QByteArrayView a, QByteArrayView b);

// The first bytes of a name, folded, in numbers of eight bytes each (the first byte
// in the highest, 0 past the end), and how many of them lead as ASCII (the end
// counting as ASCII). Up to the first byte that is not ASCII the folded bytes are
// the text's code units, so two names whose leading ASCII bytes differ are ordered
// by those numbers, and only names alike that far are read again: a list of a
// million rows compares each row some twenty times, and reading the bytes means a
// cache miss into the scan's names per call.
unsigned FoldNamePrefix(QByteArrayView bytes, std::uint64_t *words, unsigned wordCount);
// The leading `bytes` bytes of such a number.
inline std::uint64_t LeadingNameBytes(std::uint64_t word, unsigned bytes)
{
    return bytes == 0 ? std::uint64_t(0) : word >> (64 - 8 * std::min(bytes, 8u));
}
// The order of two such prefixes of two numbers each over their leading `asciiBytes`
// bytes; 0 where they are alike that far.
inline int CompareNamePrefixes(const std::uint64_t *a, const std::uint64_t *b, unsigned asciiBytes)
{
    const std::uint64_t a0 = LeadingNameBytes(a[0], asciiBytes), b0 = LeadingNameBytes(b[0], asciiBytes);
    if (a0 != b0)
        return a0 < b0 ? -1 : 1;
    if (asciiBytes > 8) {
        const std::uint64_t a1 = LeadingNameBytes(a[1], asciiBytes - 8);
        const std::uint64_t b1 = LeadingNameBytes(b[1], asciiBytes - 8);
        if (a1 != b1)
            return a1 < b1 ? -1 : 1;
    }
    return 0;
}
// CompareNameBytes of two names whose first `length` bytes are ASCII (the end counting
// as one) and alike but for case, and `asciiBytes` the fewer ASCII bytes the two
// prefixes found (`length` when all of them are): only what follows is decoded.
int CompareNamesAfterPrefix(QByteArrayView a, QByteArrayView b, unsigned asciiBytes, unsigned length);

// A name with its first sixteen bytes folded, for the Total Tree's sorts.
struct NameKey
{
    std::uint64_t prefix[2] = {0, 0};
    std::uint8_t asciiBytes = 0; // leading ASCII bytes of the sixteen
    QByteArrayView bytes;
};
NameKey NameKeyOf(QByteArrayView bytes);
inline int CompareNameKeys(const NameKey &a, const NameKey &b)
{
    const unsigned ascii = std::min(a.asciiBytes, b.asciiBytes);
    const int prefixes = CompareNamePrefixes(a.prefix, b.prefix, ascii);
    return prefixes != 0 ? prefixes : CompareNamesAfterPrefix(a.bytes, b.bytes, ascii, 16);
}
