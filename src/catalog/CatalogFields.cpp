#include "CatalogFields.h"

const std::array<QStringView, CatalogFieldCount> CatalogFieldNames = {
    u"File Name",        u"Full Path",    u"File Size",      u"File Ext",
    u"File Type",        u"Description",  u"File Name Length", u"Path Name Length",
    u"Size Percentage",  u"Catalog Name", u"Create Time",    u"Access Time",
    u"Write Time",       u"DOS Name",     u"File Count",     u"CreateAgeRange",
    u"AccessAgeRange",   u"WriteAgeRange", u"SizeRange",
};

int FieldIndexOf(QStringView key)
{
    for (int i = 0; i < CatalogFieldCount; ++i) {
        if (CatalogFieldNames[i] == key)
            return i;
    }
    return 0;
}

FieldClass FieldClassOf(int field)
{
    switch (field) {
    case FileBytes:
    case FileNameLength:
    case PathNameLength:
    case SizePercentage:
    case FileCount:
        return FieldClass::Number;
    case CreateTime:
    case AccessTime:
    case WriteTime:
        return FieldClass::DateTime;
    case FileType:
        return FieldClass::Kind;
    default:
        return FieldClass::Text;
    }
}
