#include "ExportColumns.h"

#include "CatalogFields.h"

#include "ConfigError.h"

QStringList GetExportColumns(const TXMLNodesType &nodes, QString *problem)
{
    QStringList columns;
    QStringList problems;
    const int count = nodes.count();
    for (int i = 0; i < count; ++i) {
        const TXMLNodeType node = nodes.node(i);
        try {
            if (node.visible())
                columns.append(node.name());
        } catch (const ConfigError &error) {
            problems.append(error.message());
        }
    }
    if (problem)
        *problem = problems.join(u'\n');
    return columns;
}

QString ExportTitleOf(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.indexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

void AddComparisonColumns(QStringList &columns, const CatalogTree &tree)
{
    if (!tree.comparison())
        return;
    for (const int field : {SizeChange, Change}) {
        const QString key = CatalogFieldNames[std::size_t(field)].toString();
        if (!columns.contains(key))
            columns.append(key);
    }
}
