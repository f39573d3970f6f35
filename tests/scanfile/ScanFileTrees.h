#pragma once

#include "CatalogTree.h"
#include "ScanFileReader.h"
#include "ScanFileWriter.h"

#include <QByteArray>

#include <memory>
#include <string>

// What differs between two trees in what a scan file carries, entry by entry by
// name: kind, size, write time (but the top's), hard link numbers, the unreadable mark, the entries of each folder, and
// the total and count figures that follow. Empty when they agree.
// `links` false leaves the hard link numbers out (a file that names them for some
// links only).
std::string ScanFileDifferences(const CatalogTree &a, const CatalogTree &b, bool links = true);

// The scan file of `tree` as text.
QByteArray ScanFileText(const CatalogTree &tree);

// `text` read as a scan file named "test.json".
ScanFileResult ReadScanText(const QByteArray &text, const ScanFileOptions &options = {});
