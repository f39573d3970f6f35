#include "CommandLine.h"

#include <QFile>

std::variant<CliOptions, UsageError> ReadCommandLine(int argc, const char *const *argv)
{
    CliOptions options;
    CliExportOptions &exportOptions = options.exportOptions;
    bool optionsEnded = false;
    bool haveFolder = false;
    bool haveFormat = false;
    bool exportAsked = false;
    bool listAsked = false; // --list, --sort or --descending: they order a list export
    const auto usageError = [](const QByteArray &message) { return UsageError {message}; };
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--quiet") {
            options.quiet = true;
        } else if (!optionsEnded && arg == "--config") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usageError("--config needs a FILE");
            options.configFile = argv[++i];
        } else if (!optionsEnded
            && (arg == "--format" || arg == "--output" || arg == "--list" || arg == "--sort")) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usageError(arg + " needs a value");
            const QByteArray value(argv[++i]);
            exportAsked = true;
            if (arg == "--format") {
                exportOptions.scanFile = value.toLower() == "ncdu";
                exportOptions.format = ExportFormatNamed(value);
                if (!exportOptions.format && !exportOptions.scanFile)
                    return usageError("unknown format '" + value + "' (csv, text, html, xml, xlsx or ncdu)");
                haveFormat = true;
            } else if (arg == "--list" || arg == "--sort") {
                listAsked = true;
                if (arg == "--list" && !ParseExportList(value, exportOptions.list))
                    return usageError("unknown list '" + value + "' (tree or folder)");
                if (arg == "--sort" && !ParseSortColumn(value, exportOptions.sortField))
                    return usageError("unknown column '" + value + "'; columns are " + SortColumnNames());
            } else {
                exportOptions.output = value;
            }
        } else if (!optionsEnded && arg == "--from") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usageError("--from needs a FILE");
            options.fromFiles.append(QByteArray(argv[++i]));
        } else if (!optionsEnded && arg == "--compare") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usageError("--compare needs a FILE");
            options.compareWith = argv[++i];
        } else if (!optionsEnded && arg == "--hide-removed") {
            options.hideRemoved = true;
        } else if (!optionsEnded && arg == "--descending") {
            exportOptions.descending = true;
            exportAsked = true;
            listAsked = true;
        } else if (!optionsEnded && arg == "--one-file-system") {
            options.oneFileSystem = true;
        } else if (!optionsEnded && arg == "--count-links-once") {
            options.countLinksOnce = true;
        } else if (!optionsEnded && arg == "--threads") {
            bool ok = false;
            const uint value = i + 1 < argc ? QByteArray(argv[i + 1]).toUInt(&ok) : 0;
            if (!ok || value < 1)
                return usageError("--threads needs a number N >= 1");
            options.threads = value;
            ++i;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            // Whatever else the line holds, it only asks for help.
            CliOptions help;
            help.help = true;
            return help;
        } else if (!optionsEnded && arg == "--version") {
            CliOptions version;
            version.version = true;
            return version;
        } else if (!optionsEnded && arg.startsWith('-') && arg.size() > 1) {
            return usageError("unknown option '" + arg + "'");
        } else if (!haveFolder) {
            options.folder = arg;
            haveFolder = true;
        } else {
            return usageError("only one FOLDER may be given");
        }
    }
    if (haveFolder && !options.fromFiles.isEmpty())
        return usageError("give either FOLDER or --from FILE, not both");
    if (!haveFolder && options.fromFiles.isEmpty())
        return usageError(QByteArray());
    if (exportAsked && !haveFormat) {
        if (exportOptions.toStandardOutput())
            return usageError("--format is needed to export to standard output");
        exportOptions.scanFile = IsScanFileName(exportOptions.output);
        exportOptions.format = FormatOfOutput(exportOptions.output);
        if (!exportOptions.format && !exportOptions.scanFile)
            return usageError("--format is needed: the name of --output does not tell the format");
    }
    if (exportOptions.scanFile) {
        exportOptions.format.reset();
        if (listAsked)
            return usageError(
                "--list, --sort and --descending order a list: a scan file holds the whole scan");
    }
    if (exportOptions.format && !TraitsOf(*exportOptions.format).streams && exportOptions.toStandardOutput())
        return usageError(TraitsOf(*exportOptions.format).name.toString().toUtf8() + " needs --output FILE");
    if (!exportOptions.toStandardOutput()
        && QFile::encodeName(QFile::decodeName(exportOptions.output)) != exportOptions.output)
        return usageError("the --output name is not valid in this system's encoding");
    return options;
}
