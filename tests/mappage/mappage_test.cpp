#include "hydrochart/mappage/mappage.h"

#include <gtest/gtest.h>

#include <cfloat>

#include "hydrochart/mappage/pagetext.h"
#include "tests/mappage/testsupport.h"

namespace {

constexpr char kFitEnd[] = "]));\nosmjp.addTo(map);\n</script>\n</body></html>\n";

TEST(MapPageTest, EmptyPageMatchesHandWrittenPage) {
  TempFolder folder;
  const std::string path = folder.file("empty.html");
  MapPage page;
  ASSERT_TRUE(openMapPage(page, path, "利根川 \"A&B\" <b>"));
  EXPECT_EQ(page.pathCount, 0);
  EXPECT_EQ(page.mapBounds.minLat, DBL_MAX);
  EXPECT_EQ(page.mapBounds.minLon, DBL_MAX);
  EXPECT_EQ(page.mapBounds.maxLat, DBL_MIN);
  EXPECT_EQ(page.mapBounds.maxLon, DBL_MIN);
  EXPECT_TRUE(closeMapPage(page));
  EXPECT_FALSE(page.output.isOpen());
  const std::string expected = readFile(testDataPath("empty_page.html"));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(readFile(path), expected);

  // An empty title gives the two tags with nothing between them.
  ASSERT_TRUE(openMapPage(page, path, ""));
  EXPECT_TRUE(closeMapPage(page));
  EXPECT_NE(readFile(path).find("\n<title></title>\n"), std::string::npos);
}

TEST(MapPageTest, OpeningResetsStateAndClosingFitsTheBox) {
  TempFolder folder;
  const std::string path = folder.file("page.html");
  MapPage page;
  page.pathCount = 17;
  page.mapBounds = {1, 2, 3, 4};
  ASSERT_TRUE(openMapPage(page, path, "t"));
  EXPECT_EQ(page.pathCount, 0);
  EXPECT_EQ(page.mapBounds.minLat, DBL_MAX);
  page.pathCount = 3;
  page.mapBounds = {35.0, 35.5, 139.25, 140.0};
  EXPECT_TRUE(closeMapPage(page));
  EXPECT_EQ(page.pathCount, 3);  // kept for the caller's report
  const std::string text = readFile(path);
  const std::string fit =
      "map.fitBounds(L.latLngBounds([35.00000000,139.25000000],"
      "[35.50000000,140.00000000" +
      std::string(kFitEnd);
  ASSERT_GE(text.size(), fit.size());
  EXPECT_EQ(text.substr(text.size() - fit.size()), fit);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_FALSE(closeMapPage(page));  // nothing open any more
}

// Streams drawn without any position leave the initial box: the page opens on Japan. A single
// position, and a box that the initial maxima (the smallest positive double) still bound, are
// boxes a browser can show and are written as they are.
TEST(MapPageTest, PageWithoutPositionsOpensOnJapan) {
  TempFolder folder;
  const std::string path = folder.file("page.html");
  auto fitLine = [&path](const MapBounds* box, std::int32_t pathCount) {
    MapPage page;
    EXPECT_TRUE(openMapPage(page, path, "t"));
    page.pathCount = pathCount;
    if (box != nullptr) page.mapBounds = *box;
    EXPECT_TRUE(closeMapPage(page));
    const std::string text = readFile(path);
    const std::size_t start = text.find("map.fitBounds(");
    return text.substr(start, text.find('\n', start) - start);
  };
  const std::string japan =
      "map.fitBounds(L.latLngBounds([24.00000000,122.00000000],[46.00000000,154.00000000]));";
  EXPECT_EQ(fitLine(nullptr, 0), japan);
  EXPECT_EQ(fitLine(nullptr, 5), japan);
  const MapBounds one{35.5, 35.5, 139.25, 139.25};
  EXPECT_EQ(
      fitLine(&one, 1),
      "map.fitBounds(L.latLngBounds([35.50000000,139.25000000],[35.50000000,139.25000000]));");
  const MapBounds south{-5.0, DBL_MIN, -10.0, DBL_MIN};
  EXPECT_EQ(fitLine(&south, 1),
            "map.fitBounds(L.latLngBounds([-5.00000000,-10.00000000],[0.00000000,0.00000000]));");
}

TEST(MapPageTest, FailedOpenLeavesEverythingAsItWas) {
  TempFolder folder;
  MapPage page;
  const std::string first = folder.file("first.html");
  ASSERT_TRUE(openMapPage(page, first, "first"));
  page.pathCount = 5;
  page.mapBounds = {1, 2, 3, 4};
  page.output.append("//marker\n");

  EXPECT_FALSE(openMapPage(page, folder.file("missing/page.html"), "x"));
  EXPECT_FALSE(std::filesystem::exists(folder.file("missing")));
  EXPECT_TRUE(page.output.isOpen());
  EXPECT_TRUE(page.output.pending().ends_with("//marker\n"));
  EXPECT_EQ(page.pathCount, 5);
  EXPECT_EQ(page.mapBounds.minLat, 1);
  EXPECT_EQ(page.mapBounds.maxLon, 4);
  EXPECT_TRUE(closeMapPage(page));
  EXPECT_NE(readFile(first).find("//marker\n"), std::string::npos);

  MapPage unopened;
  EXPECT_FALSE(openMapPage(unopened, folder.file("missing/page.html"), "x"));
  EXPECT_FALSE(unopened.output.isOpen());
  EXPECT_TRUE(unopened.output.pending().empty());
}

TEST(MapPageTest, UnfinishedPagesKeepTheirText) {
  TempFolder folder;
  const std::string first = folder.file("first.html");
  const std::string second = folder.file("second.html");
  {
    MapPage page;
    ASSERT_TRUE(openMapPage(page, first, "first"));
    page.output.append("//first page\n");
    // The caller opens the next page without closing this one: it goes to disk as it stands.
    ASSERT_TRUE(openMapPage(page, second, "second"));
    page.output.append("//second page\n");
  }  // left unfinished, as after a drawing failure
  const std::string firstText = readFile(first);
  const std::string secondText = readFile(second);
  EXPECT_EQ(firstText.substr(firstText.size() - 13), "//first page\n");
  EXPECT_EQ(secondText.substr(secondText.size() - 14), "//second page\n");
  EXPECT_EQ(secondText.find("//first page"), std::string::npos);
  EXPECT_EQ(firstText.find("fitBounds"), std::string::npos);
}

TEST(MapPageTest, WriteFailuresAreReportedByClose) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  MapPage page;
  ASSERT_TRUE(openMapPage(page, "/dev/full", "full"));
  EXPECT_FALSE(closeMapPage(page));
  EXPECT_FALSE(page.output.isOpen());

  TempFolder folder;
  ASSERT_TRUE(openMapPage(page, folder.file("ok.html"), "ok"));
  EXPECT_TRUE(closeMapPage(page));
}

}  // namespace
