// gen_w05: writes a synthetic W05 river data file in the published line layout, for tests and
// benchmarks. Each water system is a main river with tributaries; every stream has its own
// gml:Curve, and its start and end nodes are ksj:RiverNode elements placed on gml:Point
// elements that come before them. The same options and seed always give the same file.
//
//   gen_w05 [--streams N] [--water-systems N] [--positions-per-curve N] [--seed N]
//           [--first-code N] [--area S,W,N,E] [--order KINDS|interleaved] [--list-codes]
//           [--out FILE]

#include <algorithm>
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The four kinds of elements, which a file may hold in any order.
enum class Kind { Curves, Points, Streams, RiverNodes };
constexpr std::array<std::string_view, 4> kKindNames = {"curves", "points", "streams", "nodes"};

struct Options {
  std::uint64_t streams = 50000;
  std::uint64_t waterSystems = 700;
  std::uint64_t positionsPerCurve = 40;
  std::uint64_t seed = 1;
  std::uint64_t firstCode = 810001;
  bool hasArea = false;
  double area[4] = {0, 0, 0, 0};  // south, west, north, east
  bool listCodes = false;
  std::string out = "W05-00_00-g.xml";
  std::array<Kind, 4> order = {Kind::Curves, Kind::Points, Kind::Streams, Kind::RiverNodes};
  bool interleaved = false;
};

constexpr const char* kUsage =
    "usage: gen_w05 [--streams N] [--water-systems N] [--positions-per-curve N] [--seed N]\n"
    "               [--first-code N] [--area S,W,N,E] [--order KINDS|interleaved]\n"
    "               [--list-codes] [--out FILE]\n"
    "Writes a synthetic W05 river data file (default W05-00_00-g.xml: 50000 streams in 700\n"
    "water systems, 40 positions per curve, about 100 MB). Water-system codes run from\n"
    "--first-code up; river codes are the water-system code * 10000 + 1, 2, ...\n"
    "--order gives the order of the four element kinds, each once, separated by commas\n"
    "(default curves,points,streams,nodes), or interleaved: each stream next to its curve,\n"
    "its points and river nodes.\n"
    "--list-codes prints the water-system codes of the file on one line.\n";

// splitmix64: a small generator whose output is the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  double range(double low, double high) { return low + (high - low) * unit(); }
  std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }

 private:
  std::uint64_t state_;
};

struct Box {
  double south, west, north, east;
};

// Land areas of Japan in which the river mouths are placed, one after another.
constexpr Box kRegions[] = {
    {42.6, 141.4, 43.9, 144.4},  // Hokkaido
    {37.6, 139.8, 40.4, 141.3},  // Tohoku
    {35.5, 139.0, 36.6, 140.3},  // Kanto
    {35.3, 136.6, 36.8, 138.4},  // Chubu
    {34.4, 135.2, 35.3, 136.3},  // Kinki
    {34.5, 132.1, 35.3, 134.0},  // Chugoku
    {33.4, 132.8, 34.0, 134.3},  // Shikoku
    {31.6, 130.3, 33.5, 131.5},  // Kyushu
};

// Characters of the synthetic river names (place-name kanji), each 3 bytes of UTF-8.
constexpr std::string_view kNameCharacters[] = {
    "多", "摩", "荒", "利", "根", "信", "濃", "木", "曽", "長", "良", "石", "狩", "北",
    "上", "天", "竜", "大", "井", "富", "士", "安", "倍", "相", "模", "鶴", "見", "江",
    "戸", "中", "野", "浅", "秋", "黒", "目", "白", "高", "梁", "吉", "筑", "後", "那",
    "賀", "阿", "武", "隈", "最", "淀", "紀", "熊", "野", "日", "置", "鬼", "怒", "小",
    "貝", "渡", "良", "瀬", "久", "慈", "新", "宮", "由", "神", "田", "境", "鳴", "瀬"};
