#pragma once

#include "ConfigError.h"
#include "TXMLConfigType.h"

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

// The configuration document FolvaneConfig.xml: the column catalogue, the age and size
// ranges and the window frame block. It is read once, lives in memory, and reaches the
// file again only through Save.
//
// Making it never fails: a missing file is written from the built-in default; a file
// that cannot be read, parsed or bound (root other than `config`), or a default that
// cannot be written, leaves the built-in default in memory and the reason in
// loadProblem(). A broken file is first copied to "<file>.bak", and Save refuses to
// replace it if that copy could not be made.
class TConfig
{
public:
    static constexpr const char *BaseName = "FolvaneConfig.xml";

    explicit TConfig(const QString &fileName);
    TConfig(const TConfig &) = delete;
    TConfig &operator=(const TConfig &) = delete;

    QString FileName() const { return m_fileName; }
    IXMLConfigType &Document() { return m_root; }

    // Replaces the file with the whole document (UTF-8, no XML declaration) through a
    // temporary file in the same folder, so a failure leaves the old file as it was.
    // Throws ConfigError (Io) naming the file and the reason.
    void Save();
    // Writes the built-in default text to the file; throws ConfigError (Io).
    void WriteDefault();

    // Why the built-in default is in use instead of the file ("file:line: reason"),
    // or empty when the file was read as it is.
    QString loadProblem() const { return m_loadProblem; }

    // The built-in default document, byte for byte as a first start writes it.
    static QByteArray defaultText();

    // The file beside the executable when it already stands there or that folder is
    // writable (a program run from its build or unpack folder); otherwise the file in
    // userConfigDir, which is created when missing (an installed program).
    static QString locate(const QString &executableDir, const QString &userConfigDir);
    // locate() with the running executable's folder and the per-user configuration folder.
    static QString defaultFileName();

private:
    void load();
    void useDefault(const QString &problem);
    void keepBrokenFile(const QByteArray &bytes, const QString &problem);

    QString m_fileName;
    pugi::xml_document m_document;
    TXMLConfigType m_root;
    QString m_loadProblem;
    QString m_saveRefusal;
};

// The one configuration of the program, made on first use from
// TConfig::defaultFileName() or from the file given to UseConfigFile.
TConfig &GetConfig();

// Makes the one configuration use `fileName`. Throws std::logic_error when it was
// already made with another file: references to it may be held anywhere.
void UseConfigFile(const QString &fileName);

// Forgets the one configuration and any UseConfigFile choice, so the next GetConfig
// loads again. Only for tests: every reference to the old one becomes invalid.
void ResetConfig();
