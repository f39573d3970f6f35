// The configuration file's life cycle: first start, saves, hand edits, broken and
// unwritable files, and where the file lives.

#include "TConfig.h"
#include "ConfigFixture.h"
#include "RunAsNobody.h"
#include "XmlConformance.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using ConfigFixture::readBytes;
using ConfigFixture::writeBytes;

namespace {

class TConfigTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString file() const { return dir.filePath(QString::fromLatin1(TConfig::BaseName)); }

    QTemporaryDir dir;
};

// Reads the document back from a fresh parse of the file, as the next start would.
pugi::xml_node rootOfFile(pugi::xml_document &xml, const QString &fileName)
{
    const QByteArray bytes = readBytes(fileName);
    EXPECT_TRUE(
        xml.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default | pugi::parse_comments));
    return xml.document_element();
}

void expectDefaultContent(TConfig &config)
{
    const struct
    {
        const char *name;
        bool visible;
        int index;
        bool defaultExport;
        int width;
        bool readOnly;
        const char *align;
    } columns[] = {
        {"File Name", true, 0, true, 172, true, "left"},
        {"Full Path", true, 1, true, 173, true, "left"},
        {"File Size", true, 2, true, 84, false, "right"},
        {"Size Percentage", true, 3, false, 100, false, "right"},
        {"DOS Name", true, 4, true, 80, true, "left"},
        {"File Ext", true, 5, true, 66, true, "right"},
        {"File Type", false, 6, true, 66, true, "left"},
        {"Description", false, 7, true, 124, true, "left"},
        {"File Name Length", false, 8, false, 100, true, "right"},
        {"Path Name Length", false, 9, false, 100, true, "right"},
        {"Catalog Name", false, 10, true, 80, true, "left"},
        {"Create Time", true, 11, true, 80, true, "left"},
        {"Access Time", true, 12, true, 80, true, "left"},
        {"Write Time", true, 13, true, 80, true, "left"},
        {"File Count", true, 14, true, 80, true, "left"},
    };
    IXMLConfigType &doc = config.Document();
    ASSERT_EQ(doc.nodes().count(), 15);
    for (int i = 0; i < 15; ++i) {
        const auto &c = columns[i];
        const TXMLNodeType node = doc.nodes().node(i);
        EXPECT_EQ(node.name(), QString::fromLatin1(c.name)) << i;
        EXPECT_EQ(node.visible(), c.visible) << i;
        EXPECT_EQ(node.index(), c.index) << i;
        EXPECT_EQ(node.defaultExport(), c.defaultExport) << i;
        EXPECT_EQ(node.width(), c.width) << i;
        EXPECT_EQ(node.readOnly(), c.readOnly) << i;
        EXPECT_EQ(node.align(), QString::fromLatin1(c.align)) << i;
    }
    EXPECT_EQ(doc.agerange().values(), QList<int>({1, 3, 7, 30, 365}));
    EXPECT_EQ(
        doc.agerange().labels(), QStringList({"one day", "three days", "one week", "one month", "one year"}));
    EXPECT_EQ(
        doc.sizerange().values(), QList<int>({10000, 100000, 1000000, 10000000, 100000000, 1000000000}));
    EXPECT_EQ(doc.sizerange().labels(), QStringList({"10KB", "100KB", "1MB", "10MB", "100MB", "1G"}));
    EXPECT_EQ(doc.versionNo(), 2);
    EXPECT_TRUE(doc.frame().max());
    EXPECT_EQ(doc.frame().left(), QStringLiteral("0"));
    EXPECT_EQ(doc.frame().width(), 800);
    EXPECT_EQ(doc.frame().plLeft().col3(), 76);
    EXPECT_EQ(doc.frame().plHint().height(), 262);
}

TEST_F(TConfigTest, FirstStartWritesTheDefaultAndReadsItBack)
{
    TConfig config(file());
    EXPECT_EQ(config.FileName(), file());
    EXPECT_TRUE(config.loadProblem().isEmpty()) << config.loadProblem().toStdString();
    const QByteArray written = readBytes(file());
    EXPECT_EQ(written, TConfig::defaultText());
    EXPECT_TRUE(written.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?><config versionNo=\"2\">"));
    EXPECT_FALSE(written.contains('\n'));
    EXPECT_FALSE(written.contains('\r'));
    expectDefaultContent(config);
}

