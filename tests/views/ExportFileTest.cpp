// The file choice of the exports and the chart bitmap: the dialog's settings, the
// overwrite question, the written BMP, and what the user is told.

#include "ExportFile.h"

#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPieSeries>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <sys/mount.h>
#include <vector>

namespace {

struct DialogCall
{
    QString defaultSuffix, nameFilter, initialName;
};

struct Message
{
    QMessageBox::Icon icon;
    QString caption, text;
};

// Stands in for the modal dialog, question and message boxes while it lives.
class ExportFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetExportFileDialogForTests(
            [this](QWidget *, const QString &suffix, const QString &filter, const QString &initial) {
                dialogCalls.push_back(DialogCall {suffix, filter, initial});
                return chosen;
            });
        SetOverwriteQuestionForTests([this](const QString &path) {
            asked.push_back(path);
            return answer;
        });
        SetExportMessageForTests([this](QMessageBox::Icon icon, const QString &caption, const QString &text) {
            messages.push_back(Message {icon, caption, text});
        });
    }
    void TearDown() override
    {
        SetExportFileDialogForTests({});
        SetOverwriteQuestionForTests({});
        SetExportMessageForTests({});
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    static void write(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray contents(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString chosen;
    bool answer = true;
    std::vector<DialogCall> dialogCalls;
    std::vector<QString> asked;
    std::vector<Message> messages;
};

TEST_F(ExportFileTest, NameFiltersInQtForm)
{
    struct Case
    {
        const char *filter, *expected;
    };
    const Case cases[] = {
        {"BMP File|*.bmp", "BMP File (*.bmp)"},
        {"XML File|*.XML", "XML File (*.XML)"},
        {"HTML File|*.htm;*.html", "HTML File (*.htm *.html)"},
        {"Text File|*.txt|All|*", "Text File (*.txt);;All (*)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ExportNameFilter(QLatin1String(c.filter)), QLatin1String(c.expected)) << c.filter;
}

TEST_F(ExportFileTest, ChoiceOfANewFileAsksNothing)
{
    chosen = path(QStringLiteral("chart.bmp"));
    EXPECT_EQ(ChooseExportFile(nullptr, QStringLiteral(".bmp"), QStringLiteral("BMP File|*.bmp")), chosen);
    ASSERT_EQ(dialogCalls.size(), 1u);
    EXPECT_EQ(dialogCalls[0].defaultSuffix, QStringLiteral("bmp"));
    EXPECT_EQ(dialogCalls[0].nameFilter, QStringLiteral("BMP File (*.bmp)"));
    EXPECT_EQ(dialogCalls[0].initialName, QString());
    EXPECT_TRUE(asked.empty());

    ChooseExportFile(
        nullptr, QStringLiteral(".csv"), QStringLiteral("CSV File|*.csv"), QStringLiteral("list"));
    EXPECT_EQ(dialogCalls.back().initialName, QStringLiteral("list"));
}

TEST_F(ExportFileTest, CancelledDialogChoosesNothing)
{
    chosen.clear();
    EXPECT_EQ(ChooseExportFile(nullptr, QStringLiteral(".bmp"), QStringLiteral("BMP File|*.bmp")), QString());
    EXPECT_TRUE(asked.empty());
}

TEST_F(ExportFileTest, NameWithoutDotGetsTheExtensionBeforeTheQuestion)
{
    write(path(QStringLiteral("report.htm")), "old");
    chosen = path(QStringLiteral("report"));
    EXPECT_EQ(ChooseExportFile(nullptr, QStringLiteral(".htm"), QStringLiteral("HTML File|*.htm")),
        path(QStringLiteral("report.htm")));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], path(QStringLiteral("report.htm")));

    chosen = path(QStringLiteral("report.v2.txt")); // a dot anywhere keeps the name
    EXPECT_EQ(ChooseExportFile(nullptr, QStringLiteral(".htm"), QStringLiteral("HTML File|*.htm")), chosen);
}

TEST_F(ExportFileTest, ExistingFileIsAskedAboutAndNeverDeleted)
{
    chosen = path(QStringLiteral("chart.bmp"));
    write(chosen, "old chart");
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        answer = yes;
        asked.clear();
        EXPECT_EQ(ChooseExportFile(nullptr, QStringLiteral(".bmp"), QStringLiteral("BMP File|*.bmp")),
            yes ? chosen : QString());
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], chosen);
        // The writer replaces it when the new file is complete; until then it stays.
        EXPECT_EQ(contents(chosen), QByteArray("old chart"));
    }

    // A link to nothing would be written through: it is asked about too.
    const QString link = path(QStringLiteral("dangling.bmp"));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("nowhere.bmp")), link));
    chosen = link;
    answer = false;
    asked.clear();
    EXPECT_EQ(ChooseExportFile(nullptr, QStringLiteral(".bmp"), QStringLiteral("BMP File|*.bmp")), QString());
    EXPECT_EQ(asked.size(), 1u);
}

