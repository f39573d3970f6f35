#include "WindowTest.h"

#include "ExportFile.h"
#include "FolderPicker.h"
#include "TConfig.h"

#include <QSignalSpy>
#include <QToolButton>

void WindowTest::SetUp()
{
    ASSERT_TRUE(configDir.isValid());
    ResetConfig();
    UseConfigFile(configDir.filePath(QStringLiteral("FolvaneConfig.xml")));
    UseUtcAndCLocale();
}

void WindowTest::TearDown()
{
    window.reset();
    SetFolderPickerForTests({});
    SetExportFileDialogForTests({});
    SetExportMessageForTests({});
    ResetConfig();
}

void WindowTest::openWindow()
{
    window = std::make_unique<TFormMain>();
    window->showProblem = [this](const QString &problem) { problems << problem; };
    window->show();
}

void WindowTest::openFolder(const QString &folder)
{
    SetFolderPickerForTests([folder](QWidget *, const QString &) { return folder; });
    QSignalSpy shown(window.get(), &TFormMain::scanShown);
    window->btnOpen->click();
    ASSERT_TRUE(shown.count() > 0 || shown.wait(20000));
}
