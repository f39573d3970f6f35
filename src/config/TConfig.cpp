#include "TConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace {

// One line; the tabs between the elements carry no meaning and vanish on parsing.
constexpr char DefaultText[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<config versionNo=\"2\">"
    "\t<frame max=\"True\" left=\"0\" top=\"0\" height=\"600\" width=\"800\">"
    "\t\t<plLeft width=\"308\" col1=\"127\" col2=\"106\" col3=\"76\"/>"
    "\t\t<plHint height=\"262\" col1=\"139\" col2=\"139\"/>"
    "\t</frame>"
    "\t<nodes>"
    "\t\t<node Name=\"File Name\" Visible=\"True\" Index=\"0\" DefaultExport=\"True\" Width=\"172\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Full Path\" Visible=\"True\" Index=\"1\" DefaultExport=\"True\" Width=\"173\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"File Size\" Visible=\"True\" Index=\"2\" DefaultExport=\"True\" Width=\"84\" ReadOnly=\"False\" Align=\"right\"/>"
    "\t\t<node Name=\"Size Percentage\" Visible=\"True\" Index=\"3\" DefaultExport=\"False\" Width=\"100\" ReadOnly=\"False\" Align=\"right\"/>"
    "\t\t<node Name=\"DOS Name\" Visible=\"True\" Index=\"4\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"File Ext\" Visible=\"True\" Index=\"5\" DefaultExport=\"True\" Width=\"66\" ReadOnly=\"True\" Align=\"right\"/>"
    "\t\t<node Name=\"File Type\" Visible=\"False\" Index=\"6\" DefaultExport=\"True\" Width=\"66\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Description\" Visible=\"False\" Index=\"7\" DefaultExport=\"True\" Width=\"124\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"File Name Length\" Visible=\"False\" Index=\"8\" DefaultExport=\"False\" Width=\"100\" ReadOnly=\"True\" Align=\"right\"/>"
    "\t\t<node Name=\"Path Name Length\" Visible=\"False\" Index=\"9\" DefaultExport=\"False\" Width=\"100\" ReadOnly=\"True\" Align=\"right\"/>"
    "\t\t<node Name=\"Catalog Name\" Visible=\"False\" Index=\"10\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Create Time\" Visible=\"True\" Index=\"11\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Access Time\" Visible=\"True\" Index=\"12\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Write Time\" Visible=\"True\" Index=\"13\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"File Count\" Visible=\"True\" Index=\"14\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t</nodes>"
    "\t<agerange>"
    "\t\t<item label=\"one day\" value=\"1.0\"/>"
    "\t\t<item label=\"three days\" value=\"3.0\"/>"
    "\t\t<item label=\"one week\" value=\"7\"/>"
    "\t\t<item label=\"one month\" value=\"30\"/>"
    "\t\t<item label=\"one year\" value=\"365\"/>"
    "\t</agerange>"
    "\t<sizerange>"
    "\t\t<item label=\"10KB\" value=\"10000\"/>"
    "\t\t<item label=\"100KB\" value=\"100000\"/>"
    "\t\t<item label=\"1MB\" value=\"1000000\"/>"
    "\t\t<item label=\"10MB\" value=\"10000000\"/>"
    "\t\t<item label=\"100MB\" value=\"100000000\"/>"
    "\t\t<item label=\"1G\" value=\"1000000000\"/>"
    "\t</sizerange>"
    "</config>";

// Comments and processing instructions a user adds by hand are kept and written back.
constexpr unsigned ParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;

const QString UsingDefault = QStringLiteral("the built-in configuration is used");

int lineAt(const QByteArray &bytes, std::ptrdiff_t offset)
{
    const auto end = bytes.cbegin() + std::clamp<std::ptrdiff_t>(offset, 0, bytes.size());
    return 1 + int(std::count(bytes.cbegin(), end, '\n'));
}

std::unique_ptr<TConfig> &theConfig()
{
    static std::unique_ptr<TConfig> config;
    return config;
}

QString &chosenFileName()
{
    static QString fileName;
    return fileName;
}

} // namespace

TConfig::TConfig(const QString &fileName)
    : m_fileName(fileName)
{
    load();
}

