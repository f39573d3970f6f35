#pragma once

#include "CatalogTree.h"
#include "TXMLNodesType.h"

#include <QString>
#include <QStringList>

// The columns a table export writes: the Name of every entry of a configuration's
// column catalogue `nodes` whose Visible is true, in the order the entries stand in
// the document (neither the on-screen Index nor DefaultExport takes part). The names
// are the header cells and, through FieldIndexOf, select the exported fields. The
// programs build it anew for every export from their one configuration, so it follows
// the visibility chosen at that moment; the writers never read a configuration.
//
// An entry whose Visible cannot be read is left out; when `problem` is given, the
// reasons (one a line) are put there, and it is emptied when every entry was read.
QStringList GetExportColumns(const TXMLNodesType &nodes, QString *problem = nullptr);

// The fields a comparison with an earlier scan adds (Size Change, Change): exported
// and shown for a compared tree whatever the configuration lists, since they are what
// the comparison was made for. Appends those `columns` lacks when `tree` is compared.
void AddComparisonColumns(QStringList &columns, const CatalogTree &tree);

// The heading of an exported page: the last component of `path`, cut before its first
// "." when it has one ("/r/disk.usage.htm" gives "disk", "/r/summary" "summary").
QString ExportTitleOf(const QString &path);