constexpr std::size_t kNameCharacterCount = sizeof kNameCharacters / sizeof kNameCharacters[0];

std::string makeRiverName(Random& random) {
  std::string name;
  const std::uint64_t length = 1 + random.below(3);  // 1 to 3 characters before 川
  for (std::uint64_t i = 0; i < length; ++i) {
    name += kNameCharacters[random.below(kNameCharacterCount)];
  }
  name += "川";
  return name;
}

struct Node {
  double lat, lon;
};

struct StreamPlan {
  std::uint32_t waterSystemCode;
  std::uint64_t riverCode;
  std::int32_t sectionType;
  std::int32_t originalDataType;
  std::uint32_t startNode, endNode;            // stream nodes (0-based)
  std::uint32_t riverStartNode, riverEndNode;  // river nodes of its river
  std::uint32_t nameIndex;
};

struct Plan {
  std::vector<Node> nodes;
  std::vector<StreamPlan> streams;
  std::vector<std::string> names;
  std::vector<std::uint32_t> codes;  // water-system codes that hold streams
};

std::uint32_t addNode(Plan& plan, double lat, double lon) {
  plan.nodes.push_back(Node{lat, lon});
  return static_cast<std::uint32_t>(plan.nodes.size() - 1);
}

// Nodes from (lat0, lon0) to (lat1, lon1) in `steps` steps: the first node is given, the
// others are placed along the line with a sideways wobble; returns the node numbers.
std::vector<std::uint32_t> chainNodes(Plan& plan, Random& random, std::uint32_t firstNode,
                                      double lat1, double lon1, std::uint64_t steps, bool lastIsNew,
                                      std::uint32_t lastNode) {
  std::vector<std::uint32_t> chain{firstNode};
  const Node start = plan.nodes[firstNode];
  for (std::uint64_t i = 1; i <= steps; ++i) {
    if (i == steps && !lastIsNew) {
      chain.push_back(lastNode);
      break;
    }
    const double t = static_cast<double>(i) / static_cast<double>(steps);
    const double wobble = i == steps ? 0.0 : random.range(-0.02, 0.02);
    chain.push_back(addNode(plan, start.lat + (lat1 - start.lat) * t + wobble,
                            start.lon + (lon1 - start.lon) * t - wobble));
  }
  return chain;
}

// The streams of river number `k` of water system `code`, one between each two nodes of `chain`.
void addStreams(Plan& plan, Random& random, std::uint32_t code, std::uint64_t k,
                const std::vector<std::uint32_t>& chain, std::uint32_t nameIndex) {
  const bool mainRiver = k == 1;
  for (std::size_t s = 0; s + 1 < chain.size(); ++s) {
    StreamPlan stream{};
    stream.waterSystemCode = code;
    stream.riverCode = std::uint64_t{code} * 10000 + k;
    stream.sectionType = mainRiver ? 1 : static_cast<std::int32_t>(2 + random.below(2));
    stream.originalDataType = static_cast<std::int32_t>(1 + random.below(3));
    stream.startNode = chain[s];
    stream.endNode = chain[s + 1];
    stream.riverStartNode = chain.front();
    stream.riverEndNode = chain.back();
    stream.nameIndex = nameIndex;
    plan.streams.push_back(stream);
  }
}

