#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// The help page, and the maker's web page and mail address, opened in the desktop's
// browser and mail client.

// Opens Help.htm from the executable's folder, or from the installed data folder
// (share/folvane beside the program's bin folder) when there is none beside it. Returns false, without a message, when
// the file is missing or the desktop could not open it; the caller decides whether
// to say so.
bool OpenHelp();
// Open the maker's web page, or a new mail to the maker. Return false when the address
// is not set (nothing is opened) or the desktop could not open it.
bool OpenWebPage();
bool OpenMailLink();

// Where OpenHelp looks for the page: HelpFilePathFrom the executable's folder. The
// page beside the program when it is there, else the installed one when that is
// there, else the name beside the program (which is missing).
QString HelpFilePath();
QString HelpFilePathFrom(const QString &executableDir);

// The maker's addresses, fixed when the program is built; empty when not set.
QString WebAddress();
QString MailAddress();

// The URLs the two links open; empty when the address is not set.
QUrl WebPageUrl();
QUrl MailUrl();

// Tests replace the desktop (so no browser starts) and the built-in addresses.
// Passing an empty function, or calling the reset, restores the real ones.
using UrlOpener = std::function<bool(const QUrl &)>;
void SetUrlOpenerForTests(UrlOpener opener);
void SetMakerAddressesForTests(const QString &web, const QString &mail);
void ResetMakerAddressesForTests();
