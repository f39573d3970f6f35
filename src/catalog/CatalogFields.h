#pragma once

#include <QString>
#include <QStringView>

#include <array>

// Field indexes of a catalog node record. Every view, sort and export addresses
// a record's texts by these numbers, and maps column names to them through
// FieldIndexOf.
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
};

inline constexpr int CatalogFieldCount = 19;

// Keys of the fields in index order; column names in the configuration are these texts.
extern const std::array<QStringView, CatalogFieldCount> CatalogFieldNames;

// Index of the field whose key equals `key` exactly (case matters); 0 when none does.
int FieldIndexOf(QStringView key);

// The nature of a field's values, which decides how two of them compare and how
// an export writes them.
enum class FieldClass { Number, DateTime, Kind, Text };

// Number: FileBytes, FileNameLength, PathNameLength, SizePercentage, FileCount.
// DateTime: CreateTime, AccessTime, WriteTime. Kind: FileType. Text: the rest (the
// ranges too: their texts are numbers or empty, and they sort as texts).
FieldClass FieldClassOf(int field);

// Whether `field` is one of the age and size ranges a classification fills.
inline bool IsRangeField(int field)
{
    return field == CreateAgeRange || field == AccessAgeRange || field == WriteAgeRange || field == SizeRange;
}

// Kind markers of the FileType field, compared exactly everywhere.
inline constexpr QStringView KindFolder = u"folder";
inline constexpr QStringView KindFile = u"file";
