#pragma once

#include <QString>
#include <QStringList>

#include <atomic>

// What the caller of an export shares with the writer while it runs: a request to
// stop, which any thread may make (the file is then not written, and what was written
// of it goes), and the writer's warnings about a file it did write: something a
// reader of that format will not get as it was (read them once the export is done).
class ExportControl
{
public:
    void stop() { m_stop.store(true, std::memory_order_relaxed); }
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }
    // For SafeFile::Replacement, which stops on it.
    const std::atomic<bool> *stopFlag() const { return &m_stop; }

    void warn(const QString &text) { m_warnings.append(text); }
    const QStringList &warnings() const { return m_warnings; }

private:
    std::atomic<bool> m_stop {false};
    QStringList m_warnings;
};

// The flag a writer hands to its SafeFile::Replacement: none without a control.
inline const std::atomic<bool> *StopFlagOf(const ExportControl *control)
{
    return control ? control->stopFlag() : nullptr;
}
