#pragma once

#include "CliExport.h"
#include "ScanReport.h"

#include <QByteArray>
#include <QList>

#include <variant>

// What a folvane-cli command line asks for, read and checked but not acted on yet:
// whether FOLDER exists is the run's to find out.
struct CliOptions
{
    bool help = false; // --help: the usage text on standard output and nothing else
    bool version = false; // --version: the version number on standard output and nothing else
    bool quiet = false;
    QByteArray folder;
    QList<QByteArray> fromFiles; // --from: scan files read instead of scanning FOLDER
    QByteArray compareWith; // --compare: an earlier scan file to compare with
    bool hideRemoved = false; // --hide-removed: a comparison leaves out removed entries
    QByteArray configFile; // empty: the usual place
    unsigned threads = 0; // 0: one per core
    bool oneFileSystem = false;
    bool countLinksOnce = false;
    CliExportOptions exportOptions; // its format is set whenever anything is to be exported
};

// A command line that cannot be run: `message`, when there is one, and the usage text
// go to standard error, and the program ends with `status`.
struct UsageError
{
    QByteArray message;
    int status = ExitUsage;
};

// Reads the arguments after argv[0]. Prints nothing: what to say is the caller's.
std::variant<CliOptions, UsageError> ReadCommandLine(int argc, const char *const *argv);