TEST_F(TConfigTest, SaveDropsTheDeclarationAndKeepsTheContent)
{
    {
        TConfig config(file());
        config.Document().nodes().node(6).setVisible(true);
        config.Save();
    }
    const QByteArray saved = readBytes(file());
    EXPECT_TRUE(saved.startsWith("<config versionNo=\"2\">")) << saved.left(60).constData();
    EXPECT_FALSE(saved.contains("<?xml"));
    // Untouched values are written back as they were, changed ones canonically.
    EXPECT_TRUE(saved.contains("value=\"1.0\""));
    EXPECT_TRUE(saved.contains("<node Name=\"File Type\" Visible=\"True\" Index=\"6\""));

    TConfig again(file());
    EXPECT_TRUE(again.loadProblem().isEmpty());
    EXPECT_TRUE(again.Document().nodes().node(6).visible());
    again.Document().nodes().node(6).setVisible(false);
    expectDefaultContent(again);
}

TEST_F(TConfigTest, MissingOrEmptyListsReadEmptyAndAreWrittenBySave)
{
    const char *files[] = {
        "<config versionNo=\"2\"><nodes/><agerange></agerange><sizerange/></config>",
        "<config versionNo=\"2\"/>",
        "<config versionNo=\"2\"><nodes><column Name=\"x\"/></nodes></config>",
        // A byte order mark, declaration and document type are no well-formedness fault.
        "\xef\xbb\xbf<?xml version=\"1.0\"?>\n<!DOCTYPE config>\n<config versionNo=\"2\"/>",
    };
    for (const char *text : files) {
        writeBytes(file(), text);
        TConfig config(file());
        EXPECT_TRUE(config.loadProblem().isEmpty()) << text;
        EXPECT_EQ(config.Document().nodes().count(), 0) << text;
        EXPECT_TRUE(config.Document().agerange().values().isEmpty()) << text;
        EXPECT_TRUE(config.Document().sizerange().values().isEmpty()) << text;
        config.Save();

        pugi::xml_document xml;
        const pugi::xml_node root = rootOfFile(xml, file());
        for (const char *list : {"nodes", "agerange", "sizerange"})
            EXPECT_TRUE(root.child(list)) << list << " missing after saving " << text;
    }
}

TEST_F(TConfigTest, HandAddedContentSurvivesASave)
{
    writeBytes(file(),
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!DOCTYPE config>\n"
        "<!-- kept by hand -->\n"
        "<config versionNo=\"3\" owner=\"me\">\n"
        "  <theme name=\"dark\"><colour role=\"grid\" rgb=\"#202020\"/>note text</theme>\n"
        "  <nodes>\n"
        "    <node Tip=\"first\" Name=\"File Name\" Width=\"90\" Visible=\"True\" Custom=\"1\"/>\n"
        "    <separator/>\n"
        "  </nodes>\n"
        "  <agerange><item label=\"a\" value=\"1\" unit=\"days\"/></agerange>\n"
        "</config>\n");
    {
        TConfig config(file());
        ASSERT_TRUE(config.loadProblem().isEmpty()) << config.loadProblem().toStdString();
        config.Document().nodes().node(0).setWidth(120);
        config.Save();
    }
    pugi::xml_document xml;
    const pugi::xml_node root = rootOfFile(xml, file());
    EXPECT_STREQ(xml.first_child().value(), " kept by hand ");
    EXPECT_STREQ(root.attribute("versionNo").value(), "3");
    EXPECT_STREQ(root.attribute("owner").value(), "me");
    EXPECT_STREQ(root.child("theme").child("colour").attribute("rgb").value(), "#202020");
    EXPECT_STREQ(root.child("theme").text().get(), "note text");
    EXPECT_TRUE(root.child("nodes").child("separator"));
    EXPECT_STREQ(root.child("agerange").child("item").attribute("unit").value(), "days");

    std::string order;
    for (pugi::xml_attribute a : root.child("nodes").child("node").attributes())
        order += std::string(a.name()) + "=" + a.value() + " ";
    EXPECT_EQ(order, "Tip=first Name=File Name Width=120 Visible=True Custom=1 ");
}

