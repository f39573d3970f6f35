#include "CliConfig.h"

#include "TConfig.h"
#include "TerminalText.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

// A problem with the configuration never stops a scan: the built-in default is used
// and the reason goes out as one line, whatever characters the file name holds.
void warnAboutConfig(const QString &problem)
{
    std::fprintf(stderr, "folvane-cli: warning: %s\n", TerminalText(problem).constData());
}

void loadConfig(const QByteArray &configFile)
{
    try {
        if (!configFile.isEmpty())
            UseConfigFile(QFileInfo(QFile::decodeName(configFile)).absoluteFilePath());
        const QString problem = GetConfig().loadProblem();
        if (!problem.isEmpty())
            warnAboutConfig(problem);
    } catch (const ConfigError &e) {
        warnAboutConfig(e.message());
    }
}

} // namespace

void LoadCliConfig(const QByteArray &configFile)
{
    loadConfig(configFile);
}