void TConfig::load()
{
    if (!QFileInfo::exists(m_fileName)) {
        try {
            WriteDefault();
        } catch (const ConfigError &e) {
            useDefault(e.message() + QStringLiteral("; ") + UsingDefault);
            return;
        }
    }

    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        // What we cannot read we cannot keep a copy of either, so it must not be replaced.
        const QString problem = QStringLiteral("cannot read %1: %2").arg(m_fileName, file.errorString());
        m_saveRefusal = problem;
        useDefault(problem + QStringLiteral("; ") + UsingDefault);
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    const pugi::xml_parse_result parsed = m_document.load_buffer(bytes.constData(), size_t(bytes.size()), ParseOptions);
    if (!parsed) {
        keepBrokenFile(bytes, QStringLiteral("%1:%2: %3")
                                  .arg(m_fileName)
                                  .arg(lineAt(bytes, parsed.offset))
                                  .arg(QString::fromUtf8(parsed.description())));
        return;
    }
    try {
        m_root = TXMLConfigType(m_document);
    } catch (const ConfigError &e) {
        keepBrokenFile(bytes, QStringLiteral("%1:%2: %3")
                                  .arg(m_fileName)
                                  .arg(lineAt(bytes, m_document.document_element().offset_debug()))
                                  .arg(e.message()));
    }
}

void TConfig::useDefault(const QString &problem)
{
    m_loadProblem = problem;
    m_document.load_buffer(DefaultText, sizeof DefaultText - 1, ParseOptions);
    m_root = TXMLConfigType(m_document);
}

void TConfig::keepBrokenFile(const QByteArray &bytes, const QString &problem)
{
    const QString backupName = m_fileName + QStringLiteral(".bak");
    QSaveFile backup(backupName);
    if (backup.open(QIODevice::WriteOnly) && backup.write(bytes) == bytes.size() && backup.commit()) {
        useDefault(QStringLiteral("%1; %2; the file was copied to %3").arg(problem, UsingDefault, backupName));
        return;
    }
    m_saveRefusal = QStringLiteral("%1 could not be copied to %2 (%3)").arg(m_fileName, backupName, backup.errorString());
    useDefault(QStringLiteral("%1; %2; %3, so it will not be overwritten")
                   .arg(problem, UsingDefault, m_saveRefusal));
}

void TConfig::Save()
{
    if (!m_saveRefusal.isEmpty())
        throw ConfigError(ConfigError::Io, QStringLiteral("cannot save the configuration to %1: %2")
                                               .arg(m_fileName, m_saveRefusal));

    std::ostringstream text;
    m_document.save(text, "\t", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    const std::string bytes = std::move(text).str();

    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())
        || !file.commit()) {
        throw ConfigError(ConfigError::Io, QStringLiteral("cannot save the configuration to %1: %2")
                                               .arg(m_fileName, file.errorString()));
    }
}

void TConfig::WriteDefault()
{
    QSaveFile file(m_fileName);
    const qint64 size = qint64(sizeof DefaultText - 1);
    if (!file.open(QIODevice::WriteOnly) || file.write(DefaultText, size) != size || !file.commit()) {
        throw ConfigError(ConfigError::Io, QStringLiteral("cannot write the default configuration to %1: %2")
                                               .arg(m_fileName, file.errorString()));
    }
}

QByteArray TConfig::defaultText()
{
    return QByteArray(DefaultText, qsizetype(sizeof DefaultText - 1));
}

QString TConfig::locate(const QString &executableDir, const QString &userConfigDir)
{
    const QString besideExecutable = QDir(executableDir).filePath(QString::fromLatin1(BaseName));
    if (QFileInfo::exists(besideExecutable) || QFileInfo(executableDir).isWritable())
        return besideExecutable;
    // A folder that cannot be made shows up as a failed write of the default.
    QDir().mkpath(userConfigDir);
    return QDir(userConfigDir).filePath(QString::fromLatin1(BaseName));
}

QString TConfig::defaultFileName()
{
    return locate(QCoreApplication::applicationDirPath(),
                  QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

TConfig &GetConfig()
{
    std::unique_ptr<TConfig> &config = theConfig();
    if (!config) {
        const QString &chosen = chosenFileName();
        config = std::make_unique<TConfig>(chosen.isEmpty() ? TConfig::defaultFileName() : chosen);
    }
    return *config;
}

void UseConfigFile(const QString &fileName)
{
    const std::unique_ptr<TConfig> &config = theConfig();
    if (config && config->FileName() != fileName)
        throw std::logic_error("UseConfigFile after the configuration was loaded from another file");
    chosenFileName() = fileName;
}

void ResetConfig()
{
    theConfig().reset();
    chosenFileName().clear();
}
