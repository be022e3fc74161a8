#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "hydrochart/riverdata/riverdata.h"

namespace {

NodeIdText nodeId(const char* text) {
  NodeIdText id{};
  std::memcpy(id.data(), text, std::min(std::strlen(text), id.size()));
  return id;
}

Stream streamOf(std::uint32_t waterSystem, std::uint64_t river) {
  Stream stream;
  stream.waterSystemCode = waterSystem;
  stream.riverCode = river;
  return stream;
}

TEST(RiverDataIndex, LookupsGiveTheFirstMatchInFileOrder) {
  RiverData data;
  data.curves = {{0, 1, 5}, {2, 3, 9}, {4, 5, 5}, {6, 5, 0}};
  data.points = {{35, 139, 3}, {36, 140, 3}, {37, 141, 1}};
  data.riverNodes = {{3, nodeId("rn_1")},
                     {1, nodeId("rn_2")},
                     {1, nodeId("rn_1")},
                     {3, nodeId("rn_1234567890123")},
                     {1, nodeId("rn_1234567890")}};
  // Bytes after a NUL do not belong to an id text.
  NodeIdText padded = nodeId("rn_7");
  padded[10] = 'x';
  data.riverNodes.push_back({1, padded});
  data.streams = {streamOf(130010, 1300100002), streamOf(130020, 1300200001),
                  streamOf(130010, 1300100001), streamOf(130010, 1300100002)};
  buildRiverDataIndex(data);

  EXPECT_EQ(findCurveIndex(data, 5), 0);
  EXPECT_EQ(findCurveIndex(data, 9), 1);
  EXPECT_EQ(findCurveIndex(data, 0), 3);
  EXPECT_EQ(findCurveIndex(data, 1), -1);
  EXPECT_EQ(findPointIndex(data, 3), 0);
  EXPECT_EQ(findPointIndex(data, 1), 2);
  EXPECT_EQ(findPointIndex(data, 2), -1);
  EXPECT_EQ(findRiverNodeIndex(data, "rn_1"), 0);
  EXPECT_EQ(findRiverNodeIndex(data, "rn_2"), 1);
  EXPECT_EQ(findRiverNodeIndex(data, "rn_"), -1);
  EXPECT_EQ(findRiverNodeIndex(data, "rn_12"), -1);
  EXPECT_EQ(findRiverNodeIndex(data, "rn_7"), 5);
  EXPECT_EQ(findRiverNodeIndex(data, std::string_view("rn_7\0zz", 7)), 5);
  // Ids that agree in their first 13 bytes are one id.
  EXPECT_EQ(findRiverNodeIndex(data, "rn_1234567890"), 3);
  EXPECT_EQ(findRiverNodeIndex(data, "rn_1234567890999"), 3);

  EXPECT_EQ(streamsOfRiver(data, 1300100002), (std::vector<std::int32_t>{0, 3}));
  EXPECT_EQ(streamsOfRiver(data, 1300100001), (std::vector<std::int32_t>{2}));
  EXPECT_TRUE(streamsOfRiver(data, 1300100003).empty());
  EXPECT_EQ(streamsOfWaterSystem(data, 130010), (std::vector<std::int32_t>{0, 2, 3}));
  EXPECT_EQ(streamsOfWaterSystem(data, 130020), (std::vector<std::int32_t>{1}));
  EXPECT_TRUE(streamsOfWaterSystem(data, 1).empty());
}

TEST(RiverDataIndex, ManyStreamsGiveTheSameIndexAsAFewDo) {
  // Enough streams for the index to be built by two threads; the lookups must still see every
  // record, in file order, whichever thread built their part.
  RiverData data;
  for (std::int32_t i = 0; i < 9000; ++i) {
    data.streams.push_back(streamOf(130000 + static_cast<std::uint32_t>(i % 7),
                                    1300000000 + static_cast<std::uint64_t>(i % 11)));
    data.curves.push_back({i, i, 9000 - i});
    data.points.push_back({35, 139, i % 4500});
  }
  buildRiverDataIndex(data);
  for (std::uint32_t system = 0; system < 7; ++system) {
    const std::vector<std::int32_t>& streams = streamsOfWaterSystem(data, 130000 + system);
    ASSERT_EQ(streams.size(), system < 5 ? 1286u : 1285u) << system;
    for (std::size_t k = 0; k < streams.size(); ++k) {
      EXPECT_EQ(streams[k], static_cast<std::int32_t>(system + 7 * k));
    }
  }
  EXPECT_EQ(streamsOfRiver(data, 1300000010).front(), 10);
  EXPECT_EQ(streamsOfRiver(data, 1300000010).size(), 818u);
  EXPECT_EQ(findCurveIndex(data, 9000), 0);
  EXPECT_EQ(findCurveIndex(data, 1), 8999);
  EXPECT_EQ(findPointIndex(data, 4499), 4499);  // the first of the two with that id
}

TEST(RiverDataIndex, IdTextsThatShareANumberStayApart) {
  // Dense numbers with one text per number, then texts that share numbers, then large numbers.
  const std::vector<std::vector<const char*>> sets = {
      {"rn_1", "rn_2", "rn_3", "rn_2"},
      {"rn_7", "rn_007", "pt_7", "rn_7"},
      {"a1", "b1", "1", "a1"},
      {"rn_999999999", "rn_1", "rn_999999999", "x"}};
  for (const auto& ids : sets) {
    RiverData data;
    for (const char* id : ids) data.riverNodes.push_back({0, nodeId(id)});
    buildRiverDataIndex(data);
    for (std::size_t i = 0; i < ids.size(); ++i) {
      std::size_t first = 0;
      while (std::strcmp(ids[first], ids[i]) != 0) ++first;
      EXPECT_EQ(findRiverNodeIndex(data, ids[i]), static_cast<std::int32_t>(first)) << ids[i];
    }
    EXPECT_EQ(findRiverNodeIndex(data, "x_2"), -1);
    EXPECT_EQ(findRiverNodeIndex(data, "rn_4"), -1);
    EXPECT_EQ(findRiverNodeIndex(data, "rn_123456789012"), -1);
    EXPECT_EQ(findRiverNodeIndex(data, ""), -1);
  }

  RiverData data;
  data.points = {{0, 0, 4}, {0, 0, -3}, {0, 0, 4}, {0, 0, 2000000000}};
  buildRiverDataIndex(data);
  EXPECT_EQ(findPointIndex(data, 4), 0);
  EXPECT_EQ(findPointIndex(data, -3), 1);
  EXPECT_EQ(findPointIndex(data, 2000000000), 3);
  EXPECT_EQ(findPointIndex(data, 5), -1);
  data.points.resize(1);
  buildRiverDataIndex(data);
  EXPECT_EQ(findPointIndex(data, 4), 0);
  EXPECT_EQ(findPointIndex(data, -3), -1);
  EXPECT_EQ(findPointIndex(data, 1 << 30), -1);
}

TEST(RiverDataIndex, ManyIdsAndRebuilds) {
  RiverData data;
  for (std::int32_t i = 0; i < 30000; ++i) {
    data.curves.push_back({i, i, (i * 7919) % 20000});  // every id twice, some three times
  }
  buildRiverDataIndex(data);
  std::map<std::int32_t, std::int32_t> first;
  for (std::int32_t i = 0; i < 30000; ++i) first.emplace(data.curves[i].id, i);
  for (const auto& [id, index] : first) ASSERT_EQ(findCurveIndex(data, id), index) << id;
  EXPECT_EQ(findCurveIndex(data, 20000), -1);
  // A rebuild follows the records as they are now; an emptied data set finds nothing.
  data.curves.erase(data.curves.begin());
  buildRiverDataIndex(data);
  EXPECT_EQ(findCurveIndex(data, data.curves[0].id), 0);
  releaseRiverData(data);
  EXPECT_TRUE(data.curves.empty());
  EXPECT_EQ(findCurveIndex(data, 0), -1);
  EXPECT_EQ(findRiverNodeIndex(data, "rn_1"), -1);
  EXPECT_TRUE(streamsOfWaterSystem(data, 0).empty());
}

}  // namespace