Plan makePlan(const Options& options) {
  Plan plan;
  Random random(options.seed);
  plan.streams.reserve(options.streams);
  std::uint64_t streamsLeft = options.streams;
  for (std::uint64_t w = 0; w < options.waterSystems; ++w) {
    const std::uint64_t share = options.streams / options.waterSystems +
                                (w < options.streams % options.waterSystems ? 1 : 0);
    const std::uint64_t systemStreams = std::min(share, streamsLeft);
    if (systemStreams == 0) continue;
    streamsLeft -= systemStreams;
    const auto code = static_cast<std::uint32_t>(options.firstCode + w);
    plan.codes.push_back(code);

    const Box box = options.hasArea
                        ? Box{options.area[0], options.area[1], options.area[2], options.area[3]}
                        : kRegions[w % (sizeof kRegions / sizeof kRegions[0])];
    const double mouthLat = random.range(box.south, box.north);
    const double mouthLon = random.range(box.west, box.east);
    std::vector<std::uint32_t> systemNodes;  // nodes a tributary may flow into

    std::uint64_t used = 0;
    for (std::uint64_t k = 1; used < systemStreams; ++k) {
      const bool mainRiver = k == 1;
      // The main river takes 3 to 8 streams, but no more than a third of a small system.
      const std::uint64_t wanted =
          mainRiver ? std::min(std::max<std::uint64_t>(systemStreams / 3, 1), 3 + random.below(6))
                    : 1 + random.below(4);
      const std::uint64_t length = std::min(systemStreams - used, wanted);
      const auto nameIndex = static_cast<std::uint32_t>(plan.names.size());
      plan.names.push_back(makeRiverName(random));

      std::vector<std::uint32_t> chain;
      const double angle = random.range(0.0, 2.0 * std::numbers::pi);
      if (mainRiver) {
        const double reach = random.range(0.1, 0.4);
        const std::uint32_t source =
            addNode(plan, mouthLat + reach * std::sin(angle), mouthLon + reach * std::cos(angle));
        chain = chainNodes(plan, random, source, mouthLat, mouthLon, length, true, 0);
      } else {
        const std::uint32_t confluence = systemNodes[random.below(systemNodes.size())];
        const double reach = random.range(0.03, 0.12);
        const Node at = plan.nodes[confluence];
        const std::uint32_t source =
            addNode(plan, at.lat + reach * std::sin(angle), at.lon + reach * std::cos(angle));
        chain = chainNodes(plan, random, source, at.lat, at.lon, length, false, confluence);
      }
      for (std::size_t i = 1; i < chain.size(); ++i) systemNodes.push_back(chain[i]);

      addStreams(plan, random, code, k, chain, nameIndex);
      used += length;
    }
  }
  return plan;
}

// Output in large blocks; coordinates printed with 8 decimals by integer arithmetic.
class Writer {
 public:
  explicit Writer(std::FILE* file) : file_(file) { buffer_.reserve(kFlushSize + 4096); }
  ~Writer() { flush(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  Writer& operator<<(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kFlushSize) flush();
    return *this;
  }
  Writer& operator<<(std::uint64_t value) {
    char digits[24];
    const int n = std::snprintf(digits, sizeof digits, "%" PRIu64, value);
    return *this << std::string_view(digits, static_cast<std::size_t>(n));
  }
  void degrees(double value) {
    const auto scaled = static_cast<std::int64_t>(std::llround(value * 1e8));
    const std::uint64_t magnitude = static_cast<std::uint64_t>(scaled < 0 ? -scaled : scaled);
    char text[32];
    const int n =
        std::snprintf(text, sizeof text, "%s%" PRIu64 ".%08" PRIu64, scaled < 0 ? "-" : "",
                      magnitude / 100000000, magnitude % 100000000);
    *this << std::string_view(text, static_cast<std::size_t>(n));
  }
  bool flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
      failed_ = true;
    }
    buffer_.clear();
    return !failed_;
  }
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kFlushSize = std::size_t{1} << 20;
  std::FILE* file_;
  std::string buffer_;
  bool failed_ = false;
};

