// Typed access to the configuration's elements: conversions, reads that complete the
// document, and the list wrappers.

#include "ConfigError.h"
#include "TXMLConfigType.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <sstream>
#include <string>

namespace {

struct Document
{
    explicit Document(const char *text)
    {
        const pugi::xml_parse_result r = xml.load_string(text, pugi::parse_default | pugi::parse_comments);
        EXPECT_TRUE(r) << r.description();
        root = TXMLConfigType(xml);
    }
    std::string text() const
    {
        std::ostringstream out;
        xml.save(out, "", pugi::format_raw | pugi::format_no_declaration);
        return out.str();
    }
    pugi::xml_document xml;
    TXMLConfigType root;
};

// Document holding one node whose Width and Visible carry `text`.
std::string nodeWith(const std::string &text)
{
    return "<config><nodes><node Name=\"a\"/><node Width=\"" + text + "\" Visible=\"" + text
        + "\"/></nodes></config>";
}

std::optional<ConfigError::Kind> failureOf(const std::function<void()> &read)
{
    try {
        read();
    } catch (const ConfigError &e) {
        return e.kind();
    }
    return std::nullopt;
}

TEST(ConfigValues, IntegersRoundFractionsAndMustFit32Bits)
{
    const struct
    {
        const char *text;
        int value;
    } good[] = {
        {"0", 0},
        {"7", 7},
        {"1.0", 1},
        {"3.0", 3},
        {"-5", -5},
        {"+3", 3},
        {" 42 ", 42},
        {"2.49", 2},
        {"1.5", 2},
        {"-1.5", -2},
        {"-0.4", 0},
        {".5", 1},
        {"4.", 4},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"0002147483647.4", INT_MAX},
    };
    for (const auto &c : good) {
        Document d(nodeWith(c.text).c_str());
        EXPECT_EQ(d.root.nodes().node(1).width(), c.value) << '"' << c.text << '"';
    }

    const struct
    {
        const char *text;
        ConfigError::Kind kind;
    } bad[] = {
        {"", ConfigError::Conversion},
        {"  ", ConfigError::Conversion},
        {"abc", ConfigError::Conversion},
        {"12px", ConfigError::Conversion},
        {"1,5", ConfigError::Conversion},
        {"1e3", ConfigError::Conversion},
        {"0x10", ConfigError::Conversion},
        {"-", ConfigError::Conversion},
        {".", ConfigError::Conversion},
        {"1 2", ConfigError::Conversion},
        {"inf", ConfigError::Conversion},
        {"nan", ConfigError::Conversion},
        {"2147483648", ConfigError::Overflow},
        {"-2147483649", ConfigError::Overflow},
        {"2147483647.5", ConfigError::Overflow},
        {"99999999999999999999999", ConfigError::Overflow},
    };
    for (const auto &c : bad) {
        Document d(nodeWith(c.text).c_str());
        EXPECT_EQ(failureOf([&] { d.root.nodes().node(1).width(); }), c.kind) << '"' << c.text << '"';
    }
}

TEST(ConfigValues, BooleansAreTrueFalseInAnyCaseOrNumbers)
{
    const struct
    {
        const char *text;
        bool value;
    } good[] = {
        {"True", true},
        {"true", true},
        {"TRUE", true},
        {"tRuE", true},
        {"False", false},
        {"false", false},
        {"FALSE", false},
        {"0", false},
        {"0.0", false},
        {"-0", false},
        {"1", true},
        {"2", true},
        {"-1", true},
        {"0.4", true},
        {"99999999999", true},
    };
    for (const auto &c : good) {
        Document d(nodeWith(c.text).c_str());
        EXPECT_EQ(d.root.nodes().node(1).visible(), c.value) << '"' << c.text << '"';
    }
    for (const char *text : {"", " ", "yes", "T", "Truee", "on"}) {
        Document d(nodeWith(text).c_str());
        EXPECT_EQ(failureOf([&] { d.root.nodes().node(1).visible(); }), ConfigError::Conversion)
            << '"' << text << '"';
    }
}

TEST(ConfigValues, ConversionMessageNamesElementAttributeAndText)
{
    Document d("<config><nodes><node Width=\"80\"/><node Width=\"12px\" Visible=\"\"/></nodes></config>");
    try {
        d.root.nodes().node(1).width();
        FAIL() << "letters in Width were read";
    } catch (const ConfigError &e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("<node>"), std::string::npos) << m;
        EXPECT_NE(m.find("/config/nodes/node[2]"), std::string::npos) << m;
        EXPECT_NE(m.find("Width"), std::string::npos) << m;
        EXPECT_NE(m.find("\"12px\""), std::string::npos) << m;
    }
    try {
        d.root.nodes().node(1).visible();
        FAIL() << "an empty Visible was read";
    } catch (const ConfigError &e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("Visible"), std::string::npos) << m;
        EXPECT_NE(m.find("empty"), std::string::npos) << m;
    }
    Document big("<config><sizerange><item label=\"2G\" value=\"2147483648\"/></sizerange></config>");
    try {
        big.root.sizerange().values();
        FAIL() << "a size bound beyond 32 bits was read";
    } catch (const ConfigError &e) {
        EXPECT_EQ(e.kind(), ConfigError::Overflow);
        EXPECT_NE(std::string(e.what()).find("2147483648"), std::string::npos) << e.what();
    }
}

