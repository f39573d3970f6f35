#pragma once

#include "CatalogTree.h"

#include <QString>

#include <cstdint>
#include <optional>

class TCatalogNode;

// What a list cell shows for one field of a record. Sizes (File Size and Disk Usage) are scaled by powers of
// two and written with the locale's grouping and two decimals ("1,023.00 B",
// "1.00 KB", "1,024.00 KB", "1.00 MB", "1.00 GB"); a percentage gets "%"
// ("12.34%"); every other field is the record's text as it stands. A field that is
// empty stays empty.
QString CellText(int field, const TCatalogNode &record);
QString CellText(
    int field, const CatalogTree &tree, NodeIndex node, std::optional<double> listTotal = std::nullopt);

// The size form alone: x bytes as "%n B", "%n KB", "%n MB" or "%n GB" with the
// thresholds 1024, 1048576 and 1073741824 on the unscaled count.
QString SizeCellText(double bytes);
