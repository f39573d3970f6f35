#pragma once

#include "Fixture.h"
#include "TFormMain.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A main window of its own for each test, with a configuration file of its own, time
// and numbers pinned, problems collected instead of shown, and the dialogs that tests
// replace put back afterwards.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes and shows the window (again, after `window.reset()`).
    void openWindow();
    // Scans `folder` as Open Folder does, the picker answering it, and waits for the result.
    void openFolder(const QString &folder);

    QTemporaryDir configDir;
    Fixture fx;
    std::unique_ptr<TFormMain> window;
    QStringList problems;
};
