#pragma once

#include "ConfigError.h"
#include "TXMLConfigType.h"

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

#include <string>
#include <sys/types.h>

// The configuration document FolvaneConfig.xml: the column catalogue, the age and size
// ranges and the window frame block. It is read once, lives in memory, and reaches the
// file again only through Save.
//
// Making it never fails: a missing file is written from the built-in default; a file
// that cannot be read, parsed or bound (root other than `config`), or a default that
// cannot be written, leaves the built-in default in memory and the reason in
// loadProblem(). A broken file is first copied to "<file>.bak" (or the first free
// "<file>.bak.N"), and Save refuses to replace it if that copy could not be made. What
// is not a configuration at all (not a regular file, larger than 16 MiB, or more than
// the memory can hold) is never written to: Save refuses for the whole run.
class TConfig
{
public:
    static constexpr const char *BaseName = "FolvaneConfig.xml";

    explicit TConfig(const QString &fileName);
    // The built-in default tied to no file: nothing is read or written, and Save
    // refuses with `reason`, which also becomes loadProblem().
    struct BuiltIn
    {
        QString reason;
    };
    explicit TConfig(const BuiltIn &builtIn);
    TConfig(const TConfig &) = delete;
    TConfig &operator=(const TConfig &) = delete;

    QString FileName() const { return m_fileName; }
    IXMLConfigType &Document() { return m_root; }

    // Replaces the file with the whole document (UTF-8, no XML declaration) through a
    // temporary file in the same folder, so a failure leaves the old file as it was.
    // A symbolic link stays: the file it ends at is replaced. Throws ConfigError (Io)
    // naming the file and the system's reason.
    void Save();
    // Writes the built-in default text to the file; throws ConfigError (Io).
    void WriteDefault();

    // Why the built-in default is in use instead of the file ("file:line: reason"),
    // or empty when the file was read as it is.
    QString loadProblem() const { return m_loadProblem; }

    // The built-in default document, byte for byte as a first start writes it.
    static QByteArray defaultText();

    // The file beside the executable when it already stands there and the user may
    // write it, or when that folder is the user's own (a program run from its build or
    // unpack folder); otherwise the file in userConfigDir, which is created when
    // missing (an installed program). Root owns every system folder, so for root only
    // a file of its own already beside the executable counts.
    static QString locate(const QString &executableDir, const QString &userConfigDir);
    // locate() with the running executable's folder and the per-user configuration folder.
    static QString defaultFileName();

private:
    void load();
    void useDefault(const QString &problem);
    void refuse(const QString &problem);
    void parse(const std::string &bytes, mode_t mode);
    void keepBrokenFile(const std::string &bytes, mode_t mode, const QString &problem);

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

// Makes the one configuration the built-in default, tied to no file (see
// TConfig::BuiltIn): for a file name that cannot be used as given. Throws
// std::logic_error when it was already made from a file.
void UseBuiltInConfig(const QString &reason);

// Forgets the one configuration and any UseConfigFile or UseBuiltInConfig choice, so the next GetConfig
// loads again. Only for tests: every reference to the old one becomes invalid.
void ResetConfig();
