// The shell's small windows: wait dialog, About, help and links, folder picker,
// column settings, command icons.

#include "CommandIcons.h"
#include "FolderPicker.h"
#include "HelpPage.h"
#include "TConfig.h"
#include "TFormAbout.h"
#include "TFormConfig.h"
#include "TWaitForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <vector>

namespace {

QLabel *label(QWidget &owner, const char *name)
{
    auto *found = owner.findChild<QLabel *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QPushButton *button(QWidget &owner, const char *name)
{
    auto *found = owner.findChild<QPushButton *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Closes every message box that comes up while it lives and keeps their texts, so a
// test can run code that shows a modal warning and then look at what it said.
class MessageBoxWatch
{
public:
    MessageBoxWatch()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(w);
                if (box && box->isVisible()) {
                    texts.push_back(box->text());
                    box->done(QMessageBox::Ok);
                }
            }
        });
        m_timer.start();
    }

    std::vector<QString> texts;

private:
    QTimer m_timer;
};

// Records the URLs the desktop would have opened, instead of starting a browser.
class OpenerRecorder
{
public:
    explicit OpenerRecorder(bool result = true)
    {
        SetUrlOpenerForTests([this, result](const QUrl &url) {
            opened.push_back(url);
            return result;
        });
    }
    ~OpenerRecorder()
    {
        SetUrlOpenerForTests({});
        ResetMakerAddressesForTests();
    }
    OpenerRecorder(const OpenerRecorder &) = delete;
    OpenerRecorder &operator=(const OpenerRecorder &) = delete;

    std::vector<QUrl> opened;
};

} // namespace

// ---------------------------------------------------------------------------------------
// Wait dialog

TEST(WaitForm, StartsHiddenWithItsTextsAndWithoutCancel)
{
    QWidget owner;
    TWaitForm wait(&owner);
    EXPECT_FALSE(wait.isVisible());
    // Its laid-out size, or wider where the font needs it for the message on one line.
    EXPECT_EQ(wait.height(), 84);
    EXPECT_GE(wait.width(), 376);
    const Qt::WindowFlags flags = wait.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(wait.windowType(), Qt::Tool);
    EXPECT_EQ(wait.windowModality(), Qt::WindowModal);
    EXPECT_EQ(
        label(wait, "Label1")->text(), QStringLiteral("This will take a few minutes.Please be patient..."));
    EXPECT_EQ(label(wait, "Label2")->text(), QStringLiteral("..."));
    EXPECT_EQ(button(wait, "SpeedButton1")->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(button(wait, "SpeedButton1")->isHidden());
    EXPECT_FALSE(wait.isAnimating());

    TWaitForm ownerless;
    EXPECT_EQ(ownerless.windowModality(), Qt::ApplicationModal);
}

TEST(WaitForm, ShowAndHideFollowTheArguments)
{
    QWidget owner;
    TWaitForm wait(&owner);
    QPushButton *cancel = button(wait, "SpeedButton1");

    wait.ShowWait(false, false); // hidden already: nothing happens
    EXPECT_FALSE(wait.isVisible());

    struct Case
    {
        bool cancelVisible;
    };
    for (const Case c : {Case {false}, Case {true}, Case {false}}) {
        wait.ShowWait(true, c.cancelVisible);
        EXPECT_TRUE(wait.isVisible());
        EXPECT_EQ(cancel->isVisible(), c.cancelVisible);
        EXPECT_TRUE(wait.isAnimating());
    }
    // Showing again while up only changes the button.
    wait.ShowWait(true, true);
    EXPECT_TRUE(wait.isVisible());
    EXPECT_TRUE(cancel->isVisible());

    wait.ShowWait(false, true);
    EXPECT_FALSE(wait.isVisible());
    EXPECT_FALSE(wait.isAnimating());
    wait.ShowWait(false, false);
    EXPECT_FALSE(wait.isVisible());
}

TEST(WaitForm, StatusLineIsKeptBetweenUsesAndLongTextsAreElided)
{
    TWaitForm wait;
    QLabel *status = label(wait, "Label2");

    wait.SetWaitText(QStringLiteral("Loading info..")); // while hidden
    EXPECT_EQ(status->text(), QStringLiteral("Loading info.."));
    wait.ShowWait(true, false);
    EXPECT_EQ(status->text(), QStringLiteral("Loading info.."));
    wait.SetWaitText(QStringLiteral("Export to file.."));
    wait.ShowWait(false, false);
    wait.ShowWait(true, false);
    EXPECT_EQ(status->text(), QStringLiteral("Export to file.."));
    EXPECT_TRUE(status->toolTip().isEmpty());

    // A deep folder: the start and the end of the path stay, the middle gives way.
    const QString deep = QStringLiteral("/home/user/") + QStringLiteral("very-long-folder-name/").repeated(20)
        + QStringLiteral("last");
    wait.SetWaitText(deep);
    EXPECT_EQ(wait.waitText(), deep);
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width());
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("/home/")));
    EXPECT_TRUE(status->text().endsWith(QStringLiteral("last")));
    EXPECT_EQ(status->toolTip(), deep);

    wait.SetWaitText(QString());
    EXPECT_EQ(status->text(), QString());
    wait.ShowWait(false, false);
}

