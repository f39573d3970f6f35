#include "SampleTree.h"

#include "FolderScanner.h"

#include <stdexcept>
#include <sys/stat.h>

void MakeSampleTree(const Fixture &fx)
{
    fx.makeFile("a.txt", 10);
    fx.makeFolder("b");
    fx.makeFile("b/c.bin", 300);
    fx.makeFolder("b/d");
    fx.makeFile("b/d/e", 5);
    fx.makeFile("b/d/f", 7);
    fx.makeFile("b/g", 1);
    fx.makeFolder("h");
    fx.makeLink("link", "b");
    fx.makeFolder("i");
    fx.makeFile("i/j", 20);
    fx.makeFolder("i/k");
    fx.makeFile("i/k/l", 2);
    fx.makeLink("i/tob", "../b");
    fx.makeFile(NotUtf8Name, 4);
    fx.makeFile(PercentName, 6);
}

std::shared_ptr<CatalogTree> CompleteScan(const QByteArray &path)
{
    ScanResult result = ScanFolder(path);
    if (!result.complete())
        throw std::runtime_error(
            "the scan of " + path.toStdString() + " stopped: " + ScanStopText(result.stop));
    return result.tree;
}

bool Exists(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}
