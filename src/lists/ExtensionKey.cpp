#include "ExtensionKey.h"

#include "CatalogText.h"
#include "ExtensionOf.h"

QByteArrayView FileExtensionBytes(const CatalogTree &tree, NodeIndex i, const CatalogNodeData &n)
{
    return n.has(CatalogNodeData::HasDetails) ? ExtensionOf(tree.nameBytes(i)) : QByteArrayView();
}

void FoldExtension(QByteArrayView extension, std::string &key)
{
    key.clear();
    for (const char c : extension) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            key = CatalogText::nameText(extension).toCaseFolded().toUtf8().toStdString();
            return;
        }
        key.push_back(c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c);
    }
}
