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