class SaveChartTest : public ExportFileTest
{
protected:
    void SetUp() override
    {
        ExportFileTest::SetUp();
        auto *chart = new QChart;
        auto *series = new QPieSeries;
        series->append(QStringLiteral("a"), 1);
        series->append(QStringLiteral("b"), 2);
        chart->addSeries(series);
        view = std::make_unique<QChartView>(chart);
        view->resize(320, 200);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    bool finished() const
    {
        return std::any_of(messages.cbegin(), messages.cend(),
            [](const Message &m) { return m.text == QStringLiteral("Export Finished"); });
    }

    std::unique_ptr<QChartView> view;
};

TEST_F(SaveChartTest, WritesABmpOfTheViewsSizeOnWhite)
{
    chosen = path(QStringLiteral("chart"));
    SaveChart(nullptr, view.get());

    ASSERT_EQ(dialogCalls.size(), 1u);
    EXPECT_EQ(dialogCalls[0].defaultSuffix, QStringLiteral("bmp"));
    EXPECT_EQ(dialogCalls[0].nameFilter, QStringLiteral("BMP File (*.bmp)"));
    const QString written = path(QStringLiteral("chart.bmp"));
    QImageReader reader(written);
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(image.size(), QSize(320, 200));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white)); // the corner holds no slice
    EXPECT_NE(image.pixelColor(160, 100), QColor(Qt::white)); // the middle does

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Export Finished"));
    EXPECT_EQ(messages[0].caption, QStringLiteral("Done"));
    EXPECT_EQ(messages[0].icon, QMessageBox::NoIcon);
    // Nothing but the bitmap is left in the folder: no temporary file.
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("chart.bmp")});
}

TEST_F(SaveChartTest, ReplacesAnExistingFileOnlyWhenTheUserSaysYes)
{
    chosen = path(QStringLiteral("chart.bmp"));
    write(chosen, "old chart");

    answer = false;
    SaveChart(nullptr, view.get());
    EXPECT_EQ(contents(chosen), QByteArray("old chart"));
    EXPECT_TRUE(messages.empty());

    answer = true;
    SaveChart(nullptr, view.get());
    EXPECT_EQ(QImage(chosen).size(), QSize(320, 200));
    EXPECT_TRUE(finished());
}

TEST_F(SaveChartTest, CancelledChoiceWritesAndSaysNothing)
{
    chosen.clear();
    SaveChart(nullptr, view.get());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(SaveChartTest, FailureIsSaidWithFileAndReasonAndNotAsFinished)
{
    chosen = path(QStringLiteral("no such folder/chart.bmp"));
    SaveChart(nullptr, view.get());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(messages[0].text.contains(chosen)) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("No such file or directory")))
        << messages[0].text.toStdString();
    EXPECT_FALSE(finished());

    // A folder where the file should be is not replaced.
    chosen = path(QStringLiteral("folder.bmp"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.bmp")));
    messages.clear();
    SaveChart(nullptr, view.get());
    EXPECT_TRUE(QFileInfo(chosen).isDir());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(finished());
}

TEST_F(SaveChartTest, UnwritableFolderKeepsTheOldFile)
{
    // A folder no one may write, root included, holding the earlier bitmap: a file
    // system mounted read-only after the bitmap was put there. (Dropping privileges
    // in a forked child is no way here: other tests leave Qt's threads running, and
    // a child of a threaded process may hang on a lock one of them held.)
    const QByteArray folder = QFile::encodeName(dir.path()) + "/ro";
    ASSERT_TRUE(QDir().mkpath(QString::fromUtf8(folder)));
    if (::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a file system here";
    chosen = QString::fromUtf8(folder) + QStringLiteral("/chart.bmp");
    write(chosen, "old chart");
    const bool readOnly =
        ::mount("tmpfs", folder.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
    const bool written = readOnly && WriteExportFile(nullptr, chosen, ChartBitmap(view.get()));
    const QByteArray after = contents(chosen);
    const QStringList left = QDir(QString::fromUtf8(folder)).entryList(QDir::Files | QDir::Hidden);
    ::umount(folder.constData());
    if (!readOnly)
        GTEST_SKIP() << "cannot mount a file system read-only here";

    EXPECT_FALSE(written);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(messages[0].text.contains(chosen)) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Read-only file system")))
        << messages[0].text.toStdString();
    EXPECT_FALSE(finished());
    EXPECT_EQ(after, QByteArray("old chart"));
    EXPECT_EQ(left, QStringList {QStringLiteral("chart.bmp")});
}

} // namespace
