// The page writers draw ahead on a large generated data file, and what they write is what
// drawing each part in turn writes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "hydrochart/allpages.h"
#include "hydrochart/pagemode.h"
#include "tests/support/files.h"
#include "tests/support/tempfolder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWaterSystems = 120;

// A Progress that writes nothing; `pause` makes the writer slow at the start of every page, so
// that the second thread can draw every part it may ahead.
class QuietProgress final : public Progress {
 public:
  explicit QuietProgress(std::chrono::microseconds pause = {}) : pause_(pause) {}
  void waterSystemPageStarted(std::uint32_t) override { std::this_thread::sleep_for(pause_); }
  void waterSystemPageWritten(std::int32_t) override {}
  void waterSystemPageNotCreated(std::uint32_t) override { ++notCreated; }
  void codeMatchesNothing(const std::string&, bool, std::uint64_t, const std::string&) override {
    ++matchingNothing;
  }
  void outputIsInput(const std::string&, RunInput) override {}
  void indexOpened(const std::string&) override {}
  void folderLeftOut(const std::string&, const std::string&) override {}
  void streamLeftOut(const DrawResult&) override {}
  int notCreated = 0;
  int matchingNothing = 0;

 private:
  std::chrono::microseconds pause_;
};

// A generated data file of kWaterSystems water systems (about 14 MB), made once.
class DrawnAheadPages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempFolder("drawahead");
    const std::string command = std::string(W05_GEN_W05) + " --streams 6000 --water-systems " +
                                std::to_string(kWaterSystems) + " --seed 3 --out " + dataPath();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static std::string dataPath() { return folder_->file("W05-00_01-g.xml"); }

  void SetUp() override {
    ASSERT_EQ(loadRiverData(dataPath(), data_), LoadStatus::Loaded);
    codes_ = collectWaterSystemCodes(data_);
    ASSERT_EQ(codes_.size(), static_cast<std::size_t>(kWaterSystems));
  }

  // Writes every water system's page into `folder` and reads them back by name.
  std::map<std::string, std::string> writeAll(const std::string& folder, const DrawOptions& options,
                                              Progress& progress, AllPagesResult& result) {
    fs::create_directory(folder);
    const std::string path = folder + "/W05-00_01-g.xml";
    fs::copy_file(dataPath(), path);
    EXPECT_EQ(loadRiverData(path, data_), LoadStatus::Loaded);
    result = writeAllWaterSystemPages(path, data_, {}, progress, {}, options);
    std::map<std::string, std::string> pages;
    for (const auto& entry : fs::directory_iterator(folder + "/W05-00_01-g_html")) {
      pages[entry.path().filename().string()] = readFile(entry.path());
    }
    return pages;
  }

  static TempFolder* folder_;
  RiverData data_;
  std::vector<std::uint32_t> codes_;
};

TempFolder* DrawnAheadPages::folder_ = nullptr;

TEST_F(DrawnAheadPages, EveryWaterSystemModeDrawsAheadAndWritesTheSamePages) {
  TempFolder out;
  QuietProgress quiet;
  AllPagesResult inTurn;
  const auto expected = writeAll(out.file("in_turn"), DrawOptions{false, {}}, quiet, inTurn);
  ASSERT_EQ(inTurn.kind, AllPagesResult::Kind::Written);
  EXPECT_EQ(inTurn.partsDrawnAhead, 0u);
  ASSERT_EQ(expected.size(), static_cast<std::size_t>(kWaterSystems));

  AllPagesResult ahead;
  EXPECT_EQ(writeAll(out.file("ahead"), DrawOptions{}, quiet, ahead), expected);
  ASSERT_EQ(ahead.kind, AllPagesResult::Kind::Written);
  EXPECT_GT(ahead.partsDrawnAhead, 0u);

  // A slow writer leaves the second thread time for every page from the fourth on (the three
  // after the current one are the writer's own); it must not give up on any of them.
  QuietProgress slow(std::chrono::milliseconds(5));
  EXPECT_EQ(writeAll(out.file("slow"), DrawOptions{}, slow, ahead), expected);
  EXPECT_GE(ahead.partsDrawnAhead, static_cast<std::size_t>(kWaterSystems) * 9 / 10);
}

