#include "core/xml/VXXmlUtils.h"

#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/VXFile.h"
#include "core/xml/VXApplicationInterface.h"
#include "core/xml/VXXmlTestProbe.h"
#include "engine/ffgl/VXVexkit.h"
#include "support/VXFileSizeLimit.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

namespace
{
    using namespace vx;
    using test::Probe;

    const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

    class RecordingApplication : public ApplicationInterface
    {
    public:
        int getMajorVersion() override { return 2; }
        int getMinorVersion() override { return 5; }
        int getMicroVersion() override { return 1; }
        int getRevision() override { return 1234; }
        std::string getApplicationName() override { return "Host & Co"; }

        // Each question as "major.minor.micro.revision flags", flags as 0 and 1.
        bool isVersionCompatible(int major, int minor, int micro, int revision, bool a, bool b, bool c) override
        {
            asked.push_back(std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro) + "." +
                            std::to_string(revision) + " " + std::to_string(a) + std::to_string(b) + std::to_string(c));
            return answer;
        }

        std::vector<std::string> asked;
        bool answer = true;
    };

    // Every test starts without an engine root; those that stamp documents
    // register an application on one.
    class XmlUtilsTest : public testing::Test
    {
    protected:
        void SetUp() override { Vexkit::deleteInstance(); }
        void TearDown() override { Vexkit::deleteInstance(); }

        void registerApplication() { Vexkit::getInstance()->setCurrentApplication(&application); }

        RecordingApplication application;
        test::TempDir temp;
    };

    const std::string stampedProbe = "<Probe name=\"Probe\" value=\"3\">\n"
                                     "\t<versionInfo name=\"Host &amp; Co\" majorVersion=\"2\" minorVersion=\"5\""
                                     " microVersion=\"1\" revision=\"1234\"/>\n"
                                     "</Probe>\n";

    // --------------------------------------------------------------- writing

    TEST_F(XmlUtilsTest, WritesDeclarationAndElement)
    {
        Probe probe;
        probe.value = 3;
        EXPECT_EQ(XmlUtils::writeXmlToString(probe, true), declaration + "<Probe name=\"Probe\" value=\"3\"/>\n\n");
        probe.setStorage(XmlCapable::storageNever);
        EXPECT_EQ(XmlUtils::writeXmlToString(probe, true), declaration + "\n")
            << "nothing written still gives the declaration";
        EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr) << "writing never makes an engine root";
    }

    TEST_F(XmlUtilsTest, StampsTheCurrentApplicationAsFirstChild)
    {
        registerApplication();
        Probe probe;
        probe.value = 3;
        EXPECT_EQ(XmlUtils::writeXmlToString(probe, true), declaration + stampedProbe + "\n");
    }

    TEST_F(XmlUtilsTest, FileRoundTripCreatesOneFolderLevel)
    {
        registerApplication();
        Probe probe;
        probe.value = 3;
        const File file(temp.file("presets/probe.xml"));
        ASSERT_TRUE(XmlUtils::writeXmlToFile(file, probe, true));
        EXPECT_EQ(temp.readFile("presets/probe.xml"), declaration + stampedProbe + "\n");

        Probe loaded;
        EXPECT_TRUE(XmlUtils::loadXmlFromFile(file, loaded));
        EXPECT_EQ(loaded.value, 3);

        EXPECT_FALSE(XmlUtils::writeXmlToFile(File(temp.file("a/b/probe.xml")), probe, true))
            << "only one level is made";
        ASSERT_TRUE(XmlUtils::writeXmlToFile(File(temp.file("folder/preset")), probe, true));
        EXPECT_TRUE(File(temp.file("folder/preset")).existsAsFile()) << "a name without extension is a file";
    }

    TEST_F(XmlUtilsTest, RootNodeFormLeavesTheRootUntouched)
    {
        registerApplication();
        XmlDocument pool;
        XmlNode* root = XmlCapable::createNode(pool, "Root");
        root->append_attribute(createAttribute(pool, "a", 1));
        root->append_node(XmlCapable::createNode(pool, "Child"));
        const std::string before = XmlUtils::nodeToString(*root);

        ASSERT_TRUE(XmlUtils::writeXmlToFile(File(temp.file("root.xml")), root));
        EXPECT_EQ(temp.readFile("root.xml"),
                  declaration +
                      "<Root a=\"1\">\n\t<versionInfo name=\"Host &amp; Co\" majorVersion=\"2\" minorVersion=\"5\""
                      " microVersion=\"1\" revision=\"1234\"/>\n\t<Child/>\n</Root>\n\n");
        EXPECT_EQ(root->parent(), nullptr);
        EXPECT_EQ(XmlUtils::nodeToString(*root), before) << "no stamp from a freed pool is left behind";

        EXPECT_FALSE(XmlUtils::writeXmlToFile(File(temp.file("missing/root.xml")), root)) << "no folder is made";
        EXPECT_FALSE(File(temp.file("missing")).exists());
    }

    // Past the file size limit (as on a full disk) the bytes never reach the
    // file: writing answers false, replacing leaves the file as it was.
    TEST_F(XmlUtilsTest, AWriteThatDoesNotFitAnswersFalse)
    {
        XmlDocument pool;
        XmlNode* root = XmlCapable::createNode(pool, "Root");
        root->append_attribute(createAttribute(pool, "text", std::string(200, 'x')));
        ASSERT_TRUE(XmlUtils::replaceXmlFile(File(temp.file("folder/kept.xml")), root)) << "its folder is made";
        const std::string kept = temp.readFile("folder/kept.xml");

        test::LogRecorder log;
        root->append_node(XmlCapable::createNode(pool, "Child"));
        {
            const test::FileSizeLimit full(64);
            EXPECT_FALSE(XmlUtils::writeXmlToFile(File(temp.file("written.xml")), root));
            EXPECT_FALSE(XmlUtils::replaceXmlFile(File(temp.file("folder/kept.xml")), root));
        }
        EXPECT_EQ(log.count(logError), 2u) << log.dump();
        EXPECT_EQ(temp.readFile("folder/kept.xml"), kept);
        std::vector<File> files;
        File::getFilesInDirectory(File(temp.file("folder")), files, true);
        EXPECT_EQ(files.size(), 1u) << "nothing left beside it";

        ASSERT_TRUE(XmlUtils::replaceXmlFile(File(temp.file("folder/kept.xml")), root));
        EXPECT_NE(temp.readFile("folder/kept.xml").find("<Child/>"), std::string::npos);
    }

    // A file that already holds the bytes is not written again: no new
    // file, no sync, even where nothing more could be written.
    TEST_F(XmlUtilsTest, ReplacingWithTheSameBytesLeavesTheFile)
    {
        XmlDocument pool;
        XmlNode* root = XmlCapable::createNode(pool, "Root");
        root->append_attribute(createAttribute(pool, "text", std::string(200, 'x')));
        const File file(temp.file("kept.xml"));
        ASSERT_TRUE(XmlUtils::replaceXmlFile(file, root));
        std::string text;
        ASSERT_TRUE(XmlUtils::printXmlFile(root, text));
        EXPECT_EQ(temp.readFile("kept.xml"), text) << "the bytes replaceXmlFile writes";
        EXPECT_TRUE(XmlUtils::fileHolds(file, text));
        EXPECT_FALSE(XmlUtils::fileHolds(file, text + " "));
        EXPECT_FALSE(XmlUtils::fileHolds(file, text.substr(1)));
        EXPECT_FALSE(XmlUtils::fileHolds(File(temp.file("missing.xml")), text));
        struct stat before;
        ASSERT_EQ(::stat(file.getFullPath().c_str(), &before), 0);

        {
            const test::FileSizeLimit full(64);
            EXPECT_TRUE(XmlUtils::replaceXmlFile(file, root));
            EXPECT_TRUE(XmlUtils::replaceFileText(file, text));
        }
        struct stat after;
        ASSERT_EQ(::stat(file.getFullPath().c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "not replaced";

        root->append_node(XmlCapable::createNode(pool, "Child"));
        ASSERT_TRUE(XmlUtils::replaceXmlFile(file, root));
        ASSERT_EQ(::stat(file.getFullPath().c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino) << "other bytes replace it";
    }

    TEST_F(XmlUtilsTest, DocumentFormPrintsTheDocumentUnchanged)
    {
        registerApplication();
        auto document = XmlUtils::loadXmlFromString("<a><b x=\"1\"/></a>", false);
        ASSERT_TRUE(XmlUtils::writeXmlToFile(File(temp.file("doc.xml")), *document));
        EXPECT_EQ(temp.readFile("doc.xml"), "<a>\n\t<b x=\"1\"/>\n</a>\n\n");
        EXPECT_EQ(documentToString(*document), temp.readFile("doc.xml"));
    }

    // --------------------------------------------------------------- loading

    TEST_F(XmlUtilsTest, VersionStampIsRemovedOnRequestOrByComparison)
    {
        registerApplication();
        Probe probe;
        probe.value = 3;
        const std::string text = XmlUtils::writeXmlToString(probe, true);

        auto stripped = XmlUtils::loadXmlFromString(text, true);
        ASSERT_NE(stripped, nullptr);
        EXPECT_EQ(XmlUtils::documentToString(*stripped), "<Probe name=\"Probe\" value=\"3\"/>\n\n");
        EXPECT_FALSE(XmlUtils::compareVersion(*stripped, true, true, true, true));
        EXPECT_TRUE(application.asked.empty());

        auto stamped = XmlUtils::loadXmlFromString(text, false);
        ASSERT_NE(stamped, nullptr);
        application.answer = false;
        EXPECT_FALSE(XmlUtils::compareVersion(*stamped, true, false, true, true));
        EXPECT_EQ(application.asked, std::vector<std::string>{"2.5.1.1234 101"});
        EXPECT_EQ(XmlUtils::documentToString(*stamped), "<Probe name=\"Probe\" value=\"3\"/>\n\n");
    }

    TEST_F(XmlUtilsTest, CompareVersionReadsMissingNumbersAsZero)
    {
        registerApplication();
        auto document =
            XmlUtils::loadXmlFromString("<r><x/><versionInfo majorVersion=\"7\" minorVersion=\"x\"/></r>", false);
        EXPECT_TRUE(XmlUtils::compareVersion(*document, false, false, false, false));
        EXPECT_EQ(application.asked, std::vector<std::string>{"7.0.0.0 000"});
        EXPECT_EQ(XmlUtils::documentToString(*document), "<r>\n\t<x/>\n</r>\n\n") << "removed also when not first";
    }

    TEST_F(XmlUtilsTest, CompareVersionWithoutApplicationAnswersFalse)
    {
        auto document = XmlUtils::loadXmlFromString("<r><versionInfo majorVersion=\"1\"/></r>", false);
        test::LogRecorder log;
        EXPECT_FALSE(XmlUtils::compareVersion(*document, true, true, true, true));
        EXPECT_EQ(log.count(logWarning), 1u) << log.dump();
        EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr);
        EXPECT_EQ(XmlUtils::documentToString(*document), "<r/>\n\n");
    }

    TEST_F(XmlUtilsTest, MalformedStringsAnswerNullQuietly)
    {
        test::LogRecorder log;
        EXPECT_EQ(XmlUtils::loadXmlFromString("", false), nullptr);
        EXPECT_EQ(XmlUtils::loadXmlFromString("<a><b></a>", false), nullptr);
        EXPECT_EQ(XmlUtils::loadXmlFromString("<a x=\"1></a>", false), nullptr);
        EXPECT_EQ(XmlUtils::loadXmlFromString("<a>&#99999999;</a>", false), nullptr);
        EXPECT_EQ(XmlUtils::loadXmlFromString(std::string("<a>\0</a>", 8), false), nullptr);
        EXPECT_EQ(log.count(), 0u) << log.dump();
    }

    TEST_F(XmlUtilsTest, FileFailuresAnswerNullWithThePartsLines)
    {
        test::LogRecorder log;
        EXPECT_EQ(XmlUtils::loadXmlFromFile(File(temp.file("missing.xml")), false), nullptr);
        temp.writeFile("empty.xml", "");
        EXPECT_EQ(XmlUtils::loadXmlFromFile(File(temp.file("empty.xml")), false), nullptr);
        EXPECT_EQ(log.count(), 0u) << log.dump();

        const std::string garbage = temp.writeFile("garbage.xml", "\x01\x02 not xml <<<");
        EXPECT_EQ(XmlUtils::loadXmlFromFile(File(garbage), false), nullptr);
        const std::string truncated = temp.writeFile("truncated.xml", declaration + "<Probe name=\"Probe\" val");
        EXPECT_EQ(XmlUtils::loadXmlFromFile(File(truncated), true), nullptr);

        ASSERT_EQ(log.count(logError), 2u) << log.dump();
        EXPECT_EQ(log.lines()[0].text,
                  "ERROR: loadXmlFromFile: Exception thrown parsing xml document '" + garbage + "'.");
        EXPECT_EQ(log.lines()[1].text,
                  "ERROR: loadXmlFromFile: Exception thrown parsing xml document '" + truncated + "'.");
    }

    TEST_F(XmlUtilsTest, LoadingIntoObjectsAndFunctions)
    {
        temp.writeFile("other.xml", "<Other value=\"9\"/>");
        Probe probe;
        EXPECT_TRUE(XmlUtils::loadXmlFromFile(File(temp.file("other.xml")), probe)) << "loads, but another element";
        EXPECT_EQ(probe.value, 0);
        EXPECT_FALSE(XmlUtils::loadXmlFromFile(File(temp.file("none.xml")), probe));

        static std::string seen;
        seen.clear();
        EXPECT_TRUE(XmlUtils::loadXmlFromFile(File(temp.file("other.xml")), [](const XmlNode* root)
                                              { seen = root != nullptr ? root->name() : "<null>"; }));
        EXPECT_EQ(seen, "Other");
        EXPECT_FALSE(XmlUtils::loadXmlFromFile(File(temp.file("none.xml")), [](const XmlNode*) { seen = "called"; }));
        EXPECT_EQ(seen, "Other");
    }

    // ------------------------------------------------------- text and merging

    TEST_F(XmlUtilsTest, CompareNodesIsByteExact)
    {
        auto document = XmlUtils::loadXmlFromString("<r><a x=\"1\" y=\"2\"/><a y=\"2\" x=\"1\"/><a x=\"1\" y=\"2\"/>"
                                                    "<a x=\" 1\" y=\"2\"/></r>",
                                                    false);
        const XmlNode* first = document->first_node()->first_node();
        const XmlNode* reordered = first->next_sibling();
        const XmlNode* same = reordered->next_sibling();
        const XmlNode* spaced = same->next_sibling();
        EXPECT_TRUE(XmlUtils::compareNodes(*first, *same));
        EXPECT_FALSE(XmlUtils::compareNodes(*first, *reordered));
        EXPECT_FALSE(XmlUtils::compareNodes(*first, *spaced));
    }

    TEST_F(XmlUtilsTest, MergeKeepsNewerAndUnreplacedOlderChildren)
    {
        XmlDocument pool;
        XmlNode* merged = nullptr;
        {
            auto older =
                XmlUtils::loadXmlFromString("<Params name=\"old\"><P name=\"a\" v=\"1\"/><P name=\"b\" v=\"1\"/>"
                                            "<Q name=\"a\" v=\"1\"/><P v=\"1\"/></Params>",
                                            false);
            auto newer = XmlUtils::loadXmlFromString("<Params name=\"new\"><P name=\"b\" v=\"2\"/><P v=\"2\"/>"
                                                     "<P name=\"c\" v=\"2\"/></Params>",
                                                     false);
            merged = XmlUtils::merge(pool, older->first_node(), newer->first_node());
            EXPECT_EQ(XmlUtils::merge(pool, nullptr, newer->first_node()), newer->first_node());
            EXPECT_EQ(XmlUtils::merge(pool, older->first_node(), nullptr), nullptr);
        }
        EXPECT_EQ(XmlUtils::nodeToString(*merged),
                  "<Params>\n\t<P name=\"b\" v=\"2\"/>\n\t<P v=\"2\"/>\n\t<P name=\"c\" v=\"2\"/>\n"
                  "\t<P name=\"a\" v=\"1\"/>\n\t<Q name=\"a\" v=\"1\"/>\n\t<P v=\"1\"/>\n</Params>\n");
        EXPECT_FALSE(File("older.xml").exists());
        EXPECT_FALSE(File("result.xml").exists());
    }

    TEST(XmlTypeWords, NameTheStaticTypeOnly)
    {
        EXPECT_EQ(XmlUtils::getTypeIDName(0LL), "INT64");
        EXPECT_EQ(XmlUtils::getTypeIDName(0ULL), "UINT64");
        EXPECT_EQ(XmlUtils::getTypeIDName(char()), "INT8");
        EXPECT_EQ(XmlUtils::getTypeIDName(File()), "FILE");
        EXPECT_EQ(XmlUtils::getTypeIDName(0UL), "UNKNOWN_TYPEID") << "unsigned long is not unsigned long long";
        EXPECT_EQ(XmlUtils::getTypeIDName(static_cast<signed char>(0)), "UNKNOWN_TYPEID");
    }
}