TEST_F(TConfigTest, NonAsciiTextSurvivesSaveAndReload)
{
    const QString label = QStringLiteral("größer als 1 € – 日本語");
    const QString name = QStringLiteral("Ñame ✓");
    {
        TConfig config(file());
        config.Document().sizerange().item(5).setLabel(label);
        config.Document().nodes().node(0).setName(name);
        config.Save();
    }
    EXPECT_TRUE(readBytes(file()).contains(label.toUtf8()));
    TConfig again(file());
    EXPECT_EQ(again.Document().sizerange().item(5).label(), label);
    EXPECT_EQ(again.Document().nodes().node(0).name(), name);

    // A file edited by hand without a declaration is read as UTF-8 as well.
    writeBytes(file(),
        QStringLiteral("<config><agerange><item label=\"%1\" value=\"2\"/></agerange></config>")
            .arg(label)
            .toUtf8());
    TConfig edited(file());
    EXPECT_EQ(edited.Document().agerange().labels(), QStringList({label}));

    // One declared ISO-8859-1 is read as such.
    writeBytes(file(),
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
        "<config><agerange><item label=\"caf\xe9\" value=\"2\"/></agerange></config>");
    TConfig latin(file());
    EXPECT_TRUE(latin.loadProblem().isEmpty()) << latin.loadProblem().toStdString();
    EXPECT_EQ(latin.Document().agerange().labels(), QStringList({QStringLiteral("caf\u00e9")}));
}

TEST_F(TConfigTest, BrokenFileLeavesDefaultsAndABackup)
{
    const struct
    {
        const char *text;
        const char *where;
    } broken[] = {
        {"", ":1: "},
        {"this is not xml", ":1: "},
        {"<config versionNo=\"2\">\n  <nodes>\n    <node Name=\"a\">\n</config>\n", ":4: "},
        {"<config><nodes></config>", ":1: "},
        {"\n\n<settings versionNo=\"2\"><nodes/></settings>", ":3: "},
        {"<?xml version=\"1.0\"?>\n<config versionNo=2/>", ":2: "},
        // An error met at the end of the file is on its last line, not past it.
        {"<config><nodes>\n", ":1: "},
        {"<config>\n<nodes>\n\n", ":3: "},
        // Well-formedness that a lenient parser would let through.
        {"<config versionNo=\"2\"/>\n<config versionNo=\"3\"/>\n", ":2: a second root element <config>"},
        {"<config>\n<nodes>\n<node Name=\"a\" Width=\"1\" Name=\"b\"/></nodes></config>",
            ":3: attribute Name given twice"},
        {"<config versionNo=\"2\" versionNo=\"2\"/>", ":1: attribute versionNo given twice"},
        {"<config>\n<frame a0=\"0\" a1=\"1\" a2=\"2\" a3=\"3\" a4=\"4\" a5=\"5\" a6=\"6\" a7=\"7\" a8=\"8\" "
         "a9=\"9\" a10=\"10\" a11=\"11\" a12=\"12\" a13=\"13\" a14=\"14\" a15=\"15\" a16=\"16\" a17=\"17\" "
         "a18=\"18\" a19=\"19\" a7=\"x\"/></config>",
            ":2: attribute a7 given twice"},
        {"stray text\n<config/>", ":1: text outside"},
        {"<config/>\n<![CDATA[tail]]>\n", ":2: text outside"},
        {"<!-- first -->\n<?xml version=\"1.0\"?><config/>", ":2: the XML declaration"},
        {"<config/>\n<!DOCTYPE config>", ":2: a document type"},
        // What pugixml reads as something else than the file says; a conforming
        // reader refuses each.
        {"<config>\n<frame left=\"1<2\"/></config>", ":2: "},
        {"<config><item label=\"caf\xe9\"/></config>", ":1: "},
        {"<config><item label=\"a &b; c\"/></config>", ":1: "},
        {"<config><item label=\"a & c\"/></config>", ":1: "},
        {"<config><item label=\"bell &#7;\"/></config>", ":1: "},
        {"<config><item label=\"bell \x07\"/></config>", ":1: "},
        {"<?xml version=\"1.0\" encodng=\"utf-8\"?><config/>", ":1: "},
        {"<config n\xc3\x97m=\"1\"/>", ":1: \"n\xc3\x97m\" is not an XML name"},
        // Encodings pugixml does not read (it takes them for UTF-8).
        {"<?xml version=\"1.0\" encoding=\"koi8-r\"?><config><item label=\"\xfa\"/></config>",
            ":1: the encoding \"koi8-r\" is not read"},
        {"<?xml version=\"1.0\" encoding=\"utf-7\"?><config><item label=\"\xfa\"/></config>",
            ":1: the encoding \"utf-7\" is not read"},
    };
    for (const auto &c : broken) {
        QFile::remove(file() + ".bak");
        writeBytes(file(), c.text);
        TConfig config(file());

        const std::string problem = config.loadProblem().toStdString();
        EXPECT_NE(problem.find((file() + c.where).toStdString()), std::string::npos) << problem;
        EXPECT_NE(problem.find(".bak"), std::string::npos) << problem;
        EXPECT_EQ(readBytes(file() + ".bak"), QByteArray(c.text)) << c.text;
        EXPECT_EQ(readBytes(file()), QByteArray(c.text)) << "loading touched the file";
        expectDefaultContent(config);

        config.Save();
        EXPECT_EQ(readBytes(file() + ".bak"), QByteArray(c.text)) << "saving touched the copy";
        TConfig again(file());
        EXPECT_TRUE(again.loadProblem().isEmpty()) << again.loadProblem().toStdString();
    }
}

