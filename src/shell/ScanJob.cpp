#include "ScanJob.h"

#include <QMetaObject>
#include <QPointer>

#include <chrono>

ScanJob::ScanJob(QObject *parent) : QObject(parent)
{ }

ScanJob::~ScanJob()
{
    cancel();
    join();
}

// Runs `work` (given the job's new cancel flag) on the job's thread, timed, and hands
// its result and seconds to `deliver` on the job's own thread once the thread ended.
template <typename Work, typename Deliver>
void ScanJob::launch(Work work, Deliver deliver)
{
    join();
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    const QPointer<ScanJob> self(this);
    const auto cancelFlag = m_cancel;
    m_thread =
        std::thread([self, cancelFlag, work = std::move(work), deliver = std::move(deliver)]() mutable {
            const auto started = std::chrono::steady_clock::now();
            auto result = work(cancelFlag.get());
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            QMetaObject::invokeMethod(
                self.data(),
                [self, deliver = std::move(deliver), result = std::move(result), seconds] {
                    if (!self)
                        return;
                    self->join();
                    deliver(*self, result, seconds);
                },
                Qt::QueuedConnection);
        });
}

void ScanJob::start(const QByteArray &folderPath, ScanOptions options)
{
    const QPointer<ScanJob> self(this);
    options.progress = [self](std::uint64_t entries, const QByteArray &folder) {
        const QString text = QString::fromUtf8(folder);
        QMetaObject::invokeMethod(
            self.data(),
            [self, entries, text] {
                if (self)
                    emit self->progress(entries, text);
            },
            Qt::QueuedConnection);
    };
    launch(
        [folderPath, options = std::move(options)](const std::atomic<bool> *cancel) mutable {
            options.cancel = cancel;
            return ScanFolder(folderPath, options);
        },
        [](ScanJob &job, const ScanResult &result, double seconds) { emit job.finished(result, seconds); });
}

void ScanJob::startReading(std::function<ScanFileResult(const std::atomic<bool> *cancel)> read)
{
    launch(std::move(read),
        [](ScanJob &job, const ScanFileResult &result, double seconds) { emit job.opened(result, seconds); });
}

void ScanJob::cancel()
{
    if (m_cancel)
        m_cancel->store(true);
}

void ScanJob::join()
{
    if (m_thread.joinable())
        m_thread.join();
}
