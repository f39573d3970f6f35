#pragma once

#include "CatalogTree.h"
#include "ScanFileReader.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QAction;
class QMenu;
class TFormMain;

// The File menu's commands for scan files: Save Scan..., Open Scan... (several files
// are merged) and Compare With... (an earlier scan file). Files are read, and scans
// compared, on the window's scan thread behind the wait dialog; a file that cannot be
// read is reported and the window keeps what it showed.
class ScanFileCommands : public QObject
{
    Q_OBJECT
public:
    // Puts the three commands into `file` before `before`.
    ScanFileCommands(TFormMain &window, QMenu *file, QAction *before);

    // What the commands do once their files are chosen (tests call these directly).
    // Save writes at once and returns the reason it could not, or an empty text.
    QString SaveScan(const QString &path);
    void OpenScans(const QStringList &paths);
    void CompareWith(const QString &path);

    // Whether the scan shown was opened from files or made by a comparison: it stands
    // for no folder on this machine, so nothing of it is removed or read again.
    bool showsStoredScan() const;

    QAction *actSave = nullptr;
    QAction *actOpen = nullptr;
    QAction *actCompare = nullptr;
    // Checked: a comparison leaves out the entries only the earlier scan has (the one
    // shown is made again at once).
    QAction *actHideRemoved = nullptr;

signals:
    // A scan file was opened or compared (and shown), or could not be.
    void done();

private:
    void opened(const ScanFileResult &result, double seconds);
    ScanFileOptions readOptions() const;
    void compare(std::shared_ptr<const CatalogTree> later, std::shared_ptr<const CatalogTree> earlier);

    TFormMain &m_window;
    QString m_reading; // what the running job reads, for its messages
    std::shared_ptr<const CatalogTree> m_stored;
    // The two scans of the comparison shown, to make it again; and the earlier scan
    // a running comparison job reads into.
    std::shared_ptr<const CatalogTree> m_later;
    std::shared_ptr<const CatalogTree> m_earlier;
    std::shared_ptr<std::shared_ptr<CatalogTree>> m_readingEarlier;
};
