#pragma once

#include "CatalogTree.h"
#include "CliExport.h"
#include "ScanFileReader.h"

#include <QList>

#include <memory>

// Saves the whole scan as a scan file (--format ncdu) to options.output, or to
// standard output for "-" or none. Returns an exit status: 0, or 1 after one line on
// standard error naming the file and the reason.
int SaveScanFile(const CatalogTree &tree, const CliExportOptions &options);

// Reads the scan files `files` ("-": standard input) into `tree`, merged under one top
// entry when there are several. Returns an exit status: 0, or 1 after one line on
// standard error naming the file, where in it and what was wrong.
int OpenScanFiles(
    const QList<QByteArray> &files, const ScanFileOptions &options, std::shared_ptr<CatalogTree> &tree);

// Replaces `tree` by its comparison with the earlier scan file `earlierFile`
// (CompareScans) and says on standard error what changed, unless `quiet`. Returns an
// exit status: 0, or 1 after one line naming the file and why it could not be read.
int CompareWithScanFile(const QByteArray &earlierFile, const ScanFileOptions &options, bool hideRemoved,
    bool quiet, std::shared_ptr<CatalogTree> &tree);
