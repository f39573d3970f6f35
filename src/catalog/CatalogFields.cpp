#include "CatalogFields.h"

#include "CatalogText.h"
#include "CatalogTree.h"
#include "ExtensionOf.h"

#include <QStringList>

namespace {

using F = CatalogNodeData;

std::optional<std::uint64_t> fileBytes(const CatalogTree &tree, NodeIndex i)
{
    const CatalogNodeData &n = tree.node(i);
    return n.has(F::HasSize) ? std::optional(n.size) : std::nullopt;
}

// Bytes allocated on disk: far below the size for a sparse file, 0 for a further
// link of a file counted once.
std::optional<std::uint64_t> diskUsage(const CatalogTree &tree, NodeIndex i)
{
    const CatalogNodeData &n = tree.node(i);
    return n.has(F::HasSize) ? std::optional(n.diskSize) : std::nullopt;
}

std::optional<std::uint64_t> nameLength(const CatalogTree &tree, NodeIndex i)
{
    if (!tree.node(i).has(F::HasDetails))
        return std::nullopt;
    return CatalogText::utf16Length(tree.nameBytes(i)).units;
}

std::optional<std::uint64_t> pathLength(const CatalogTree &tree, NodeIndex i)
{
    if (!tree.node(i).has(F::HasDetails))
        return std::nullopt;
    return CatalogText::utf16Length(tree.fullPathBytes(i)).units;
}

std::optional<std::uint64_t> fileCount(const CatalogTree &tree, NodeIndex i)
{
    if (!tree.hasPercentages())
        return std::nullopt;
    const CatalogNodeData &n = tree.node(i);
    return n.kind() == NodeKind::Folder ? n.subtreeCount - 1 : n.subtreeCount;
}

std::optional<std::uint64_t> bucket(int b)
{
    return b < 0 ? std::nullopt : std::optional(std::uint64_t(b));
}

template <TimeKind Kind>
std::optional<std::uint64_t> ageRange(const CatalogTree &tree, NodeIndex i)
{
    return bucket(tree.ageBucket(i, Kind));
}

std::optional<std::uint64_t> sizeRange(const CatalogTree &tree, NodeIndex i)
{
    return bucket(tree.sizeBucket(i));
}

QByteArrayView fileName(const CatalogTree &tree, NodeIndex i)
{
    return tree.nameBytes(i);
}

QByteArrayView dosName(const CatalogTree &tree, NodeIndex i)
{
    return tree.node(i).has(F::HasDetails) ? tree.nameBytes(i) : QByteArrayView();
}

QByteArrayView fileExt(const CatalogTree &tree, NodeIndex i)
{
    const CatalogNodeData &n = tree.node(i);
    if (n.kind() != NodeKind::File || !n.has(F::HasDetails))
        return QByteArrayView();
    return ExtensionOf(tree.nameBytes(i));
}

QByteArrayView fileType(const CatalogTree &tree, NodeIndex i)
{
    switch (tree.node(i).kind()) {
    case NodeKind::Folder:
        return "folder";
    case NodeKind::File:
        return "file";
    case NodeKind::Unknown:
        break;
    }
    return QByteArrayView();
}

std::optional<std::int64_t> sizeChange(const CatalogTree &tree, NodeIndex i)
{
    const ScanComparison *c = tree.comparison();
    if (!c || i >= c->sizeChange.size())
        return std::nullopt;
    return c->sizeChange[i];
}

QByteArrayView change(const CatalogTree &tree, NodeIndex i)
{
    const ScanComparison *c = tree.comparison();
    if (!c || i >= c->change.size())
        return QByteArrayView();
    return EntryChangeText(c->change[i]);
}

// Description and Catalog Name: fields of the record that a scan of a file system
// never fills.
QByteArrayView neverFilled(const CatalogTree &, NodeIndex)
{
    return QByteArrayView();
}

constexpr auto Number = FieldNature::Number;
constexpr auto Time = FieldNature::Time;
constexpr auto Kind = FieldNature::Kind;
constexpr auto Text = FieldNature::Text;
constexpr auto Range = FieldNature::Range;
using TimeStamp = FieldDefinition::TimeStamp;

} // namespace

