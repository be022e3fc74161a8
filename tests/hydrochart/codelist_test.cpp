#include "hydrochart/codelist.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/textconv.h"
#include "tests/support/tempfolder.h"

namespace fs = std::filesystem;

namespace {

class CodeListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xml_ = root_ + "/WaterSystemCodeCd.xml";
    html_ = root_ + "/WaterSystemCodeCd.html";
  }

  static void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // Loads and returns the count; `output` receives the report line of the load (the file read,
  // its code page and the count), empty when no file was read.
  std::int32_t load(std::string& output) {
    const CodeListLoad load = loadWaterSystemCodeList(list_, xml_, html_);
    codePage_ = load.codePage;
    output = load.read() ? reportFor(load.path, load.codePage, load.count) : "";
    EXPECT_EQ(load.count, static_cast<std::int32_t>(list_.size()));
    return load.count;
  }

  std::string reportFor(const std::string& path, int codePage, int n) const {
    return "*WaterSystemCodeList was extracted from \"" + path +
           "\" CodePage=" + std::to_string(codePage) + " nws=" + std::to_string(n) + "\n";
  }

  static std::string xmlList(const std::string& declaration, const std::string& body) {
    return declaration + "\n<ksjc:Dictionary>\n<ksjc:WaterSystemCodeCd>\n" + body +
           "</ksjc:WaterSystemCodeCd>\n</ksjc:Dictionary>\n";
  }

  TempFolder folder_{"w05codelist"};
  std::string root_ = folder_.path(), xml_, html_;
  WaterSystemCodeList list_{WaterSystemCodeEntry{9, "stale"}};
  std::int32_t codePage_ = 123;
};

const std::string kUtf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string kTwoLabels =
    "\t\t\t\t<codelabel label=\"石狩川\" code=\"010001\" />\n"
    "\t\t\t\t<codelabel label=\"多摩川\" code=\"130010\" />\n";