TEST(ConfigValues, WritesAreCanonicalAndKeepAttributePlaces)
{
    Document d("<config><nodes><node Name=\"a\" Width=\"1.0\" Visible=\"1\" Extra=\"x\"/></nodes></config>");
    TXMLNodeType node = d.root.nodes().node(0);
    node.setWidth(-7);
    node.setVisible(false);
    node.setReadOnly(true);
    node.setName(QStringLiteral("Größe €"));
    EXPECT_EQ(d.text(),
        "<config><nodes><node Name=\"Größe €\" Width=\"-7\" Visible=\"False\" Extra=\"x\" "
        "ReadOnly=\"True\"/></nodes></config>");
    EXPECT_EQ(node.name(), QStringLiteral("Größe €"));
    EXPECT_EQ(node.width(), -7);
    EXPECT_FALSE(node.visible());
}

TEST(ConfigValues, TextsKeepAnOpeningByteOrderMark)
{
    // U+FEFF at the start of a value is a character of it: a column so named is not
    // "File Size", and writing back what was read leaves the value as it was.
    Document d("<config><nodes><node Name=\"\xef\xbb\xbf"
               "File Size\"/></nodes><agerange><item label=\"\xef\xbb\xbf\xef\xbb\xbfx\"/>"
               "</agerange></config>");
    const QString mark(QChar(0xFEFF));
    TXMLNodeType node = d.root.nodes().node(0);
    EXPECT_EQ(node.name(), mark + QStringLiteral("File Size"));
    EXPECT_EQ(d.root.agerange().labels(), QStringList({mark + mark + u'x'}));
    node.setName(node.name());
    EXPECT_EQ(d.text(),
        "<config><nodes><node Name=\"\xef\xbb\xbf"
        "File Size\"/></nodes><agerange><item label=\"\xef\xbb\xbf\xef\xbb\xbfx\"/>"
        "</agerange></config>");
}

TEST(ConfigValues, ReadsAddWhatIsMissing)
{
    Document d("<config versionNo=\"2\"><frame/></config>");
    EXPECT_EQ(d.root.nodes().count(), 0);
    EXPECT_EQ(d.root.frame().left(), QString());
    EXPECT_EQ(failureOf([&] { d.root.frame().plLeft().col1(); }), ConfigError::Conversion);
    EXPECT_TRUE(d.root.agerange().values().isEmpty());
    EXPECT_TRUE(d.root.sizerange().labels().isEmpty());
    // Children go last in reading order; attributes that could not be read stay, empty.
    EXPECT_EQ(d.text(),
        "<config versionNo=\"2\"><frame left=\"\"><plLeft col1=\"\"/></frame><nodes/>"
        "<agerange/><sizerange/></config>");
    // A second read finds what the first added instead of adding again.
    d.root.nodes();
    d.root.frame().left();
    EXPECT_EQ(d.text(),
        "<config versionNo=\"2\"><frame left=\"\"><plLeft col1=\"\"/></frame><nodes/>"
        "<agerange/><sizerange/></config>");
}

TEST(ConfigValues, ListsCountOnlyTheirItemTag)
{
    Document d("<config><nodes><note/><node Name=\"a\"/><!-- hand note --><node Name=\"b\"/>"
               "<item/></nodes>"
               "<agerange><item label=\"x\" value=\"1\"/><node/><item label=\"y\" value=\"2.0\"/></agerange>"
               "</config>");
    EXPECT_EQ(d.root.nodes().count(), 2);
    EXPECT_EQ(d.root.nodes().names(), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(d.root.nodes().node(1).name(), QStringLiteral("b"));
    EXPECT_EQ(d.root.agerange().count(), 2);
    EXPECT_EQ(d.root.agerange().values(), QList<int>({1, 2}));
    EXPECT_EQ(d.root.agerange().item(1).label(), QStringLiteral("y"));
    for (int outside : {-1, 2, 100}) {
        EXPECT_EQ(failureOf([&] { d.root.nodes().node(outside); }), ConfigError::Index) << outside;
        EXPECT_EQ(failureOf([&] { d.root.agerange().item(outside); }), ConfigError::Index) << outside;
    }
}

TEST(ConfigValues, RootMustBeConfig)
{
    pugi::xml_document xml;
    xml.load_string("<settings><nodes/></settings>");
    EXPECT_EQ(failureOf([&] { TXMLConfigType {xml}; }), ConfigError::Root);
    pugi::xml_document empty;
    EXPECT_EQ(failureOf([&] { TXMLConfigType {empty}; }), ConfigError::Root);
}

} // namespace
