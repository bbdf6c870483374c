#include <gtest/gtest.h>

#include "archive/backup_description.h"
#include "archive/plist.h"
#include "archive/plist_xml.h"
#include "crypto/base64.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/plist_writer.h"

namespace kestrow {
namespace {

using test::TPlistPtr;

class Plist : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& contents) {
        const std::string path = FFolder.Path() + name;
        test::WriteTestFile(path, contents);
        return path;
    }
    std::string Work() const { return FFolder.Path() + "work.xml"; }
    TTempFolder FFolder;
};

TEST_F(Plist, XmlIsReadInPlaceAndBinaryConvertsIntoTheWorkFile) {
    const std::string xml = Write("a.plist", test::XmlPlistOfDictBody("<key>A</key><string>1</string>\n"));
    EXPECT_EQ(PlistToXml(xml, Work(), true), xml);
    EXPECT_FALSE(PathExists(Work()));

    TPlistPtr dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "Name", plist_new_string("first"));
    const std::string bin = Write("b.plist", test::PlistBinary(static_cast<plist_t>(dict.get())));
    ASSERT_EQ(PlistToXml(bin, Work(), true), Work());
    TPlistDocument doc;
    ASSERT_TRUE(doc.Load(Work()));
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "name", true)), "first");

    // A second conversion replaces the first one.
    plist_dict_set_item(dict.get(), "Name", plist_new_string("second"));
    const std::string bin2 = Write("c.plist", test::PlistBinary(static_cast<plist_t>(dict.get())));
    ASSERT_EQ(PlistToXml(bin2, Work(), true), Work());
    ASSERT_TRUE(doc.Load(Work()));
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "Name", true)), "second");

    EXPECT_EQ(PlistToXml(FFolder.Path() + "missing", Work(), true), "");
    EXPECT_EQ(PlistToXml(Write("junk", "bplist00 not really"), Work(), true), "");
}

TEST_F(Plist, EmbeddedListsAreDecodedAndConvertedInPlace) {
    TPlistPtr inner(plist_new_dict());
    plist_dict_set_item(inner.get(), "Path", plist_new_string("Library/SMS/sms.db"));
    const std::string innerBin = test::PlistBinary(static_cast<plist_t>(inner.get()));
    const std::string outer =
        Write("outer.plist",
              test::XmlPlistOfDictBody("<key>Other</key><data></data>\n<key>Metadata</key><data>\n\t" +
                                       Base64Encode(innerBin, 20) + "\n</data>\n"));
    ASSERT_EQ(OpenPlistXml(outer, "metadata", Work()), Work());
    TPlistDocument doc;
    ASSERT_TRUE(doc.Load(Work()));
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "Path", false)), "Library/SMS/sms.db");

    EXPECT_EQ(OpenPlistXml(outer, "Other", Work()), "");   // empty <data>
    EXPECT_EQ(OpenPlistXml(outer, "Missing", Work()), ""); // no such key
}

TEST_F(Plist, PairwiseScanNeverReadsTheLastOfAnOddCountAsKey) {
    const std::string xml =
        Write("odd.plist", test::XmlPlistOfDictBody("<key>A</key><string>1</string><!-- a comment "
                                                    "-->\n<key>B</key><string>2</string>\n<key>C</key>\n"));
    TPlistDocument doc;
    ASSERT_TRUE(doc.Load(xml));
    std::vector<std::string> keys;
    ScanDictPairs(doc.TopDict(), [&](pugi::xml_node key, pugi::xml_node) {
        keys.push_back(NodeText(key));
        return true;
    });
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(ElementChildCount(doc.TopDict()), 5);
    EXPECT_FALSE(FindDictValue(doc.TopDict(), "C", true));
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "b", true)), "2");
}

TEST_F(Plist, EntitiesAreDecoded) {
    const std::string xml =
        Write("e.plist", test::XmlPlistOfDictBody(
                             "<key>DeviceName</key><string>Anna&apos;s &amp; &#x263A; iPhone</string>\n"));
    TPlistDocument doc;
    ASSERT_TRUE(doc.Load(xml));
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "DeviceName", true)), "Anna's & \xE2\x98\xBA iPhone");
}

TEST_F(Plist, TextIsTheWholeDecodedContent) {
    TPlistDocument doc;
    ASSERT_TRUE(
        doc.LoadText(test::XmlPlistOfDictBody("<key>A</key><string>a<![CDATA[<b>&amp;]]>c&lt;</string>"
                                              "<key>B</key><string>   </string>"
                                              "<key>C</key><string>one\r\ntwo</string>"
                                              "<key>D</key><string/>")));
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "A", true)), "a<b>&amp;c<");
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "B", true)), "   ");
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "C", true)), "one\ntwo"); // XML line ends read as LF
    EXPECT_EQ(NodeText(FindDictValue(doc.TopDict(), "D", true)), "");
}

TEST_F(Plist, DocumentsNoXmlProcessorWouldAcceptFailToLoad) {
    const std::string good = test::XmlPlistOfDictBody("<key>A</key><string>x</string>");
    TPlistDocument doc;
    ASSERT_TRUE(doc.LoadText(good));
    for (const std::string& bad :
         {test::XmlPlistOfDictBody("<key>A</key><string>&euro;</string>"),
          test::XmlPlistOfDictBody("<key>A</key><string>&#0;</string>"),
          test::XmlPlistOfDictBody("<key>A</key><string>&#xD800;</string>"),
          test::XmlPlistOfDictBody("<key>A</key><string>& x</string>"), good + "<plist><dict/></plist>",
          std::string("<!DOCTYPE plist [<!ENTITY e \"boom\">]><plist><dict><key>A</key><string>&e;</string>"
                      "</dict></plist>"),
          good + "trailing text"}) {
        EXPECT_FALSE(doc.LoadText(bad)) << bad;
    }
    // Through discovery, such a description is the "Decode manifest error" it is.
    Write("b/Manifest.plist", test::XmlPlistOfDictBody("<key>Lockdown</key><dict><key>DeviceName</key>"
                                                       "<string>A&nbsp;B</string></dict>"));
    TIphoneBackups backups;
    TSessionLog log;
    ReadManifestDescription(FFolder.Path() + "b", Work(), backups, log);
    EXPECT_TRUE(backups.empty());
    EXPECT_EQ(log.Text(), "\r\nDecode manifest error");
}

// Binary property lists written by devices convert and can be walked.
TEST_F(Plist, RealSafariHistoryConverts) {
    for (const char* relative :
         {"/safari-history/History.plist",
          "/ios7-testphone/App - com.apple.mobilesafari/Library/Safari/History.plist"}) {
        const std::string source = std::string(KESTROW_REALDATA) + relative;
        if (!FileExists(source)) {
            GTEST_SKIP() << "shared real data not present";
        }
        ASSERT_EQ(PlistToXml(source, Work(), true), Work()) << relative;
        TPlistDocument doc;
        ASSERT_TRUE(doc.Load(Work()));
        ASSERT_TRUE(doc.TopDict());
        const pugi::xml_node dates = FindDictValue(doc.TopDict(), "WebHistoryDates", false);
        ASSERT_TRUE(dates) << relative;
        EXPECT_GT(ElementChildCount(dates), 0);
    }
}

} // namespace
} // namespace kestrow
