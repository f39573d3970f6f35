#include "CliConfig.h"

#include "TConfig.h"
#include "TerminalText.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

// A problem with the configuration never stops a scan: the built-in default is used
// and the reason goes out as one line, whatever characters the file name holds.
void warnAboutConfig(const QByteArray &terminalText)
{
    std::fprintf(stderr, "folvane-cli: warning: %s\n", terminalText.constData());
}

void warnAboutConfig(const QString &problem)
{
    warnAboutConfig(TerminalText(problem));
}

// The configuration keeps its name as text, and text holds only UTF-8: a name that
// does not survive the trip would open, and write, some other file.
bool survivesAsText(const QByteArray &name)
{
    return QFile::encodeName(QFile::decodeName(name)) == name;
}

// The folder the program runs in, as the system's bytes.
QByteArray currentFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.data());
}

// The name made absolute byte for byte (no cleaning: "link/.." is not "."), so that
// messages name the whole path; a relative name that cannot be made absolute as text
// stays as given, which still names the very same file.
QByteArray absoluteName(const QByteArray &name)
{
    if (name.startsWith('/'))
        return name;
    const QByteArray folder = currentFolder();
    if (folder.isEmpty())
        return name;
    const QByteArray absolute = folder.endsWith('/') ? folder + name : folder + '/' + name;
    return survivesAsText(absolute) ? absolute : name;
}

void loadConfig(const QByteArray &configFile)
{
    try {
        if (!configFile.isEmpty()) {
            if (!survivesAsText(configFile)) {
                warnAboutConfig("cannot use the configuration file "
                    + TerminalText(QByteArrayView(configFile))
                    + ": its name is not valid UTF-8; the built-in configuration is used and"
                      " nothing is written");
                UseBuiltInConfig(QStringLiteral("the name of the configuration file is not valid UTF-8"));
                GetConfig();
                return;
            }
            UseConfigFile(QFile::decodeName(absoluteName(configFile)));
        }
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