void writeHeader(Writer& out, const Plan& plan, const Options& options) {
  double south = 90, west = 180, north = -90, east = -180;
  for (const Node& node : plan.nodes) {
    south = std::min(south, node.lat);
    north = std::max(north, node.lat);
    west = std::min(west, node.lon);
    east = std::max(east, node.lon);
  }
  if (plan.nodes.empty()) south = west = north = east = 0;

  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<!-- Synthetic W05 river data made by gen_w05 (seed " << options.seed
      << "): invented rivers, not survey data. -->\n"
      << "<ksj:Dataset gml:id=\"W05Dataset\" "
         "xmlns:ksj=\"http://nlftp.mlit.go.jp/ksj/schemas/ksj-app\""
         " xmlns:gml=\"http://www.opengis.net/gml/3.2\" "
         "xmlns:xlink=\"http://www.w3.org/1999/xlink\""
         " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\""
         "http://nlftp.mlit.go.jp/ksj/schemas/ksj-app KsjAppSchema-W05-v2_0.xsd\">\n"
      << "<gml:description>国土数値情報 河川データ（合成）</gml:description>\n"
      << "<gml:boundedBy>\n"
      << "\t<gml:EnvelopeWithTimePeriod srsName=\"JGD2000 / (B, L)\" frame=\"GC / JST\">\n"
      << "\t\t<gml:lowerCorner>";
  out.degrees(std::floor(south));
  out << " ";
  out.degrees(std::floor(west));
  out << "</gml:lowerCorner>\n\t\t<gml:upperCorner>";
  out.degrees(std::ceil(north));
  out << " ";
  out.degrees(std::ceil(east));
  out << "</gml:upperCorner>\n"
      << "\t\t<gml:beginPosition calendarEraName=\"西暦\">2006</gml:beginPosition>\n"
      << "\t\t<gml:endPosition indeterminatePosition=\"unknown\"/>\n"
      << "\t</gml:EnvelopeWithTimePeriod>\n"
      << "</gml:boundedBy>\n"
      << "<!--図形-->\n";
}

void writeCurve(Writer& out, const Plan& plan, const Options& options, std::size_t i) {
  const std::uint64_t positions = std::max<std::uint64_t>(options.positionsPerCurve, 2);
  const StreamPlan& stream = plan.streams[i];
  const Node from = plan.nodes[stream.startNode];
  const Node to = plan.nodes[stream.endNode];
  Random wobble(options.seed * 0x100000001b3ULL + i);
  out << "<gml:Curve gml:id=\"cv_" << std::uint64_t{i + 1} << "\">\n"
      << "\t<gml:segments>\n\t\t<gml:LineStringSegment>\n\t\t\t<gml:posList>\n";
  for (std::uint64_t p = 0; p < positions; ++p) {
    const double t = static_cast<double>(p) / static_cast<double>(positions - 1);
    // The ends lie exactly on the nodes; the line between them meanders a little.
    const double side =
        (p == 0 || p + 1 == positions)
            ? 0.0
            : 0.004 * std::sin(t * 9.0 + static_cast<double>(i)) + wobble.range(-0.0008, 0.0008);
    out.degrees(from.lat + (to.lat - from.lat) * t + side);
    out << " ";
    out.degrees(from.lon + (to.lon - from.lon) * t - side);
    out << "\n";
  }
  out << "\t\t\t</gml:posList>\n\t\t</gml:LineStringSegment>\n\t</gml:segments>\n</gml:Curve>\n";
}

void writePoint(Writer& out, const Plan& plan, std::size_t n) {
  out << "<gml:Point gml:id=\"pt_" << std::uint64_t{n + 1} << "\">\n\t<gml:pos>";
  out.degrees(plan.nodes[n].lat);
  out << " ";
  out.degrees(plan.nodes[n].lon);
  out << "</gml:pos>\n</gml:Point>\n";
}

void writeStream(Writer& out, const Plan& plan, std::size_t i) {
  auto nodeRef = [&out](std::string_view element, std::uint32_t node) {
    out << "\t<ksj:" << element << " xlink:href=\"#rn_" << std::uint64_t{node + 1} << "\"/>\n";
  };
  const StreamPlan& stream = plan.streams[i];
  out << "<ksj:Stream gml:id=\"st_" << std::uint64_t{i + 1} << "\">\n"
      << "\t<ksj:location xlink:href=\"#cv_" << std::uint64_t{i + 1} << "\"/>\n"
      << "\t<ksj:waterSystemCode codeSpace=\"WaterSystemTypeCode.xml\">"
      << std::uint64_t{stream.waterSystemCode} << "</ksj:waterSystemCode>\n"
      << "\t<ksj:riverCode codeSpace=\"RiverTypeCode.xml\">" << stream.riverCode
      << "</ksj:riverCode>\n"
      << "\t<ksj:sectionType>" << std::uint64_t(stream.sectionType) << "</ksj:sectionType>\n"
      << "\t<ksj:riverName>" << plan.names[stream.nameIndex] << "</ksj:riverName>\n"
      << "\t<ksj:originalDataType>" << std::uint64_t(stream.originalDataType)
      << "</ksj:originalDataType>\n"
      << "\t<ksj:flowDirection>true</ksj:flowDirection>\n";
  nodeRef("startRiverNode", stream.riverStartNode);
  nodeRef("endRiverNode", stream.riverEndNode);
  nodeRef("startStreamNode", stream.startNode);
  nodeRef("endStreamNode", stream.endNode);
  out << "</ksj:Stream>\n";
}

void writeRiverNode(Writer& out, std::size_t n) {
  out << "<ksj:RiverNode gml:id=\"rn_" << std::uint64_t{n + 1} << "\">\n"
      << "\t<ksj:position xlink:href=\"#pt_" << std::uint64_t{n + 1} << "\"/>\n"
      << "</ksj:RiverNode>\n";
}

// Element `i` of a kind.
void writeElement(Writer& out, const Plan& plan, const Options& options, Kind kind, std::size_t i) {
  switch (kind) {
    case Kind::Curves:
      writeCurve(out, plan, options, i);
      break;
    case Kind::Points:
      writePoint(out, plan, i);
      break;
    case Kind::Streams:
      writeStream(out, plan, i);
      break;
    case Kind::RiverNodes:
      writeRiverNode(out, i);
      break;
  }
}

// Every element of each kind in turn, in the order of the options; the features (streams and
// river nodes) follow a comment that says so.
void writeSections(Writer& out, const Plan& plan, const Options& options) {
  bool featureComment = false;
  for (const Kind kind : options.order) {
    if (!featureComment && (kind == Kind::Streams || kind == Kind::RiverNodes)) {
      out << "<!--地物-->\n";
      featureComment = true;
    }
    const std::size_t count =
        kind == Kind::Curves || kind == Kind::Streams ? plan.streams.size() : plan.nodes.size();
    for (std::size_t i = 0; i < count; ++i) writeElement(out, plan, options, kind, i);
  }
}

// The kinds take turns: each stream with its curve, and between them the points and then the
// river nodes whose share of the file has come, so that every node follows its point.
void writeInterleaved(Writer& out, const Plan& plan, const Options& options) {
  const std::size_t streams = plan.streams.size();
  const std::size_t nodes = plan.nodes.size();
  std::size_t nextNode = 0;
  for (std::size_t i = 0; i < streams; ++i) {
    const std::size_t nodeEnd = i + 1 == streams ? nodes : nodes * (i + 1) / streams;
    writeCurve(out, plan, options, i);
    for (std::size_t n = nextNode; n < nodeEnd; ++n) writePoint(out, plan, n);
    writeStream(out, plan, i);
    for (std::size_t n = nextNode; n < nodeEnd; ++n) writeRiverNode(out, n);
    nextNode = nodeEnd;
  }
  for (std::size_t n = nextNode; n < nodes; ++n) writePoint(out, plan, n);
  for (std::size_t n = nextNode; n < nodes; ++n) writeRiverNode(out, n);
}

void writeFile(Writer& out, const Plan& plan, const Options& options) {
  writeHeader(out, plan, options);
  if (options.interleaved) {
    writeInterleaved(out, plan, options);
  } else {
    writeSections(out, plan, options);
  }
  out << "</ksj:Dataset>\n";
}

bool readCount(const char* text, std::uint64_t& value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoull(text, &end, 10);
  return errno == 0 && *end == '\0';
}

// "interleaved", or the four kind names once each, separated by commas.
bool readOrder(const char* text, Options& options) {
  if (text == nullptr) return false;
  std::string_view rest = text;
  if (rest == "interleaved") {
    options.interleaved = true;
    return true;
  }
  std::array<bool, 4> seen{};
  for (std::size_t k = 0; k < 4; ++k) {
    const std::size_t comma = rest.find(',');
    const std::string_view name = rest.substr(0, comma);
    const auto* const known = std::find(kKindNames.begin(), kKindNames.end(), name);
    if (known == kKindNames.end() || seen[static_cast<std::size_t>(known - kKindNames.begin())]) {
      return false;
    }
    seen[static_cast<std::size_t>(known - kKindNames.begin())] = true;
    options.order[k] = static_cast<Kind>(known - kKindNames.begin());
    if ((comma == std::string_view::npos) != (k == 3)) return false;
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  options.interleaved = false;
  return true;
}

bool readArea(const char* text, double area[4]) {
  if (text == nullptr) return false;
  char* end = nullptr;
  for (int i = 0; i < 4; ++i) {
    area[i] = std::strtod(text, &end);
    if (end == text || (i < 3 && *end != ',') || (i == 3 && *end != '\0')) return false;
    text = end + 1;
  }
  return area[0] < area[2] && area[1] < area[3];
}

// 0 when the options are usable, 1 for help, 2 for a usage error (message printed).
int parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = true;
    if (name == "-h" || name == "--help") {
      std::fputs(kUsage, stdout);
      return 1;
    } else if (name == "--list-codes") {
      options.listCodes = true;
      continue;
    } else if (name == "--streams") {
      ok = readCount(value, options.streams);
    } else if (name == "--water-systems") {
      ok = readCount(value, options.waterSystems) && options.waterSystems > 0;
    } else if (name == "--positions-per-curve") {
      ok = readCount(value, options.positionsPerCurve) && options.positionsPerCurve >= 2;
    } else if (name == "--seed") {
      ok = readCount(value, options.seed);
    } else if (name == "--first-code") {
      ok = readCount(value, options.firstCode);
    } else if (name == "--area") {
      ok = readArea(value, options.area);
      options.hasArea = true;
    } else if (name == "--order") {
      ok = readOrder(value, options);
    } else if (name == "--out") {
      ok = value != nullptr && *value != '\0';
      if (ok) options.out = value;
    } else {
      std::fprintf(stderr, "gen_w05: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "gen_w05: bad or missing value for %s\n%s", argv[i], kUsage);
      return 2;
    }
    ++i;
  }
  if (options.firstCode + options.waterSystems > 1000000) {
    std::fputs("gen_w05: water-system codes must stay below 1000000\n", stderr);
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = parseOptions(argc, argv, options);
  if (parsed != 0) return parsed == 1 ? 0 : 2;

  const Plan plan = makePlan(options);
  std::FILE* file = std::fopen(options.out.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "gen_w05: cannot create %s: %s\n", options.out.c_str(),
                 std::strerror(errno));
    return 1;
  }
  bool ok;
  {
    Writer out(file);
    writeFile(out, plan, options);
    ok = out.flush();
  }
  if (std::fclose(file) != 0 || !ok) {
    std::fprintf(stderr, "gen_w05: cannot write %s\n", options.out.c_str());
    return 1;
  }
  if (options.listCodes) {
    for (std::size_t i = 0; i < plan.codes.size(); ++i) {
      std::printf(i == 0 ? "%u" : " %u", static_cast<unsigned>(plan.codes[i]));
    }
    std::printf("\n");
  }
  return 0;
}
