#pragma once

#include "CatalogTree.h"

#include <QString>
#include <QStringView>

#include <Qt>

class TCatalogNode;

// How two records compare in every list: folders before files in both directions,
// then by one field (the sort field), each field by its nature. The comparison is
// deliberately not a strict weak order (equal numbers compare as -1, two records of
// one kind under the FileType field as 1), so it is only ever handed to the merge
// sorts of this library, which end and stay within their list whatever it answers.

enum class FieldClass { Number, DateTime, Kind, Text };

// Number: FileBytes, FileNameLength, PathNameLength, SizePercentage, FileCount.
// DateTime: CreateTime, AccessTime, WriteTime. Kind: FileType. Text: the rest.
FieldClass FieldClassOf(int field);

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
int CompareNodes(const TCatalogNode &a, const TCatalogNode &b, int sortField, Qt::SortOrder order);

// The same comparison on two nodes of one scan. Where the typed values give the
// order their texts give (sizes, counts, lengths, percentages, times) they are
// compared directly, without making texts; other fields compare their texts.
int CompareTreeNodes(const CatalogTree &tree, NodeIndex a, NodeIndex b, int sortField,
                     Qt::SortOrder order);
