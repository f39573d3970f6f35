#include "RemovalFixture.h"

#include "EntryRemoval.h"

#include <QList>

#include <fstream>
#include <iterator>
#include <string>

const char *nameOf(Removal removal)
{
    return removal == Removal::Trash ? "trash" : "delete";
}

RemovalResult removeEntries(Removal removal, const CatalogTree &tree, const std::vector<NodeIndex> &nodes)
{
    return removal == Removal::Trash ? MoveToTrash(tree, nodes) : DeletePermanently(tree, nodes);
}

TemporaryTrash::TemporaryTrash()
    : m_old(qgetenv("XDG_DATA_HOME")), m_had(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
{
    qputenv("XDG_DATA_HOME", m_data.path());
}

TemporaryTrash::~TemporaryTrash()
{
    if (m_had)
        qputenv("XDG_DATA_HOME", m_old);
    else
        qunsetenv("XDG_DATA_HOME");
}

TrashRecord ReadRecord(const QByteArray &file)
{
    // By its bytes: QFile would take the name through a QString.
    std::ifstream in(file.toStdString(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const QList<QByteArray> lines = QByteArray::fromStdString(text).split('\n');
    if (lines.size() != 4 || lines[0] != "[Trash Info]" || !lines[1].startsWith("Path=")
        || !lines[2].startsWith("DeletionDate=") || !lines[3].isEmpty())
        return {};
    return {QByteArray::fromPercentEncoding(lines[1].mid(5)), lines[2].mid(13)};
}