TEST_F(TConfigTest, UnwritableDefaultLeavesDefaultsInMemory)
{
    const QString missing = dir.filePath("no/such/folder/" + QString::fromLatin1(TConfig::BaseName));
    TConfig config(missing);
    EXPECT_NE(config.loadProblem().indexOf(missing), -1) << config.loadProblem().toStdString();
    expectDefaultContent(config);
    try {
        config.Save();
        FAIL() << "saving into a missing folder reported success";
    } catch (const ConfigError &e) {
        EXPECT_EQ(e.kind(), ConfigError::Io);
        EXPECT_NE(std::string(e.what()).find(missing.toStdString()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(TConfigTest, FailedSaveLeavesTheOldFileIntact)
{
    // Both a folder that takes no new files and a file that may not be replaced.
    const struct
    {
        mode_t folder;
        mode_t file;
    } cases[] = {{0555, 0666}, {0777, 0444}};
    for (const auto &c : cases) {
        QTemporaryDir own;
        ASSERT_TRUE(own.isValid());
        const QString fileName = own.filePath(QString::fromLatin1(TConfig::BaseName));
        const QByteArray before = TConfig::defaultText() + "<!-- tail -->";
        writeBytes(fileName, before);
        ASSERT_EQ(::chmod(QFile::encodeName(fileName).constData(), c.file), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(own.path()).constData(), c.folder), 0);

        const int status = RunAsNobody([&fileName] {
            if (!QFileInfo(fileName).isReadable())
                return ConfigFixture::Unreachable;
            TConfig config(fileName);
            if (!config.loadProblem().isEmpty())
                return 3;
            config.Document().agerange().item(0).setLabel(QStringLiteral("changed"));
            try {
                config.Save();
            } catch (const ConfigError &e) {
                const bool named = std::string(e.what()).find(fileName.toStdString()) != std::string::npos;
                return e.kind() == ConfigError::Io && named ? 0 : 2;
            }
            return 1;
        });
        ::chmod(QFile::encodeName(own.path()).constData(), 0700);
        if (status == -1 || status == ConfigFixture::Unreachable)
            GTEST_SKIP() << "cannot act as an unprivileged user on " << own.path().toStdString();
        EXPECT_EQ(status, 0) << "1: save reported success, 2: wrong error, 3: load failed";
        EXPECT_EQ(readBytes(fileName).toStdString(), before.toStdString());
        EXPECT_EQ(QDir(own.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
            QStringList({QString::fromLatin1(TConfig::BaseName)}))
            << "a temporary file was left behind";
    }
}

TEST_F(TConfigTest, LocationBesideTheExecutableOnlyWhereTheUserMayWrite)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making files of other users needs root";
    constexpr uid_t Root = 0, Nobody = 65534, Other = 12345;
    constexpr int NoFile = -1;
    const struct
    {
        const char *what;
        bool asNobody;
        uid_t folderOwner;
        mode_t folderMode;
        int fileOwner;
        mode_t fileMode;
        bool beside;
    } cases[] = {
        {"root, installed in a system folder", false, Root, 0755, NoFile, 0, false},
        {"root, read-only folder", false, Root, 0555, NoFile, 0, false},
        {"root, its own file is there", false, Root, 0755, Root, 0644, true},
        {"root, its own read-only file", false, Root, 0755, Root, 0444, false},
        {"root, another user's unpacked copy", false, Other, 0755, Other, 0644, false},
        {"user, own folder", true, Nobody, 0755, NoFile, 0, true},
        {"user, own folder with a read-only file", true, Nobody, 0755, Root, 0444, true},
        {"user, own folder closed to writes", true, Nobody, 0555, NoFile, 0, false},
        {"user, a folder anybody may write", true, Root, 0777, NoFile, 0, false},
        {"user, system folder, own file", true, Root, 0755, Nobody, 0644, true},
        {"user, system folder, file anybody may write", true, Root, 0755, Root, 0666, true},
        {"user, system folder, root's file", true, Root, 0755, Root, 0644, false},
    };
    for (const auto &c : cases) {
        QTemporaryDir top;
        ASSERT_TRUE(top.isValid());
        ASSERT_EQ(::chmod(QFile::encodeName(top.path()).constData(), 0755), 0);
        const QString exeDir = top.filePath("bin");
        const QString home = top.filePath("home");
        const QString userDir = home + "/.config/Folvane";
        ASSERT_TRUE(QDir().mkpath(exeDir) && QDir().mkpath(home));
        ASSERT_EQ(::chmod(QFile::encodeName(home).constData(), 0777), 0);
        const QString beside = QDir(exeDir).filePath(QString::fromLatin1(TConfig::BaseName));
        if (c.fileOwner != NoFile) {
            writeBytes(beside, TConfig::defaultText());
            ASSERT_EQ(
                ::chown(QFile::encodeName(beside).constData(), uid_t(c.fileOwner), uid_t(c.fileOwner)), 0);
            ASSERT_EQ(::chmod(QFile::encodeName(beside).constData(), c.fileMode), 0);
        }
        ASSERT_EQ(::chown(QFile::encodeName(exeDir).constData(), c.folderOwner, c.folderOwner), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(exeDir).constData(), c.folderMode), 0);

        const QString expected =
            c.beside ? beside : QDir(userDir).filePath(QString::fromLatin1(TConfig::BaseName));
        const auto body = [&] {
            if (TConfig::locate(exeDir, userDir) != expected)
                return 1;
            return c.beside || QFileInfo(userDir).isDir() ? 0 : 2;
        };
        const int status = c.asNobody ? RunAsNobody(body) : body();
        if (status == -1)
            GTEST_SKIP() << "cannot act as an unprivileged user";
        EXPECT_EQ(status, 0) << c.what << " (1: wrong place, 2: user folder not made)";
        EXPECT_EQ(QFileInfo::exists(beside), c.fileOwner != NoFile) << c.what << ": a file was made beside";
    }
}

TEST_F(TConfigTest, OneConfigForTheWholeProgram)
{
    ResetConfig();
    UseConfigFile(file());
    TConfig &first = GetConfig();
    EXPECT_EQ(&GetConfig(), &first);
    EXPECT_EQ(first.FileName(), file());
    EXPECT_EQ(readBytes(file()), TConfig::defaultText());
    EXPECT_NO_THROW(UseConfigFile(file()));
    EXPECT_THROW(UseConfigFile(dir.filePath("other.xml")), std::logic_error);
    ResetConfig();
    UseConfigFile(dir.filePath("other.xml"));
    EXPECT_EQ(GetConfig().FileName(), dir.filePath("other.xml"));
    ResetConfig();
}

} // namespace

TEST(XmlConformance, AFileThatEndsInsideAUtf8CharacterIsRefused)
{
    const struct
    {
        const char *bytes;
        bool refused;
    } cases[] = {
        {"<config/>\xCD", true},
        {"<config/>\n\xE2\x82", true},
        {"<config>\xE2\x82\xAC</config>", false},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><config>\xCD</config>", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(XmlConformanceFaultOf(QByteArrayView(c.bytes)).has_value(), c.refused) << c.bytes;
}