// The atlas pages drawn ahead are those drawn in turn, and each holds one feature per polyline
// of its map page, which its view fits alike.
TEST_F(DrawnAheadPages, AtlasPagesDrawAheadAndMatchTheMapPages) {
  TempFolder out;
  QuietProgress quiet;
  AllPagesResult result;
  const auto maps = writeAll(out.file("maps"), DrawOptions{}, quiet, result);
  DrawOptions atlas;
  atlas.style.atlas = true;
  atlas.drawAhead = false;
  const auto inTurn = writeAll(out.file("in_turn"), atlas, quiet, result);
  ASSERT_EQ(result.kind, AllPagesResult::Kind::Written);
  atlas.drawAhead = true;
  QuietProgress slow(std::chrono::milliseconds(5));
  EXPECT_EQ(writeAll(out.file("ahead"), atlas, slow, result), inTurn);
  EXPECT_GT(result.partsDrawnAhead, 0u);

  ASSERT_EQ(inTurn.size(), maps.size());
  const auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++n;
    return n;
  };
  const auto fitLine = [](const std::string& text) {
    const std::size_t at = text.rfind("map.fitBounds(");
    return at == std::string::npos ? std::string() : text.substr(at);
  };
  for (const auto& [name, map] : maps) {
    const std::string& page = inTurn.at(name);
    EXPECT_EQ(count(page, "{\"type\":\"Feature\""), count(map, "\nvar myPath")) << name;
    EXPECT_EQ(fitLine(page), fitLine(map)) << name;
  }
}

TEST_F(DrawnAheadPages, PageModeDrawsAheadAndWritesTheSamePage) {
  TempFolder out;
  CodePage page;
  page.dataPath = dataPath();
  page.title = "all";
  for (const std::uint32_t code : codes_) {
    DrawPart& part = page.parts.emplace_back();
    part.code = code;
    page.arguments.push_back(std::to_string(code));
    // The main river of each system once more, in its own colour.
    DrawPart& river = page.parts.emplace_back();
    river.river = true;
    river.code = mainRiverCode(code);
    river.automatic = false;
    river.color = 0x336699;
    page.arguments.push_back(std::to_string(river.code) + "/336699");
  }
  QuietProgress quiet;
  page.path = out.file("in_turn.htm");
  const CodePageResult inTurn = writeCodePage(page, data_, quiet, DrawOptions{false, {}});
  ASSERT_EQ(inTurn.kind, CodePageResult::Kind::Written);
  EXPECT_EQ(inTurn.partsDrawnAhead, 0u);
  std::size_t streams = data_.streams.size();
  for (const std::uint32_t code : codes_)
    streams += streamsOfRiver(data_, mainRiverCode(code)).size();
  EXPECT_EQ(inTurn.pathCount, static_cast<std::int32_t>(streams));

  page.path = out.file("ahead.htm");
  const CodePageResult ahead = writeCodePage(page, data_, quiet);
  ASSERT_EQ(ahead.kind, CodePageResult::Kind::Written);
  EXPECT_GT(ahead.partsDrawnAhead, 0u);
  EXPECT_EQ(ahead.pathCount, inTurn.pathCount);
  EXPECT_EQ(readFile(out.file("ahead.htm")), readFile(out.file("in_turn.htm")));
  EXPECT_EQ(quiet.matchingNothing, 0);

  // On an atlas page, parts drawn ahead continue the collection that the parts before began.
  DrawOptions atlas;
  atlas.style.atlas = true;
  atlas.drawAhead = false;
  page.path = out.file("atlas_in_turn.htm");
  const CodePageResult atlasInTurn = writeCodePage(page, data_, quiet, atlas);
  ASSERT_EQ(atlasInTurn.kind, CodePageResult::Kind::Written);
  EXPECT_EQ(atlasInTurn.pathCount, inTurn.pathCount);
  atlas.drawAhead = true;
  page.path = out.file("atlas_ahead.htm");
  const CodePageResult atlasAhead = writeCodePage(page, data_, quiet, atlas);
  EXPECT_GT(atlasAhead.partsDrawnAhead, 0u);
  EXPECT_EQ(readFile(out.file("atlas_ahead.htm")), readFile(out.file("atlas_in_turn.htm")));
}

}  // namespace
