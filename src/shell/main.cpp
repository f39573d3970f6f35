// folvane: the window.

#include "CatalogText.h"
#include "FolderPath.h"
#include "LargeBlocks.h"
#include "TFormMain.h"
#include "TemporaryFiles.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <exception>

namespace {

// An error that escapes an event handler ends that handler, never the program: it
// is written to standard error and the window goes on.
class FolvaneApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "folvane: %s\n", e.what());
        } catch (...) {
            std::fputs("folvane: an unknown error ended an event handler\n", stderr);
        }
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    CatalogText::AvoidZoneFileChecks();
    KeepLargeBlocksApart();
    // A session that ends, or Ctrl+C in the terminal that started us, while an export
    // writes must not leave its file half written.
    TemporaryFiles::RemoveOnSignals();
    FolvaneApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
#ifdef FOLVANE_APP_ID
    // The installed launcher entry and icon go by this name: the desktop then shows
    // the window under the entry, with the program's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(FOLVANE_APP_ID));
#endif
    // Outside a desktop session (a bare window manager, Xvfb) Qt names no icon theme;
    // the type icons of the lists then come from Adwaita, which the project installs.
    const QString theme = QIcon::themeName();
    if ((theme.isEmpty() || theme == QLatin1String("hicolor"))
        && QFileInfo::exists(QStringLiteral("/usr/share/icons/Adwaita")))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
#ifdef FOLVANE_APP_ID
    // Found in the hicolor theme once installed; a program run from its build folder
    // keeps the desktop's default.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(FOLVANE_APP_ID)));
#endif
    TFormMain window;
    window.show();
    // A folder named on the command line is scanned at once, as if it were dropped,
    // by its exact bytes: Qt's own arguments are text, which a name that is not UTF-8
    // does not survive. Qt has taken its own options out of argv by now.
    if (argc > 1)
        window.ScanPath(AbsoluteFolderBytes(QByteArray(argv[1])));
    return QApplication::exec();
}