TEST(WaitForm, CancelSignalsOnceAndIsArmedAgainByTheNextShowing)
{
    TWaitForm wait;
    QSignalSpy cancelled(&wait, &TWaitForm::cancelRequested);
    QPushButton *cancel = button(wait, "SpeedButton1");

    wait.ShowWait(true, true);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    QTest::mouseClick(cancel, Qt::LeftButton); // disabled: no second request
    EXPECT_EQ(cancelled.count(), 1);

    wait.ShowWait(false, false);
    wait.ShowWait(true, true);
    EXPECT_TRUE(cancel->isEnabled());
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(cancelled.count(), 2);
    wait.ShowWait(false, false);
}

namespace {

// The frame number wraps every FrameCount frames, so a single reading proves nothing:
// the steps are summed from readings taken far more often than a frame lasts, which
// also counts frames past a wrap.
class FrameSteps
{
public:
    explicit FrameSteps(const TWaitForm &wait) : m_wait(wait), m_last(wait.animationFrame()) { }

    // Runs the event loop for about ms milliseconds; the steps taken meanwhile.
    int during(int ms)
    {
        return run(ms, [] { return false; });
    }

    // Runs the event loop until at least wanted steps were taken or ms ran out.
    int until(int wanted, int ms)
    {
        const int start = m_steps;
        return run(ms, [&] { return m_steps - start >= wanted; });
    }

private:
    template <typename Done>
    int run(int ms, Done done)
    {
        const int start = m_steps;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && !done()) {
            QTest::qWait(5);
            const int now = m_wait.animationFrame();
            m_steps += (now - m_last + TWaitForm::FrameCount) % TWaitForm::FrameCount;
            m_last = now;
        }
        return m_steps - start;
    }

    const TWaitForm &m_wait;
    int m_last;
    int m_steps = 0;
};

} // namespace

TEST(WaitForm, AnimatesOnlyWhileVisible)
{
    TWaitForm wait;
    FrameSteps steps(wait);

    // Made hidden at start-up and kept for the program's life: it must not tick meanwhile.
    EXPECT_EQ(steps.during(400), 0);

    for (int use = 0; use < 2; ++use) {
        SCOPED_TRACE(use);
        wait.ShowWait(true, false);
        QElapsedTimer shown;
        shown.start();
        const int advanced = steps.until(5, 5000);
        EXPECT_GE(advanced, 5);
        // A frame every few tens of milliseconds, not a busy loop.
        EXPECT_LE(advanced, shown.elapsed() / 20 + 2);

        wait.ShowWait(false, false);
        EXPECT_EQ(steps.during(400), 0);
    }
}

TEST(WaitForm, CentredOverTheMainWindowWhichTakesNoInputMeanwhile)
{
    QWidget owner;
    owner.setGeometry(100, 120, 800, 500);
    auto *ownerButton = new QPushButton(QStringLiteral("Open"), &owner);
    ownerButton->setGeometry(10, 10, 100, 30);
    QSignalSpy clicked(ownerButton, &QPushButton::clicked);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));

    TWaitForm wait(&owner);
    wait.ShowWait(true, false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wait));
    const QPoint offset = wait.frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);

    // Through the window system, where a modal window blocks the windows below it.
    const auto clickOwnerButton = [&] {
        QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, ownerButton->geometry().center());
        QCoreApplication::processEvents();
    };
    clickOwnerButton();
    EXPECT_EQ(clicked.count(), 0);

    wait.ShowWait(false, false);
    clickOwnerButton();
    EXPECT_EQ(clicked.count(), 1);
}

