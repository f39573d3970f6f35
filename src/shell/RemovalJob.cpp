#include "RemovalJob.h"

#include "EntryRemoval.h"

#include <QMetaObject>
#include <QPointer>

RemovalJob::RemovalJob(QObject *parent) : QObject(parent)
{ }

RemovalJob::~RemovalJob()
{
    join();
}

void RemovalJob::start(std::shared_ptr<const CatalogTree> tree, std::vector<NodeIndex> nodes,
    bool permanently, ScanOptions rescanOptions)
{
    join();
    const QPointer<RemovalJob> self(this);
    m_thread = std::thread([self, tree = std::move(tree), nodes = std::move(nodes), permanently,
                               options = std::move(rescanOptions)] {
        RemovalJobResult result;
        result.removal = permanently ? DeletePermanently(*tree, nodes) : MoveToTrash(*tree, nodes);
        // What a deletion left of a folder is read again, so that it shows as it is.
        for (const NodeIndex folder : result.removal.partlyRemovedNodes())
            result.rescans.emplace_back(folder, ScanFolder(tree->fullPathBytes(folder), options));
        QMetaObject::invokeMethod(
            self.data(),
            [self, result = std::move(result)] {
                if (!self)
                    return;
                self->join();
                emit self->finished(result);
            },
            Qt::QueuedConnection);
    });
}

void RemovalJob::join()
{
    if (m_thread.joinable())
        m_thread.join();
}
