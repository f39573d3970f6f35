#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

#include "CatalogTree.h"

// Field indexes of a catalog node record. Every view, sort and export addresses
// a record's texts by these numbers, and maps column names to them through
// FieldOfColumn (FieldIndexOf for the configuration's columns).
enum CatalogField : int {
    FileName = 0,
    FullPath = 1,
    FileBytes = 2,
    FileExt = 3,
    FileType = 4,
    Description = 5,
    FileNameLength = 6,
    PathNameLength = 7,
    SizePercentage = 8,
    CatalogName = 9,
    CreateTime = 10,
    AccessTime = 11,
    WriteTime = 12,
    DOSName = 13,
    FileCount = 14,
    CreateAgeRange = 15,
    AccessAgeRange = 16,
    WriteAgeRange = 17,
    SizeRange = 18,
    DiskUsage = 19,
    SizeChange = 20, // filled in a comparison with an earlier scan only
    Change = 21,
};

inline constexpr int CatalogFieldCount = 22;
// The fields of the record every XML catalog element carries: FileName to SizeRange.
// Later fields (DiskUsage, SizeChange, Change) are written there only when a column of
// the export shows them.
inline constexpr int RecordFieldCount = 19;

// The nature of a field's values: how its text is made, how two of them compare, and
// how an export writes them.
enum class FieldNature : std::uint8_t {
    Number, // a whole number (signed where `signedNumber` reads it), written in decimal;
        // compares as a number; a number cell
    Time, // seconds since the epoch, written as a local time text; compares as a time
    Kind, // the FileType marker; one kind compares equal to none (folders-first decides)
    Text, // raw bytes of a name, shown as UTF-8; compares as text, ASCII case folded
    Range, // a bucket number, written in decimal; compares as its text; a number cell
};

// A field of the catalogue column list the built-in configuration holds, in the
// attributes it has there. `position` orders the entries; -1: not in that list. A
// field with position -1 and a width is offered by the column dialog, which adds it
// to the user's list with these attributes when it is checked.
struct DefaultColumn
{
    int position = -1;
    bool visible = false;
    bool defaultExport = false;
    int width = 0;
    bool readOnly = true;
    const char *align = "left";
};

// Everything the program knows of one field, in one row. Its value is read through
// one accessor, chosen by nature: `number` (or `signedNumber`, for a Number that can
// be negative) for Number and Range, `time` for Time, `bytes` for Kind and Text. An
// empty optional (or empty bytes) is an empty text.
//
// Two fields are made differently and have no accessor: FullPath (the bytes of the
// whole path are built, not read) and SizePercentage (a share of a total that a list
// row may set, CatalogTree::fieldText).
//
// A new field takes a row here, its accessor in CatalogFields.cpp and, when the
// built-in configuration should list it, a DefaultColumn.
struct FieldDefinition
{
    QStringView key; // the column name of the configuration
    const char *attribute; // the attribute of the catalog document's file elements
    FieldNature nature;
    std::optional<std::uint64_t> (*number)(const CatalogTree &, NodeIndex) = nullptr;
    // A time stamp is read as data, not through a call: sorts read one for every node.
    struct TimeStamp
    {
        CatalogNodeData::Flag present;
        std::int64_t CatalogNodeData::*seconds;
    };
    std::optional<TimeStamp> time = std::nullopt;
    QByteArrayView (*bytes)(const CatalogTree &, NodeIndex) = nullptr;
    DefaultColumn column = {};
    std::optional<std::int64_t> (*signedNumber)(const CatalogTree &, NodeIndex) = nullptr;
};

// The time stamp of a Time field of a node, when it has one.
inline std::optional<std::int64_t> TimeOf(const FieldDefinition &field, const CatalogTree &tree, NodeIndex i)
{
    const CatalogNodeData &n = tree.node(i);
    return field.time && n.has(field.time->present) ? std::optional(n.*(field.time->seconds)) : std::nullopt;
}

// The fields in index order.
extern const std::array<FieldDefinition, CatalogFieldCount> CatalogFieldTable;

// Keys of the fields in index order (CatalogFieldTable's keys).
extern const std::array<QStringView, CatalogFieldCount> CatalogFieldNames;

// The nature of `field`; Text for an index no field has (its text is empty).
inline FieldNature FieldNatureOf(int field)
{
    return field >= 0 && field < CatalogFieldCount ? CatalogFieldTable[std::size_t(field)].nature
                                                   : FieldNature::Text;
}

// How a column name is matched against the field keys. Every place a name selects a
// field goes through FieldOfColumn; they differ only in how loosely a hand-written
// name may be spelled:
// - Exact: the configuration's columns, shown, sorted and exported (case matters).
// - IgnoringBlanks: the workbook's read of the catalog document, whose attribute
//   names are the keys without blanks ("FileNameLength" reads "File Name Length").
// - IgnoringBlanksAndCase: names typed on the command line.
enum class ColumnMatch {
    Exact,
    IgnoringBlanks,
    IgnoringBlanksAndCase
};

// The field whose key matches `name`; nullopt when none does.
std::optional<int> FieldOfColumn(QStringView name, ColumnMatch match = ColumnMatch::Exact);

// The field a configuration column shows, sorts and exports: the exact match, and
// FileName for a name no field has (report such names once, where they are read).
inline int FieldIndexOf(QStringView key)
{
    return FieldOfColumn(key).value_or(FileName);
}

// What a configuration column whose name no field has is reported as.
QString UnknownColumnProblem(const QString &name);

// The keys, each in double quotes, separated by ", " (for messages naming the choices).
QString QuotedFieldKeys();

// Kind markers of the FileType field, compared exactly everywhere.
inline constexpr QStringView KindFolder = u"folder";
inline constexpr QStringView KindFile = u"file";
