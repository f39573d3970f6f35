#pragma once

#include "FolderScanner.h"
#include "RemovalResult.h"

#include <QObject>

#include <memory>
#include <thread>
#include <utility>
#include <vector>

// What a removal did, and the folders it stopped in read anew.
struct RemovalJobResult
{
    RemovalResult removal;
    // Each folder a deletion stopped in, with a new scan of what is left of it.
    std::vector<std::pair<NodeIndex, ScanResult>> rescans;
};

// Move to Trash or Delete Permanently of chosen entries on a thread of its own, so
// that a large folder going away does not freeze the window. The tree is read, never
// edited, while the job runs; the window edits it once `finished` arrives.
class RemovalJob : public QObject
{
    Q_OBJECT
public:
    explicit RemovalJob(QObject *parent = nullptr);
    ~RemovalJob() override; // waits for a running removal: it is not stopped halfway

    void start(std::shared_ptr<const CatalogTree> tree, std::vector<NodeIndex> nodes, bool permanently,
        ScanOptions rescanOptions);
    bool isRunning() const { return m_thread.joinable(); }

signals:
    void finished(const RemovalJobResult &result);

private:
    void join();

    std::thread m_thread;
};
