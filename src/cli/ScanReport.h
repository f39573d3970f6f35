#pragma once

#include "FolderScanner.h"

#include <cstdio>

// Exit statuses of folvane-cli.
enum CliExit : int {
    ExitComplete = 0,
    ExitUnreadable = 1, // the folder could not be read, or a file could not be written
    ExitUsage = 2,
    ExitStoppedShort = 3, // the figures are incomplete: the scan stopped before the end
};

// Writes what a person needs to know of a finished scan to `to`: the summary line
// (unless `quiet`), then one warning line each for unread folders, a saturated
// total and a scan that stopped short. Returns the exit status the scan deserves.
// `verb` begins the summary: "Scanned", or "Opened" for a tree read from scan files.
int ReportScan(
    std::FILE *to, const ScanResult &result, double seconds, bool quiet, const char *verb = "Scanned");