TEST_F(CodeListTest, MissingFilesYieldNoListAndNoMessage) {
  std::string out;
  EXPECT_EQ(load(out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(codePage_, -1);
  EXPECT_TRUE(list_.empty());

  // A folder in the XML file's place is chosen but cannot be read: no fallback, no message.
  fs::create_directory(xml_);
  write(html_, "<table>\n<tr><td>1</td><td>a</td></tr>\n</table>\n");
  EXPECT_EQ(load(out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(codePage_, -1);
}

TEST_F(CodeListTest, ReadsUtf8XmlListInFileOrder) {
  write(xml_,
        xmlList(kUtf8Declaration, kTwoLabels + "<codelabel label=\"&amp;川\" code=\" 42x\" />\r\n"
                                               "<codelabel label=\"\" code=\"\" />\n"));
  std::string out;
  ASSERT_EQ(load(out), 4);
  EXPECT_EQ(out, reportFor(xml_, 65001, 4));
  EXPECT_EQ(codePage_, 65001);
  EXPECT_EQ(list_[0].code, 10001u);
  EXPECT_EQ(list_[0].labelUtf8, "石狩川");
  EXPECT_EQ(list_[1].code, 130010u);
  EXPECT_EQ(list_[1].labelUtf8, "多摩川");
  EXPECT_EQ(list_[2].code, 42u);
  EXPECT_EQ(list_[2].labelUtf8, "&amp;川");  // entities stay as written
  EXPECT_EQ(list_[3].code, 0u);
  EXPECT_EQ(list_[3].labelUtf8, "");
  ASSERT_NE(findWaterSystemLabel(list_, 130010), nullptr);
  EXPECT_EQ(*findWaterSystemLabel(list_, 130010), "多摩川");
  EXPECT_EQ(findWaterSystemLabel(list_, 130011), nullptr);
}

TEST_F(CodeListTest, XmlIsPreferredEvenWithoutEntries) {
  write(xml_, kUtf8Declaration + "\n<codelabel label=\"a\" code=\"1\" />\n");
  write(html_, "<table>\n<tr><td>1</td><td>a</td></tr>\n</table>\n");
  std::string out;
  EXPECT_EQ(load(out), 0);
  EXPECT_EQ(out, reportFor(xml_, 65001, 0));
  EXPECT_TRUE(list_.empty());

  // The closing tag of the list is needed too.
  write(xml_, kUtf8Declaration + "<ksjc:WaterSystemCodeCd>" + kTwoLabels);
  EXPECT_EQ(load(out), 0);
  EXPECT_EQ(out, reportFor(xml_, 65001, 0));

  fs::remove(xml_);
  EXPECT_EQ(load(out), 1);
  EXPECT_EQ(out, reportFor(html_, 65001, 1));
}

TEST_F(CodeListTest, ShiftJisListIsConvertedToUtf8) {
  const std::string body = platform::utf8ToCp932(kTwoLabels);
  write(xml_, xmlList("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", body));
  std::string out;
  ASSERT_EQ(load(out), 2);
  EXPECT_EQ(out, reportFor(xml_, 0, 2));
  EXPECT_EQ(codePage_, 0);
  EXPECT_EQ(list_[0].code, 10001u);
  EXPECT_EQ(list_[0].labelUtf8, "石狩川");
  EXPECT_EQ(list_[1].code, 130010u);
  EXPECT_EQ(list_[1].labelUtf8, "多摩川");
}

TEST_F(CodeListTest, XmlDeclarationDecidesTheEncoding) {
  const std::string sjisBody = platform::utf8ToCp932(kTwoLabels);
  struct Case {
    std::string head;
    int codePage;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\" encoding=\"shift_jis\"?>", 0},
      {"<?xml version=\"1.0\" encoding=\"SHIFT_JIS\" standalone=\"yes\"?>", 0},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?>", 65001},
      {"<?xml version=\"1.0\" encoding=\"UTF8\"?>", 65001},       // not a recognised name
      {"<?xml version=\"1.0\" ENCODING=\"Shift_JIS\"?>", 65001},  // attribute name is exact
      {"<?xml version=\"1.0\"?><ksjc:Dataset encoding=\"Shift_JIS\">", 65001},  // after "?>"
      {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"", 65001},                  // no "?>"
      {"", 65001},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 65001},  // byte-order mark
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    write(xml_, xmlList(c.head, c.codePage == 0 ? sjisBody : kTwoLabels));
    std::string out;
    ASSERT_EQ(load(out), 2);
    EXPECT_EQ(codePage_, c.codePage);
    EXPECT_EQ(out, reportFor(xml_, c.codePage, 2));
    EXPECT_EQ(list_[1].labelUtf8, "多摩川");
  }
}

TEST_F(CodeListTest, BrokenCodelabelBorrowsTheNextClosing) {
  write(xml_, xmlList(kUtf8Declaration,
                      "<codelabel label=\"一\" code=\"1\">\n"
                      "<codelabel label=\"二\" code=\"2\" />\n"
                      "<codelabel label=\"三\" code=\"3\" />\n"
                      "<codelabel label=\"四\" code=\"4\" >\n"));
  std::string out;
  ASSERT_EQ(load(out), 2);
  EXPECT_EQ(out, reportFor(xml_, 65001, 2));
  EXPECT_EQ(list_[0].code, 1u);
  EXPECT_EQ(list_[0].labelUtf8, "一");
  EXPECT_EQ(list_[1].code, 3u);
  EXPECT_EQ(list_[1].labelUtf8, "三");

  // An element without code takes the code of the next one; the scan stops at the first gap.
  write(xml_, xmlList(kUtf8Declaration,
                      "<codelabel label=\"一\" />\n"
                      "<codelabel label=\"二\" code=\"2\" />\n"
                      "<codelabel label=\"三\" />\n"));
  ASSERT_EQ(load(out), 1);
  EXPECT_EQ(list_[0].code, 2u);
  EXPECT_EQ(list_[0].labelUtf8, "一");
}

TEST_F(CodeListTest, DuplicateCodesStayAndTheFirstIsFound) {
  write(xml_, xmlList(kUtf8Declaration,
                      "<codelabel label=\"first\" code=\"5\" />\n"
                      "<codelabel label=\"second\" code=\"5\" />\n"));
  std::string out;
  ASSERT_EQ(load(out), 2);
  EXPECT_EQ(list_[1].labelUtf8, "second");
  EXPECT_EQ(*findWaterSystemLabel(list_, 5), "first");
}

TEST_F(CodeListTest, LabelsAreCutOnCharacterBoundaries) {
  const std::string sixteen = "一二三四五六七八九十百千万億兆京";  // 48 bytes of UTF-8
  const std::string fifteen = "一二三四五六七八九十百千万億兆";
  write(xml_, xmlList(kUtf8Declaration, "<codelabel label=\"" + sixteen +
                                            "\" code=\"1\" />\n"
                                            "<codelabel label=\"ab" +
                                            sixteen +
                                            "\" code=\"2\" />\n"
                                            "<codelabel label=\"" +
                                            std::string(60, 'x') + "\" code=\"3\" />\n"));
  std::string out;
  ASSERT_EQ(load(out), 3);
  EXPECT_EQ(list_[0].labelUtf8, fifteen);
  EXPECT_EQ(list_[1].labelUtf8, "ab" + fifteen);
  EXPECT_EQ(list_[1].labelUtf8.size(), 47u);
  EXPECT_EQ(list_[2].labelUtf8, std::string(47, 'x'));

  // Shift_JIS labels are cut to 31 bytes before conversion, never inside a character.
  write(xml_, xmlList("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>",
                      platform::utf8ToCp932("<codelabel label=\"" + sixteen +
                                            "\" code=\"1\" />\n"
                                            "<codelabel label=\"a" +
                                            sixteen +
                                            "\" code=\"2\" />\n"
                                            "<codelabel label=\"ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐ\" "
                                            "code=\"3\" />\n")));
  ASSERT_EQ(load(out), 3);
  EXPECT_EQ(out, reportFor(xml_, 0, 3));
  EXPECT_EQ(list_[0].labelUtf8, fifteen);
  EXPECT_EQ(list_[1].labelUtf8, "a" + fifteen);
  // 31 single-byte katakana become 93 bytes of UTF-8, cut to 15 characters (45 bytes).
  EXPECT_EQ(list_[2].labelUtf8, "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿ");
}

TEST_F(CodeListTest, LineEndsAreReadInTextMode) {
  write(xml_, xmlList(kUtf8Declaration, "<codelabel label=\"a\r\nb\rc\" code=\"7\" />\r\n"));
  std::string out;
  ASSERT_EQ(load(out), 1);
  EXPECT_EQ(list_[0].labelUtf8, "a\nb\rc");
}

TEST_F(CodeListTest, EmptyAndRandomFilesYieldNoEntries) {
  write(xml_, "");
  std::string out;
  EXPECT_EQ(load(out), 0);
  EXPECT_EQ(out, reportFor(xml_, 65001, 0));
  EXPECT_EQ(codePage_, 65001);

  std::mt19937 random(2024);
  for (int round = 0; round < 20; ++round) {
    std::string bytes(4096, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    write(xml_, bytes);
    EXPECT_EQ(load(out), 0);
    EXPECT_EQ(out, reportFor(xml_, 65001, 0));
    fs::remove(xml_);
    write(html_, "<table" + bytes);
    EXPECT_EQ(load(out), 0);
    fs::remove(html_);
  }

  // The text ends at a NUL byte: entries after it are not seen.
  write(xml_,
        xmlList(kUtf8Declaration, "<codelabel label=\"a\" code=\"1\" />\n" + std::string(1, '\0') +
                                      "<codelabel label=\"b\" code=\"2\" />\n"));
  EXPECT_EQ(load(out), 0);
}

TEST_F(CodeListTest, HtmlTableRowsBecomeEntries) {
  write(html_,
        "<html><head><meta charset=\"utf-8\"></head><body>\n"
        "<table border=\"1\">\n"
        "<tr><th>コード</th><th>名称</th></tr>\n"
        "<tr><td>010001</td><td>石狩川</td></tr>\n"
        "<tr><td>130010</td><td>多摩川</td></tr>\n"
        "<tr><td>3</td></tr>\n"
        "</table>\n<table><tr><td>9</td><td>later table</td></tr></table>\n");
  std::string out;
  ASSERT_EQ(load(out), 2);
  EXPECT_EQ(out, reportFor(html_, 65001, 2));
  EXPECT_EQ(list_[0].code, 10001u);
  EXPECT_EQ(list_[0].labelUtf8, "石狩川");
  EXPECT_EQ(list_[1].code, 130010u);
  EXPECT_EQ(list_[1].labelUtf8, "多摩川");

  // A header of td cells is an entry with code 0; markup in cells stays in the text.
  write(html_,
        "<table>\n<tr><td>コード</td><td>名称</td></tr>\n"
        "<tr><td><b>5</b></td><td><i>五</i></td></tr>\n"
        "<tr><td>6x</td><td>六</td></tr>\n</table>");
  ASSERT_EQ(load(out), 3);
  EXPECT_EQ(list_[0].code, 0u);
  EXPECT_EQ(list_[0].labelUtf8, "名称");
  EXPECT_EQ(list_[1].code, 0u);
  EXPECT_EQ(list_[1].labelUtf8, "<i>五</i>");
  EXPECT_EQ(list_[2].code, 6u);

  // Rows of three cells give their first two cells; the count of rows is never exceeded.
  write(html_,
        "<table>\n<tr><td>1</td><td>一</td><td>note</td></tr>\n"
        "<tr><td>2</td><td>二</td><td>note</td></tr>\n</table>");
  ASSERT_EQ(load(out), 2);
  EXPECT_EQ(list_[0].code, 1u);
  EXPECT_EQ(list_[0].labelUtf8, "一");
  EXPECT_EQ(list_[1].code, 2u);
  EXPECT_EQ(list_[1].labelUtf8, "二");

  // After a row with a single cell the pairs run across rows: the lone cell is a code, the
  // first cell of the next row its label, and so on; the count of rows still bounds the list.
  write(html_,
        "<table>\n<tr><td>A</td></tr>\n"
        "<tr><td>1</td><td>x</td></tr>\n"
        "<tr><td>2</td><td>y</td></tr>\n</table>");
  ASSERT_EQ(load(out), 2);
  EXPECT_EQ(list_[0].code, 0u);
  EXPECT_EQ(list_[0].labelUtf8, "1");
  EXPECT_EQ(list_[1].code, 0u);
  EXPECT_EQ(list_[1].labelUtf8, "2");
  write(html_,
        "<table>\n<tr><td>5</td><td>五</td></tr>\n<tr><td>note</td></tr>\n"
        "<tr><td>6</td><td>六</td><td>extra</td></tr>\n"
        "<tr><td>7</td><td>七</td></tr>\n</table>");
  ASSERT_EQ(load(out), 3);
  EXPECT_EQ(list_[0].code, 5u);
  EXPECT_EQ(list_[0].labelUtf8, "五");
  EXPECT_EQ(list_[1].code, 0u);  // "note" and "6", which share no row
  EXPECT_EQ(list_[1].labelUtf8, "6");
  EXPECT_EQ(list_[2].code, 0u);  // "六" and "extra"
  EXPECT_EQ(list_[2].labelUtf8, "extra");

  // Without "<table" or "</table>" there is no list.
  write(html_, "<tr><td>1</td><td>一</td></tr>");
  EXPECT_EQ(load(out), 0);
  EXPECT_EQ(out, reportFor(html_, 65001, 0));
  write(html_, "<table>\n<tr><td>1</td><td>一</td></tr>\n");
  EXPECT_EQ(load(out), 0);
  write(html_, "<table");
  EXPECT_EQ(load(out), 0);
}

TEST_F(CodeListTest, HtmlMetaCharsetDecidesTheEncoding) {
  const std::string table =
      platform::utf8ToCp932("<table>\n<tr><td>130010</td><td>多摩川</td></tr>\n</table>\n");
  const std::string utf8Table = "<table>\n<tr><td>130010</td><td>多摩川</td></tr>\n</table>\n";
  struct Case {
    std::string head;
    int codePage;
    bool byteOrderMark = false;
  };
  const Case cases[] = {
      {"<meta charset=\"Shift_JIS\">", 0},
      {"<meta charset=shift_jis>", 0},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">", 0},
      {"<meta charset=\"UTF-8\">", 65001},
      {"<meta name=\"x\"><meta charset=\"Shift_JIS\">", 65001},  // only the first meta counts
      {"<META charset=\"Shift_JIS\">", 65001},
      {"<meta charset=\"Shift_JIS\">", 65001, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    write(html_, (c.byteOrderMark ? "\xEF\xBB\xBF<html><head>" : "<html><head>") + c.head +
                     "</head><body>\n" + (c.codePage == 0 ? table : utf8Table));
    std::string out;
    ASSERT_EQ(load(out), 1);
    EXPECT_EQ(out, reportFor(html_, c.codePage, 1));
    EXPECT_EQ(list_[0].labelUtf8, "多摩川");
  }
}

TEST_F(CodeListTest, CodesReadLikeTheCLibraryUnsignedConversion) {
  write(xml_, xmlList(kUtf8Declaration,
                      "<codelabel label=\"a\" code=\"4294967295\" />\n"
                      "<codelabel label=\"b\" code=\"99999999999\" />\n"
                      "<codelabel label=\"c\" code=\"+12\" />\n"
                      "<codelabel label=\"d\" code=\"-1\" />\n"
                      "<codelabel label=\"e\" code=\"x1\" />\n"));
  std::string out;
  ASSERT_EQ(load(out), 5);
  EXPECT_EQ(list_[0].code, 4294967295u);
  EXPECT_EQ(list_[1].code, 4294967295u);
  EXPECT_EQ(list_[2].code, 12u);
  EXPECT_EQ(list_[3].code, 4294967295u);
  EXPECT_EQ(list_[4].code, 0u);
}

// The code-label file: one line per entry in list order, codes as signed six-digit numbers; a
// file that did not reach the disk whole is a failure.
TEST_F(CodeListTest, CodeLabelFileHoldsEveryEntryOrFails) {
  const WaterSystemCodeList list = {{10001, "石狩川"}, {4294967295u, ""}, {1234567, "a&b"}};
  const std::string path = root_ + "/labels.txt";
  std::ofstream(path) << "an older and longer file that is replaced completely\n";
  ASSERT_TRUE(writeCodeLabelFile(path, list));
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(text,
            "\t\t\t\t<codelabel label=\"石狩川\" code=\"010001\" />\n"
            "\t\t\t\t<codelabel label=\"\" code=\"-00001\" />\n"
            "\t\t\t\t<codelabel label=\"a&b\" code=\"1234567\" />\n");
  EXPECT_TRUE(writeCodeLabelFile(root_ + "/empty.txt", {}));
  EXPECT_TRUE(fs::is_empty(root_ + "/empty.txt"));

  EXPECT_FALSE(writeCodeLabelFile(root_ + "/missing/labels.txt", list));
  if (fs::exists("/dev/full")) {
    EXPECT_FALSE(writeCodeLabelFile("/dev/full", list));
  }
}

}  // namespace