// ---------------------------------------------------------------------------------------
// About dialog and links

TEST(FormAbout, ShowsNameInBoldAndItsFixedTexts)
{
    TFormAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Folvane"));
    EXPECT_EQ(about.size(), QSize(292, 152));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    QLabel *name = label(about, "Label1");
    name->setText(QStringLiteral("something else"));
    about.show();
    EXPECT_EQ(name->text(), QStringLiteral("Folvane 2.3"));
    EXPECT_TRUE(name->font().bold());
    EXPECT_FALSE(label(about, "Label2")->text().isEmpty());
    EXPECT_EQ(label(about, "Label4")->text(), QStringLiteral("Web: "));
    EXPECT_EQ(label(about, "Label6")->text(), QStringLiteral("Email: "));
    about.close();
}

TEST(FormAbout, UnsetAddressesPointNowhere)
{
    OpenerRecorder desktop;
    SetMakerAddressesForTests(QString(), QString());
    TFormAbout about;
    for (const char *name : {"Label5", "Label7"}) {
        QLabel *link = label(about, name);
        EXPECT_EQ(link->text(), QStringLiteral("not set")) << name;
        EXPECT_FALSE(link->isEnabled()) << name;
        EXPECT_EQ(link->textFormat(), Qt::PlainText) << name;
    }
    about.Label5Click();
    about.Label7Click();
    EXPECT_FALSE(OpenWebPage());
    EXPECT_FALSE(OpenMailLink());
    EXPECT_TRUE(desktop.opened.empty());
}

TEST(FormAbout, LinksOpenTheMakersAddressesThroughTheDesktop)
{
    OpenerRecorder desktop;
    SetMakerAddressesForTests(QStringLiteral("example.org/folvane"), QStringLiteral("team@example.org"));
    TFormAbout about;
    QLabel *web = label(about, "Label5");
    QLabel *mail = label(about, "Label7");
    EXPECT_TRUE(web->isEnabled());
    EXPECT_TRUE(web->text().contains(QStringLiteral(">example.org/folvane</a>")));
    EXPECT_TRUE(mail->text().contains(QStringLiteral(">team@example.org</a>")));

    emit web->linkActivated(QStringLiteral("ignored"));
    emit mail->linkActivated(QStringLiteral("ignored"));
    ASSERT_EQ(desktop.opened.size(), 2u);
    EXPECT_EQ(desktop.opened[0], QUrl(QStringLiteral("http://example.org/folvane")));
    EXPECT_EQ(desktop.opened[1], QUrl(QStringLiteral("mailto:team@example.org")));
}

TEST(FormAbout, AddressTextIsShownAsTextNotMarkup)
{
    OpenerRecorder desktop;
    SetMakerAddressesForTests(
        QStringLiteral("https://example.org/?a=1&b=<2>"), QStringLiteral("a&b@example.org"));
    TFormAbout about;
    EXPECT_TRUE(label(about, "Label5")->text().contains(QStringLiteral("&amp;b=&lt;2&gt;</a>")));
    EXPECT_TRUE(label(about, "Label7")->text().contains(QStringLiteral(">a&amp;b@example.org</a>")));
}

TEST(HelpPage, WebAndMailUrls)
{
    struct Case
    {
        QString web;
        QString mail;
        QUrl webUrl;
        QUrl mailUrl;
    };
    const Case cases[] = {
        {QStringLiteral("https://example.org/folvane"), QStringLiteral("team@example.org"),
            QUrl(QStringLiteral("https://example.org/folvane")),
            QUrl(QStringLiteral("mailto:team@example.org"))},
        {QStringLiteral("www.example.org"), QStringLiteral("x@y.z"),
            QUrl(QStringLiteral("http://www.example.org")), QUrl(QStringLiteral("mailto:x@y.z"))},
        {QString(), QString(), QUrl(), QUrl()},
    };
    for (const Case &c : cases) {
        OpenerRecorder desktop;
        SetMakerAddressesForTests(c.web, c.mail);
        EXPECT_EQ(WebPageUrl(), c.webUrl) << c.web.toStdString();
        EXPECT_EQ(MailUrl(), c.mailUrl) << c.mail.toStdString();
        EXPECT_EQ(OpenWebPage(), !c.web.isEmpty());
        EXPECT_EQ(OpenMailLink(), !c.mail.isEmpty());
        EXPECT_EQ(desktop.opened.size(), std::size_t(c.web.isEmpty() ? 0 : 2));
    }
}

