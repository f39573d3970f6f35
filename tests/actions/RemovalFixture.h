#pragma once

#include "CatalogTree.h"
#include "Fixture.h"
#include "RemovalResult.h"
#include "SampleTree.h"

#include <QByteArray>

#include <memory>
#include <vector>

// What the removal tests share: a sample tree on disk, the user's trash in a
// temporary folder (XDG_DATA_HOME), and the two ways to remove.
enum class Removal {
    Trash,
    Delete
};
const char *nameOf(Removal removal);
RemovalResult removeEntries(Removal removal, const CatalogTree &tree, const std::vector<NodeIndex> &nodes);

// Points XDG_DATA_HOME at a folder of its own while it lives.
class TemporaryTrash
{
public:
    TemporaryTrash();
    ~TemporaryTrash();
    TemporaryTrash(const TemporaryTrash &) = delete;
    TemporaryTrash &operator=(const TemporaryTrash &) = delete;

    const Fixture &data() const { return m_data; }
    QByteArray files() const { return m_data.at("Trash/files"); }
    QByteArray info() const { return m_data.at("Trash/info"); }

private:
    Fixture m_data;
    QByteArray m_old;
    bool m_had = false;
};

// A record of the trash, read: empty fields when it is not one.
struct TrashRecord
{
    QByteArray path; // decoded
    QByteArray date;
};
TrashRecord ReadRecord(const QByteArray &file);
