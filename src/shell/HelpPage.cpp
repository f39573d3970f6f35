#include "HelpPage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include <optional>

#ifndef FOLVANE_WEB_ADDRESS
#define FOLVANE_WEB_ADDRESS ""
#endif
#ifndef FOLVANE_MAIL_ADDRESS
#define FOLVANE_MAIL_ADDRESS ""
#endif
// The installed data folder as seen from the installed program's folder.
#ifndef FOLVANE_DATA_FROM_BIN
#define FOLVANE_DATA_FROM_BIN "../share/folvane"
#endif

namespace {

UrlOpener &opener()
{
    static UrlOpener replaced;
    return replaced;
}

struct Addresses
{
    QString web;
    QString mail;
};

std::optional<Addresses> &replacedAddresses()
{
    static std::optional<Addresses> replaced;
    return replaced;
}

bool openUrl(const QUrl &url)
{
    if (const UrlOpener &replaced = opener())
        return replaced(url);
    return QDesktopServices::openUrl(url);
}

} // namespace

QString HelpFilePathFrom(const QString &executableDir)
{
    const QDir folder(executableDir);
    const QString beside = folder.filePath(QStringLiteral("Help.htm"));
    if (QFileInfo(beside).isFile())
        return beside;
    // An installed program lies in bin/, its page in share/folvane/ beside bin/;
    // found from the program's own folder, so an unpacked package finds its own.
    const QString installed =
        QDir::cleanPath(folder.filePath(QStringLiteral(FOLVANE_DATA_FROM_BIN "/Help.htm")));
    return QFileInfo(installed).isFile() ? installed : beside;
}

QString HelpFilePath()
{
    return HelpFilePathFrom(QCoreApplication::applicationDirPath());
}

bool OpenHelp()
{
    const QString path = HelpFilePath();
    // A missing page would only make the browser show its own error page.
    if (!QFileInfo(path).isFile())
        return false;
    return openUrl(QUrl::fromLocalFile(path));
}

QString WebAddress()
{
    if (replacedAddresses())
        return replacedAddresses()->web;
    return QStringLiteral(FOLVANE_WEB_ADDRESS).trimmed();
}

QString MailAddress()
{
    if (replacedAddresses())
        return replacedAddresses()->mail;
    return QStringLiteral(FOLVANE_MAIL_ADDRESS).trimmed();
}

QUrl WebPageUrl()
{
    const QString address = WebAddress();
    // fromUserInput turns "example.org" into an http URL instead of a relative path.
    return address.isEmpty() ? QUrl() : QUrl::fromUserInput(address);
}

QUrl MailUrl()
{
    const QString address = MailAddress();
    return address.isEmpty() ? QUrl() : QUrl(QStringLiteral("mailto:") + address);
}

bool OpenWebPage()
{
    const QUrl url = WebPageUrl();
    return url.isValid() && openUrl(url);
}

bool OpenMailLink()
{
    const QUrl url = MailUrl();
    return url.isValid() && openUrl(url);
}

void SetUrlOpenerForTests(UrlOpener replacement)
{
    opener() = std::move(replacement);
}

void SetMakerAddressesForTests(const QString &web, const QString &mail)
{
    replacedAddresses() = Addresses {web, mail};
}

void ResetMakerAddressesForTests()
{
    replacedAddresses().reset();
}
