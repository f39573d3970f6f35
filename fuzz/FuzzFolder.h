#pragma once

#include <QByteArray>
#include <QString>

// The one folder of a fuzzer's run for the files a target writes: made at first use in
// $FOLVANE_FUZZ_TMP, else in /dev/shm (memory, so a run of millions of inputs does not
// wear a disk), else in the system's temporary folder; emptied after every input,
// removed at exit. A run that ends in a finding does not exit, and leaves it:
// scripts/fuzz.sh removes the folder it names whatever happens. Only names inside it
// are ever removed.
class FuzzFolder
{
public:
    static const FuzzFolder &instance();

    const QByteArray &path() const { return m_path; }
    QString file(const char *name) const;
    // Removes every entry of the folder (files only: targets make no folders).
    void clear() const;

private:
    FuzzFolder();
    QByteArray m_path;
};
