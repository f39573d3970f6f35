#pragma once

#include "FolderScanner.h"
#include "ScanFileReader.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// One scan at a time on a thread of its own, so the window keeps answering while a
// million entries are read. Progress and the result arrive as signals on the thread
// that owns the job; a scan can be cancelled and keeps what it read.
class ScanJob : public QObject
{
    Q_OBJECT
public:
    explicit ScanJob(QObject *parent = nullptr);
    ~ScanJob() override; // cancels a running scan and waits for it

    // Scans with `options` (their progress and cancel are the job's own).
    void start(const QByteArray &folderPath, ScanOptions options = {});
    // Runs `read` on the job's thread instead of a scan (opening scan files, comparing
    // with one), with the job's cancel flag; `opened` brings its result back.
    void startReading(std::function<ScanFileResult(const std::atomic<bool> *cancel)> read);
    void cancel();
    bool isRunning() const { return m_thread.joinable(); }

signals:
    void progress(quint64 entries, const QString &folder);
    void finished(const ScanResult &result, double seconds);
    void opened(const ScanFileResult &result, double seconds);

private:
    template <typename Work, typename Deliver>
    void launch(Work work, Deliver deliver);
    void join();

    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};
