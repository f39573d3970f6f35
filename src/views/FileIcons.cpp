#include "FileIcons.h"

#include "CatalogText.h"
#include "ExtensionOf.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include <algorithm>

namespace {

// The mark has to stay readable at the tree's small icon size, where a third of
// the folder would be a few pixels: it covers a little over half of it.
QIcon markedIcon(const QIcon &base, const QIcon &mark)
{
    QIcon marked;
    for (const int side : {16, 22, 24, 32, 48, 64, 96, 128}) {
        QPixmap pixmap = base.pixmap(QSize(side, side), 1.0);
        if (pixmap.isNull())
            continue;
        const int w = pixmap.width();
        const int h = pixmap.height();
        const int markSide = std::max(8, (std::min(w, h) * 9 + 15) / 16);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        mark.paint(&painter, QRect(w - markSide, h - markSide, markSide, markSide), Qt::AlignCenter);
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

// A cache per extension is bounded by the extensions of the rows painted, which is
// small, unless a tree is full of numbered or hashed names: then start afresh.
constexpr qsizetype MaxCachedExtensions = 4096;

} // namespace

FileIcons::FileIcons()
{
    QStyle *style = QApplication::style();
    m_folder = QIcon::fromTheme(QStringLiteral("folder"), style->standardIcon(QStyle::SP_DirIcon));
    m_file = QIcon::fromTheme(QStringLiteral("text-x-generic"), style->standardIcon(QStyle::SP_FileIcon));
    const QIcon mark = QIcon::fromTheme(QStringLiteral("emblem-unreadable"),
        QIcon::fromTheme(
            QStringLiteral("dialog-warning"), style->standardIcon(QStyle::SP_MessageBoxWarning)));
    m_unreadable = markedIcon(m_folder, mark);
}

QIcon FileIcons::forFileName(const QString &name)
{
    return typeIcon(ExtensionOf(QStringView(name)).toString().toLower());
}

QIcon FileIcons::forNode(const CatalogTree &tree, NodeIndex node)
{
    if (tree.isFolder(node))
        return tree.unreadableError(node) != 0 ? m_unreadable : m_folder;
    return typeIcon(CatalogText::nameText(ExtensionOf(tree.nameBytes(node))).toLower());
}

QIcon FileIcons::typeIcon(const QString &extension)
{
    if (extension.isEmpty())
        return m_file;
    const auto cached = m_byExtension.constFind(extension);
    if (cached != m_byExtension.cend())
        return *cached;

    // A made-up name with the extension alone: the icon must not depend on which
    // file of that extension happened to be asked for first.
    const QMimeType type =
        m_mime.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
    const QIcon icon = type.isDefault()
        ? m_file
        : QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), m_file));
    if (m_byExtension.size() >= MaxCachedExtensions)
        m_byExtension.clear();
    m_byExtension.insert(extension, icon);
    return icon;
}
