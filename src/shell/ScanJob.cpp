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

void ScanJob::start(const QByteArray &folderPath, ScanOptions options)
{
    join();
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    const QPointer<ScanJob> self(this);
    const auto cancelFlag = m_cancel;
    m_thread = std::thread([self, cancelFlag, folderPath, options = std::move(options)]() mutable {
        options.cancel = cancelFlag.get();
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
        const auto started = std::chrono::steady_clock::now();
        ScanResult result = ScanFolder(folderPath, options);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        QMetaObject::invokeMethod(
            self.data(),
            [self, result = std::move(result), seconds] {
                if (!self)
                    return;
                self->join();
                emit self->finished(result, seconds);
            },
            Qt::QueuedConnection);
    });
}

void ScanJob::startReading(std::function<ScanFileResult(const std::atomic<bool> *cancel)> read)
{
    join();
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    const QPointer<ScanJob> self(this);
    const auto cancelFlag = m_cancel;
    m_thread = std::thread([self, cancelFlag, read = std::move(read)] {
        const auto started = std::chrono::steady_clock::now();
        ScanFileResult result = read(cancelFlag.get());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        QMetaObject::invokeMethod(
            self.data(),
            [self, result = std::move(result), seconds] {
                if (!self)
                    return;
                self->join();
                emit self->opened(result, seconds);
            },
            Qt::QueuedConnection);
    });
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