TEST(HelpPage, OpensTheFileBesideTheExecutableOnlyWhenItIsThere)
{
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Help.htm"));
    ASSERT_EQ(HelpFilePath(), path);
    const bool wasThere = QFile::exists(path);

    if (!wasThere) {
        OpenerRecorder desktop;
        EXPECT_FALSE(OpenHelp());
        EXPECT_TRUE(desktop.opened.empty());
        QFile page(path);
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<!DOCTYPE html><title>t</title>");
    }
    {
        OpenerRecorder desktop;
        EXPECT_TRUE(OpenHelp());
        ASSERT_EQ(desktop.opened.size(), 1u);
        EXPECT_EQ(desktop.opened[0], QUrl::fromLocalFile(path));
        EXPECT_TRUE(desktop.opened[0].isLocalFile());
    }
    {
        OpenerRecorder failingDesktop(false); // no browser
        EXPECT_FALSE(OpenHelp());
    }
    if (!wasThere)
        QFile::remove(path);
}

TEST(HelpPage, AnInstalledProgramFindsThePageInItsDataFolder)
{
    // An installed tree: bin/ for the program, share/folvane/ for the page.
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString bin = root.filePath(QStringLiteral("bin"));
    const QString beside = bin + QStringLiteral("/Help.htm");
    const QString installed = root.filePath(QStringLiteral("share/folvane/Help.htm"));
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("share/folvane"))));
    const auto put = [](const QString &path) {
        QFile page(path);
        return page.open(QIODevice::WriteOnly) && page.write("<!DOCTYPE html><title>t</title>") > 0;
    };

    EXPECT_EQ(HelpFilePathFrom(bin), beside) << "neither: the missing page beside the program";
    ASSERT_TRUE(put(installed));
    EXPECT_EQ(HelpFilePathFrom(bin), installed);
    ASSERT_TRUE(put(beside));
    EXPECT_EQ(HelpFilePathFrom(bin), beside) << "a build or unpack folder's own page comes first";
    ASSERT_TRUE(QFile::remove(beside));
    ASSERT_TRUE(QDir().mkpath(beside)); // a folder of that name is no page
    EXPECT_EQ(HelpFilePathFrom(bin), installed);
}

// ---------------------------------------------------------------------------------------
// Folder picker

TEST(FolderPicker, ReturnsTheChosenFolderWithoutTrailingSeparatorExceptAtTheRoot)
{
    struct Case
    {
        QString chosen;
        QString expected;
    };
    const Case cases[] = {
        {QString(), QString()}, // cancelled
        {QStringLiteral("/"), QStringLiteral("/")},
        {QStringLiteral("//"), QStringLiteral("/")},
        {QStringLiteral("/a/b/"), QStringLiteral("/a/b")},
        {QStringLiteral("/a/b"), QStringLiteral("/a/b")},
        {QStringLiteral("/a//b/./c/"), QStringLiteral("/a/b/c")},
        {QStringLiteral("/home/user/Mes documents/"), QStringLiteral("/home/user/Mes documents")},
    };
    QWidget owner;
    for (const Case &c : cases) {
        QWidget *seenParent = nullptr;
        QString seenTitle = QStringLiteral("unset");
        SetFolderPickerForTests([&](QWidget *parent, const QString &title) {
            seenParent = parent;
            seenTitle = title;
            return c.chosen;
        });
        EXPECT_EQ(ChooseFolder(&owner, QString()), c.expected) << c.chosen.toStdString();
        EXPECT_EQ(seenParent, &owner);
        EXPECT_EQ(seenTitle, QString());
        EXPECT_EQ(NormaliseFolderPath(c.chosen), c.expected);
    }
    SetFolderPickerForTests({});
}

// ---------------------------------------------------------------------------------------
// Column settings dialog

class FormConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetConfig();
        ASSERT_TRUE(m_temp.isValid());
        ASSERT_TRUE(QDir(m_temp.path()).mkdir(QStringLiteral("conf")));
        m_folder = m_temp.filePath(QStringLiteral("conf"));
        m_file = QDir(m_folder).filePath(QString::fromLatin1(TConfig::BaseName));
    }

    void TearDown() override { ResetConfig(); }

    void useConfig(const QByteArray &nodes)
    {
        writeFile(QByteArray("<config versionNo=\"2\">\n<nodes>\n") + nodes + "</nodes>\n</config>\n");
        UseConfigFile(m_file);
        ASSERT_TRUE(GetConfig().loadProblem().isEmpty()) << GetConfig().loadProblem().toStdString();
    }

    void writeFile(const QByteArray &bytes)
    {
        QFile f(m_file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QByteArray fileBytes() const
    {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Visible of every entry as the file holds it: the configuration read afresh.
    std::vector<QString> visibleInFile()
    {
        ResetConfig();
        UseConfigFile(m_file);
        std::vector<QString> values;
        TXMLNodesType nodes = GetConfig().Document().nodes();
        for (int i = 0; i < nodes.count(); ++i)
            values.push_back(QString::fromUtf8(nodes.node(i).element().attribute("Visible").value()));
        return values;
    }

    static QListWidget *list(TFormConfig &dialog)
    {
        return dialog.findChild<QListWidget *>(QStringLiteral("clbList"));
    }

    static std::vector<Qt::CheckState> checks(TFormConfig &dialog)
    {
        std::vector<Qt::CheckState> states;
        for (int i = 0; i < list(dialog)->count(); ++i)
            states.push_back(list(dialog)->item(i)->checkState());
        return states;
    }

    static const QByteArray ThreeColumns;

    QTemporaryDir m_temp;
    QString m_folder;
    QString m_file;
};

const QByteArray FormConfigTest::ThreeColumns =
    "<node Name=\"Name\" Visible=\"True\" Index=\"0\" Width=\"200\"/>\n"
    "<node Name=\"Size\" Visible=\"False\" Index=\"1\" Width=\"80\"/>\n"
    "<node Name=\"\" Visible=\"1\" Index=\"2\" Width=\"60\"/>\n";

TEST_F(FormConfigTest, ListsEveryEntryInCatalogueOrderWithItsVisibleFlag)
{
    useConfig(ThreeColumns);
    TFormConfig dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Config visible columns"));
    EXPECT_EQ(dialog.size(), QSize(217, 280));
    EXPECT_EQ(dialog.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
        QStringLiteral("Config visible columns:"));
    EXPECT_EQ(button(dialog, "BitBtn1")->text(), QStringLiteral("&OK"));
    EXPECT_EQ(button(dialog, "BitBtn2")->text(), QStringLiteral("&Cancel"));
    for (const char *name : {"BitBtn1", "BitBtn2"}) {
        EXPECT_FALSE(button(dialog, name)->isDefault()) << name;
        EXPECT_FALSE(button(dialog, name)->autoDefault()) << name;
    }

    dialog.show();
    // The entries, then the column the list lacks, offered unchecked.
    ASSERT_EQ(list(dialog)->count(), 4);
    EXPECT_EQ(list(dialog)->item(0)->text(), QStringLiteral("Name"));
    EXPECT_EQ(list(dialog)->item(1)->text(), QStringLiteral("Size"));
    EXPECT_EQ(list(dialog)->item(2)->text(), QString());
    EXPECT_EQ(list(dialog)->item(3)->text(), QStringLiteral("Disk Usage"));
    EXPECT_EQ(checks(dialog),
        (std::vector<Qt::CheckState> {Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
    EXPECT_EQ(list(dialog)->visualItemRect(list(dialog)->item(0)).height(), 18);
    EXPECT_TRUE(dialog.loadProblems().isEmpty());

    // Every showing reads the document in memory afresh.
    GetConfig().Document().nodes().node(0).setVisible(false);
    dialog.hide();
    dialog.show();
    EXPECT_EQ(checks(dialog),
        (std::vector<Qt::CheckState> {Qt::Unchecked, Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
    dialog.hide();
}

TEST_F(FormConfigTest, OkWritesTheChecksAndSaves)
{
    useConfig(ThreeColumns);
    TFormConfig dialog;
    dialog.show();
    list(dialog)->item(0)->setCheckState(Qt::Unchecked);
    list(dialog)->item(1)->setCheckState(Qt::Checked);
    QTest::mouseClick(button(dialog, "BitBtn1"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(GetConfig().Document().nodes().node(0).visible());
    EXPECT_TRUE(GetConfig().Document().nodes().node(1).visible());
    EXPECT_EQ(visibleInFile(), (std::vector<QString> {"False", "True", "True"}));
}

// A column the list lacks (Disk Usage) is offered once: checked, it joins the end of
// the list, shown, with the attributes the program gives it; left unchecked, or not
// saved, it leaves the list as it was; once listed, it is not offered again.
TEST_F(FormConfigTest, OffersAColumnTheListLacksAndAddsItWhenChecked)
{
    useConfig(ThreeColumns);
    {
        TFormConfig dialog;
        dialog.show();
        dialog.BitBtn1Click(); // unchecked: nothing joins
        EXPECT_EQ(GetConfig().Document().nodes().count(), 3);
    }
    {
        TFormConfig dialog;
        dialog.show();
        list(dialog)->item(3)->setCheckState(Qt::Checked);
        ASSERT_TRUE(QDir(m_folder).removeRecursively());
        {
            MessageBoxWatch boxes;
            dialog.BitBtn1Click();
            EXPECT_EQ(boxes.texts.size(), 1u);
        }
        EXPECT_EQ(GetConfig().Document().nodes().count(), 3); // a failed save adds nothing
        ASSERT_TRUE(QDir().mkpath(m_folder));
        dialog.BitBtn1Click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(visibleInFile(), (std::vector<QString> {"True", "False", "True", "True"}));
    const TXMLNodeType added = GetConfig().Document().nodes().node(3);
    EXPECT_EQ(added.name(), QStringLiteral("Disk Usage"));
    EXPECT_EQ(added.index(), 3);
    EXPECT_EQ(added.width(), 84);
    EXPECT_EQ(added.align(), QStringLiteral("right"));
    EXPECT_TRUE(added.defaultExport());

    TFormConfig again;
    again.show();
    EXPECT_EQ(list(again)->count(), 4);
    EXPECT_EQ(list(again)->item(3)->checkState(), Qt::Checked);
}

TEST_F(FormConfigTest, OkWithoutChangesOrEntriesStillRewritesTheFile)
{
    for (const QByteArray &nodes : {ThreeColumns, QByteArray()}) {
        ResetConfig();
        useConfig(nodes);
        const QByteArray before = fileBytes();
        TFormConfig dialog;
        dialog.show();
        EXPECT_EQ(list(dialog)->count(), GetConfig().Document().nodes().count() + 1); // and Disk Usage
        writeFile("<config/>"); // so the rewrite shows
        dialog.BitBtn1Click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_NE(fileBytes(), QByteArray("<config/>"));
        EXPECT_EQ(fileBytes().count("<node "), before.count("<node "));
    }
}

TEST_F(FormConfigTest, CancelCloseBoxEscAndEnterChangeNothing)
{
    useConfig(ThreeColumns);
    const QByteArray before = fileBytes();
    enum Way {
        CancelButton,
        CloseBox
    };
    for (const Way way : {CancelButton, CloseBox}) {
        TFormConfig dialog;
        dialog.show();
        list(dialog)->item(0)->setCheckState(Qt::Unchecked);

        // Neither key ends the dialog.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Return);
        QTest::keyClick(&dialog, Qt::Key_Enter);
        EXPECT_TRUE(dialog.isVisible());

        if (way == CancelButton)
            QTest::mouseClick(button(dialog, "BitBtn2"), Qt::LeftButton);
        else
            dialog.close();
        EXPECT_FALSE(dialog.isVisible()) << way;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << way;
        EXPECT_TRUE(GetConfig().Document().nodes().node(0).visible()) << way;
        EXPECT_EQ(fileBytes(), before) << way;
    }
}

TEST_F(FormConfigTest, FailedSaveSaysWhyAndKeepsTheDialogOpenUntilOkSucceeds)
{
    useConfig(ThreeColumns);
    TFormConfig dialog;
    dialog.show();
    list(dialog)->item(1)->setCheckState(Qt::Checked);
    ASSERT_TRUE(QDir(m_folder).removeRecursively()); // the folder is gone: nothing can be written there

    {
        MessageBoxWatch boxes;
        QTest::mouseClick(button(dialog, "BitBtn1"), Qt::LeftButton);
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_TRUE(boxes.texts[0].contains(m_file)) << boxes.texts[0].toStdString();
        EXPECT_TRUE(boxes.texts[0].contains(QStringLiteral("No such file or directory")))
            << boxes.texts[0].toStdString();
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    // The document keeps what the lists show until a save works: a Cancel now would
    // leave lists and exports agreeing.
    EXPECT_FALSE(GetConfig().Document().nodes().node(1).visible());

    ASSERT_TRUE(QDir().mkpath(m_folder));
    {
        MessageBoxWatch boxes;
        dialog.BitBtn1Click();
        EXPECT_TRUE(boxes.texts.empty());
    }
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(visibleInFile(), (std::vector<QString> {"True", "True", "True"}));
}

TEST_F(FormConfigTest, UnreadableVisibleIsReportedAndLeftAsItIsUnlessChanged)
{
    useConfig("<node Name=\"Name\" Visible=\"True\"/>\n"
              "<node Name=\"Size\" Visible=\"perhaps\"/>\n"
              "<node Name=\"Type\" Visible=\"\"/>\n"
              "<node Name=\"Path\" Visible=\"False\"/>\n");
    {
        TFormConfig dialog;
        MessageBoxWatch boxes;
        dialog.show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.texts.empty(); }, 2000));
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_TRUE(boxes.texts[0].contains(QStringLiteral("\"perhaps\""))) << boxes.texts[0].toStdString();
        EXPECT_TRUE(boxes.texts[0].contains(m_file));
        EXPECT_EQ(dialog.loadProblems().size(), 2);
        EXPECT_EQ(checks(dialog),
            (std::vector<Qt::CheckState> {
                Qt::Checked, Qt::PartiallyChecked, Qt::PartiallyChecked, Qt::Unchecked, Qt::Unchecked}));
        list(dialog)->item(2)->setCheckState(Qt::Checked); // the user decides for "Type"
        dialog.BitBtn1Click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(visibleInFile(), (std::vector<QString> {"True", "perhaps", "True", "False"}));
}

// ---------------------------------------------------------------------------------------
// Command icons

TEST(CommandIcons, EveryCommandHasItsOwnIconReadableAtToolBarAndTabSizes)
{
    std::vector<QImage> drawn;
    for (int i = 0; i < CommandCount; ++i) {
        const QIcon icon = CommandIcon(Command(i));
        ASSERT_FALSE(icon.isNull()) << i;
        for (const int size : {16, 32}) {
            const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(size, size)) << i;
            int opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            // Neither blank nor a filled square.
            EXPECT_GT(opaque, size * size / 8) << "command " << i << " at " << size;
            EXPECT_LT(opaque, size * size) << "command " << i << " at " << size;
            if (size == 32)
                drawn.push_back(image);
        }
        // The same icon wherever it is asked for.
        EXPECT_EQ(CommandIcon(Command(i)).cacheKey(), icon.cacheKey());
    }
    for (std::size_t a = 0; a < drawn.size(); ++a)
        for (std::size_t b = a + 1; b < drawn.size(); ++b)
            EXPECT_NE(drawn[a], drawn[b]) << "commands " << a << " and " << b << " look the same";
}

TEST(CommandIcons, AreDrawnAtTheScreensDevicePixels)
{
    // Tool bar and tab sizes at scale 1.5 and 2: each pixmap is drawn at the device
    // size, not the scale-1 picture blown up.
    const struct
    {
        int logical;
        qreal ratio;
    } cases[] = {{32, 2.0}, {16, 2.0}, {32, 1.5}, {16, 1.5}, {28, 1.75}};
    for (int i = 0; i < CommandCount; ++i) {
        const QIcon icon = CommandIcon(Command(i));
        for (const auto &c : cases) {
            const int device = qRound(c.logical * c.ratio);
            const QPixmap scaled = icon.pixmap(QSize(c.logical, c.logical), c.ratio);
            ASSERT_EQ(scaled.size(), QSize(device, device)) << i << " at " << c.logical << "x" << c.ratio;
            EXPECT_EQ(scaled.devicePixelRatio(), c.ratio);
            const QImage blownUp =
                icon.pixmap(QSize(c.logical, c.logical), 1.0)
                    .toImage()
                    .scaled(device, device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            EXPECT_NE(scaled.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                blownUp.convertToFormat(QImage::Format_ARGB32_Premultiplied))
                << i << " at " << c.logical << "x" << c.ratio;
        }
        // A disabled button shows it otherwise.
        EXPECT_NE(icon.pixmap(QSize(32, 32), 2.0, QIcon::Disabled).toImage(),
            icon.pixmap(QSize(32, 32), 2.0).toImage())
            << i;
    }
}
