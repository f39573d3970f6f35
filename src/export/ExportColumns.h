#pragma once

#include <QString>
#include <QStringList>

// The columns a table export writes: the Name of every entry of the configuration's
// column catalogue whose Visible is true, in the order the entries stand in the
// document (neither the on-screen Index nor DefaultExport takes part). The names are
// the header cells and, through FieldIndexOf, select the exported fields. Built anew
// for every export, so it follows the visibility chosen at that moment.
//
// An entry whose Visible cannot be read is left out; when `problem` is given, the
// reasons (one a line) are put there, and it is emptied when every entry was read.
QStringList GetExportColumns(QString *problem = nullptr);

// The heading of an exported page: the last component of `path`, cut before its first
// "." when it has one ("/r/disk.usage.htm" gives "disk", "/r/summary" "summary").
QString ExportTitleOf(const QString &path);
