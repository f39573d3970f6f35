#pragma once

#include <QByteArray>

#include <string>
#include <vector>

// The page of the HTML export read back strictly: markup is only where the writer
// puts it (the head, the heading, the table's rows and cells), a cell's content holds
// no "<" or ">" and every "&" in it opens one of the references the writer uses;
// references are resolved, and a cell of "&nbsp;" alone is empty. The page is one
// line ending with CR LF.
struct HtmlRow
{
    std::string cellClass; // the class of the row's cells
    std::vector<std::string> cells;
};

struct HtmlTable
{
    std::string error; // empty: read to the end
    std::string heading;
    std::vector<HtmlRow> rows;
};
HtmlTable ReadHtmlTable(const QByteArray &bytes);