// clang-format off
// Made at compile time, so other files' static tables may read it at start-up.
constexpr std::array<FieldDefinition, CatalogFieldCount> CatalogFieldTable = {{
    //  key                  attribute          nature  number           time          bytes
    {u"File Name",        "FileName",        Text,   nullptr,         std::nullopt, fileName,     {0, true, true, 172, true, "left"}},
    {u"Full Path",        "FullPath",        Text,   nullptr,         std::nullopt, nullptr,      {1, true, true, 173, true, "left"}},
    {u"File Size",        "FileBytes",       Number, fileBytes,       std::nullopt, nullptr,      {2, true, true, 84, false, "right"}},
    {u"File Ext",         "FileExt",         Text,   nullptr,         std::nullopt, fileExt,      {5, true, true, 66, true, "right"}},
    {u"File Type",        "FileType",        Kind,   nullptr,         std::nullopt, fileType,     {6, false, true, 66, true, "left"}},
    {u"Description",      "Description",     Text,   nullptr,         std::nullopt, neverFilled,  {7, false, true, 124, true, "left"}},
    {u"File Name Length", "FileNameLength",  Number, nameLength,      std::nullopt, nullptr,      {8, false, false, 100, true, "right"}},
    {u"Path Name Length", "PathNameLength",  Number, pathLength,      std::nullopt, nullptr,      {9, false, false, 100, true, "right"}},
    {u"Size Percentage",  "SizePercentage",  Number, nullptr,         std::nullopt, nullptr,      {3, true, false, 100, false, "right"}},
    {u"Catalog Name",     "CatalogName",     Text,   nullptr,         std::nullopt, neverFilled,  {10, false, true, 80, true, "left"}},
    {u"Create Time",      "CreateTime",      Time,   nullptr, TimeStamp{F::HasCreateTime, &F::createTime}, nullptr, {11, true, true, 80, true, "left"}},
    {u"Access Time",      "AccessTime",      Time,   nullptr, TimeStamp{F::HasAccessTime, &F::accessTime}, nullptr, {12, true, true, 80, true, "left"}},
    {u"Write Time",       "WriteTime",       Time,   nullptr, TimeStamp{F::HasWriteTime, &F::writeTime},   nullptr, {13, true, true, 80, true, "left"}},
    {u"DOS Name",         "DOSName",         Text,   nullptr,         std::nullopt, dosName,      {4, true, true, 80, true, "left"}},
    {u"File Count",       "FileCount",       Number, fileCount,       std::nullopt, nullptr,      {14, true, true, 80, true, "left"}},
    {u"CreateAgeRange",   "CreateAgeRange",  Range,  ageRange<TimeKind::Create>, std::nullopt, nullptr, {}},
    {u"AccessAgeRange",   "AccessAgeRange",  Range,  ageRange<TimeKind::Access>, std::nullopt, nullptr, {}},
    {u"WriteAgeRange",    "WriteAgeRange",   Range,  ageRange<TimeKind::Write>,  std::nullopt, nullptr, {}},
    {u"SizeRange",        "SizeRange",       Range,  sizeRange,       std::nullopt, nullptr,      {}},
    // Not in the built-in configuration: the column dialog offers it.
    {u"Disk Usage",       "DiskUsage",       Number, diskUsage,       std::nullopt, nullptr,      {-1, true, true, 84, false, "right"}},
    {u"Size Change",      "SizeChange",      Number, nullptr,         std::nullopt, nullptr,      {}, sizeChange},
    {u"Change",           "Change",          Text,   nullptr,         std::nullopt, change,       {}},
}};
// clang-format on

constinit const std::array<QStringView, CatalogFieldCount> CatalogFieldNames = [] {
    std::array<QStringView, CatalogFieldCount> names;
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = CatalogFieldTable[i].key;
    return names;
}();

namespace {

// `text` without blanks and, when asked, case folded.
QString looseForm(QStringView text, ColumnMatch match)
{
    QString form = text.toString();
    form.remove(u' ');
    return match == ColumnMatch::IgnoringBlanksAndCase ? form.toCaseFolded() : form;
}

} // namespace

std::optional<int> FieldOfColumn(QStringView name, ColumnMatch match)
{
    const QString wanted = match == ColumnMatch::Exact ? QString() : looseForm(name, match);
    for (int i = 0; i < CatalogFieldCount; ++i) {
        const QStringView key = CatalogFieldTable[std::size_t(i)].key;
        if (match == ColumnMatch::Exact ? key == name : looseForm(key, match) == wanted)
            return i;
    }
    return std::nullopt;
}

QString UnknownColumnProblem(const QString &name)
{
    return QStringLiteral("the column \"%1\" of the configuration names no field; it shows File Name")
        .arg(name);
}

const char *EntryChangeText(EntryChange change)
{
    switch (change) {
    case EntryChange::New:
        return "new";
    case EntryChange::Removed:
        return "removed";
    case EntryChange::Grown:
        return "grown";
    case EntryChange::Shrunk:
        return "shrunk";
    case EntryChange::Unchanged:
        break;
    }
    return "unchanged";
}

QString QuotedFieldKeys()
{
    QStringList names;
    for (const FieldDefinition &field : CatalogFieldTable)
        names.append(QLatin1Char('"') + field.key.toString() + QLatin1Char('"'));
    return names.join(QStringLiteral(", "));
}
