#include "WorkbookExport.h"

bool WorkbookFits(const CatalogDocument &catalog)
{
    return catalog.CountElements() + 2 <= WorkbookRowLimit;
}

QString ExportWorkbook(const QString &, const CatalogDocument &, const QStringList &, const QString &)
{
    return QStringLiteral("not written yet");
}
