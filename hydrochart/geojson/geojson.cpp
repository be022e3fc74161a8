#include "hydrochart/geojson/geojson.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "hydrochart/mappage/geometry.h"
#include "hydrochart/mappage/pagetext.h"
#include "platform/utf8.h"

namespace {

// Curves of this many positions and more are handed to the output in pieces.
constexpr std::size_t kTextPiece = std::size_t{64} << 10;

void appendUnicodeEscape(std::string& out, unsigned codePoint) {
  char escape[16];
  std::snprintf(escape, sizeof escape, "\\u%04x", codePoint);
  out.append(escape, 6);
}

// Escapes well-formed UTF-8 text into the body of a JSON string.
void appendEscaped(std::string& out, std::string_view text, bool scriptSafe) {
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < size ? static_cast<unsigned char>(text[i + 1]) : 0;
    switch (byte) {
      case '"':
        out.append("\\\"");
        continue;
      case '\\':
        out.append("\\\\");
        continue;
      case '\n':
        out.append("\\n");
        continue;
      case '\r':
        out.append("\\r");
        continue;
      case '\t':
        out.append("\\t");
        continue;
      default:
        break;
    }
    if (byte < 0x20 || byte == 0x7f || (byte == '<' && scriptSafe)) {
      appendUnicodeEscape(out, byte);
    } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
      appendUnicodeEscape(out, next);  // C1 control character
      ++i;
    } else if (byte == 0xe2 && next == 0x80 && i + 2 < size &&
               (text[i + 2] == '\xa8' || text[i + 2] == '\xa9')) {
      // Line and paragraph separators end a line of script in older engines.
      appendUnicodeEscape(out, text[i + 2] == '\xa8' ? 0x2028 : 0x2029);
      i += 2;
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
}

void appendUtf8(std::string& out, char32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xc0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3f)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xe0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3f)));
  } else {
    out.push_back(static_cast<char>(0xf0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3f)));
  }
}

// The character of the reference whose name (between "&" and ";") is `name`, or 0 when it is
// none that XML defines.
char32_t referencedCharacter(std::string_view name) {
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name.size() < 2 || name[0] != '#') return 0;
  const bool hex = name[1] == 'x';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return 0;
  std::uint32_t point = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), point, hex ? 16 : 10);
  if (error != std::errc() || end != digits.data() + digits.size()) return 0;
  const bool character = point != 0 && point <= 0x10ffff && (point < 0xd800 || point > 0xdfff);
  return character ? point : 0;
}

std::string_view riverNameOf(const Stream& stream) {
  return {stream.riverName, strnlen(stream.riverName, sizeof stream.riverName)};
}

// Writes `value` zero-padded to at least `width` digits.
void appendPaddedDecimal(std::string& out, std::uint64_t value, int width) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<int>(end - digits);
  if (length < width) out.append(static_cast<std::size_t>(width - length), '0');
  out.append(digits, end);
}

void appendName(std::string& out, std::string_view name, bool scriptSafe) {
  if (name.find('&') == std::string_view::npos) {
    appendJsonString(out, name, scriptSafe);
  } else {
    appendJsonString(out, resolveXmlReferences(name), scriptSafe);
  }
}

// The label of a water system from the code list, looked up once for the streams of one
// system that follow each other.
const std::string* labelOf(FeatureCollection& collection, std::uint32_t code) {
  if (!collection.labelFound || code != collection.labelCode) {
    collection.labelCode = code;
    collection.label = findWaterSystemLabel(*collection.codeList, code);
    collection.labelFound = true;
  }
  return collection.label;
}

// Writes the positions `first` to `last` of the data set as "[lon,lat]" pairs separated by
// commas, formed in a local block that is handed to `out` a block at a time, and `out` to the
// output when it has grown large (curves may hold very many positions). `writeNumber` has room
// for `numberRoom` characters; `widen` sees each position.
template <typename WriteNumber, typename Widen>
void appendPositions(FeatureCollection& collection, std::int32_t first, std::int32_t last,
                     std::size_t numberRoom, WriteNumber writeNumber, Widen widen) {
  const std::vector<LatLon>& pointList = collection.data->pointList;
  std::string& out = collection.text;
  const std::size_t positionRoom = 2 * numberRoom + 4;
  char block[16384];
  char* end = block;
  for (std::int32_t i = first; i <= last; ++i) {
    if (end + positionRoom > block + sizeof block) {
      out.append(block, end);
      end = block;
      if (out.size() >= kTextPiece) {
        collection.output->append(out);
        out.clear();
      }
    }
    const LatLon& point = pointList[i];
    if (i > first) *end++ = ',';
    *end++ = '[';
    end = writeNumber(end, point.lon);
    *end++ = ',';
    end = writeNumber(end, point.lat);
    *end++ = ']';
    widen(point);
  }
  out.append(block, end);
}

// A position of a page's feature, as the map page writes its numbers.
void appendPagePosition(std::string& out, const Point& point) {
  char buffer[2 * pagetext::kMaxFixed8Length + 4];
  char* end = buffer;
  *end++ = '[';
  end = pagetext::writeFixed8(end, point.lon);
  *end++ = ',';
  end = pagetext::writeFixed8(end, point.lat);
  *end++ = ']';
  out.append(buffer, end);
}

// The members that a page's feature has beyond the export's: the direction of its popup and
// the positions of its node markers.
void appendPageMembers(std::string& out, const RiverData& data, const StreamRecords& records) {
  out.append(R"(,"direction":")").append(streamDirection(data, records));
  out.append(R"(","nodes":[)");
  // Only the first stream of a river looked up the river's own nodes.
  const bool riverNodes = records.nodes[2].kind != NodePoint::Kind::NoReference ||
                          records.nodes[3].kind != NodePoint::Kind::NoReference;
  for (int node = 0; node < (riverNodes ? 4 : 2); ++node) {
    if (node > 0) out.push_back(',');
    if (records.nodes[node].kind == NodePoint::Kind::Found) {
      appendPagePosition(out, data.points[records.nodes[node].point]);
    } else {
      out.append("null");
    }
  }
  out.push_back(']');
}

// Writes the feature of one stream, drawn from `records`, in `color`.
void writeStreamFeature(FeatureCollection& collection, const Stream& stream,
                        const StreamRecords& records, Color color) {
  const RiverData& data = *collection.data;
  const Curve& curve = data.curves[records.curve];
  std::string& out = collection.text;
  out.clear();
  if (collection.featureCount > 0) out.append(",\n");
  out.append(R"({"type":"Feature","properties":{"waterSystemCode":")");
  appendPaddedDecimal(out, stream.waterSystemCode, 6);
  out.append(R"(","waterSystemName":)");
  const std::string* label = labelOf(collection, stream.waterSystemCode);
  if (label != nullptr) {
    appendName(out, *label, collection.scriptSafe);
  } else {
    out.append("null");
  }
  out.append(R"(,"riverCode":")");
  appendPaddedDecimal(out, stream.riverCode, 10);
  out.append(R"(","riverName":)");
  appendName(out, riverNameOf(stream), collection.scriptSafe);
  out.append(R"(,"sectionType":)");
  pagetext::appendDecimal(out, stream.sectionType);
  out.append(R"(,"originalDataType":)");
  pagetext::appendDecimal(out, stream.originalDataType);
  out.append(R"(,"curveId":)");
  pagetext::appendDecimal(out, curve.id);
  out.append(R"(,"lengthKm":)");
  // The length as the page's popup shows it; a line too long for a double has none.
  const double length = curveLength(data.pointList, curve.first, curve.last);
  if (std::isfinite(length)) {
    pagetext::appendFixed(out, length, 3);
  } else {
    out.append("null");
  }
  out.append(R"(,"stroke":"#)");
  // A colour given on the command line may be wider than 24 bits.
  pagetext::appendHex6(out, color & 0xffffffu);
  out.push_back('"');
  MapBounds* const bounds = collection.pageBounds;
  if (bounds != nullptr) appendPageMembers(out, data, records);
  out.append(R"(},"geometry":)");
  // A LineString needs two positions. On a page, a curve of one position is drawn as the map
  // page draws it, a line that stays on that position, and the position widens the view.
  const bool repeatPosition = bounds != nullptr && curve.last == curve.first;
  if (curve.last - curve.first < 1 && !repeatPosition) {
    out.append("null}");
    collection.output->append(out);
    ++collection.featureCount;
    return;
  }
  out.append(R"({"type":"LineString","coordinates":[)");
  if (bounds == nullptr) {
    appendPositions(
        collection, curve.first, curve.last, kMaxShortestNumberLength,
        [](char* at, double value) { return writeShortestNumber(at, value); },
        [](const LatLon&) {});
  } else {
    const auto fixed8 = [](char* at, double value) { return pagetext::writeFixed8(at, value); };
    const auto widen = [bounds](const LatLon& position) { widenBounds(*bounds, position); };
    appendPositions(collection, curve.first, curve.last, pagetext::kMaxFixed8Length, fixed8, widen);
    if (repeatPosition) {
      out.push_back(',');
      appendPositions(collection, curve.first, curve.last, pagetext::kMaxFixed8Length, fixed8,
                      widen);
    }
  }
  out.append("]}}");
  collection.output->append(out);
  ++collection.featureCount;
}

// Streams per block of the every-stream export: a block is formatted by one thread.
constexpr std::size_t kStreamsPerBlock = 256;
// Blocks that the second thread may hold formatted beyond the one being written, which bounds
// the memory they take (a block of generated data is about 350 KB).
constexpr std::size_t kBlocksAhead = 6;

// Writes the features of every stream in blocks of kStreamsPerBlock, in order, into the
// collection's output. With `withSecondThread` a second thread formats blocks into memory
// meanwhile, and so does writeAll() while the block it is to write next is still being formatted;
// such a block is then handed on as it is. The text and the streams told to be left out are the
// same either way, and in the same order.
//
// Either thread takes the first block nobody has taken (`next_`), as long as it is among the
// kBlocksAhead after the one to be written (`current_`). These and the blocks' states are shared
// under one mutex; a block's text belongs to the thread that formats it until it is Formatted,
// then to writeAll().
class StreamBlockWriter {
 public:
  StreamBlockWriter(FeatureCollection& collection, const std::vector<Color>& colors,
                    bool withSecondThread)
      : collection_(collection),
        colors_(colors),
        blockCount_((collection.data->streams.size() + kStreamsPerBlock - 1) / kStreamsPerBlock),
        blocks_(blockCount_) {
    if (withSecondThread && blockCount_ > 1) {
      try {
        helper_ = std::thread([this] { formatAhead(); });
      } catch (const std::system_error&) {
        // No second thread: every block is formatted in turn.
      }
    }
  }
  ~StreamBlockWriter() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (helper_.joinable()) helper_.join();
  }
  StreamBlockWriter(const StreamBlockWriter&) = delete;
  StreamBlockWriter& operator=(const StreamBlockWriter&) = delete;

  // Writes every block; returns the number of streams left out.
  std::int32_t writeAll(Progress& progress) {
    std::int32_t leftOut = 0;
    FeatureCollection aside = collectionLike(collection_);  // for blocks formatted into memory
    std::unique_lock<std::mutex> lock(mutex_);
    while (current_ < blockCount_) {
      const std::size_t i = current_;
      Block& block = blocks_[i];
      if (block.state == BlockState::Formatted) {
        lock.unlock();
        leftOut += handOn(block, progress);
        lock.lock();
      } else if (next_ == i || block.state == BlockState::Failed) {
        next_ = std::max(next_, i + 1);
        lock.unlock();
        leftOut += formatStreams(collection_, i,
                                 [&](const DrawResult& result) { progress.streamLeftOut(result); });
        lock.lock();
      } else if (next_ < blockCount_ && next_ <= i + kBlocksAhead) {
        // Block i is being formatted: format a later one meanwhile.
        const std::size_t j = next_++;
        blocks_[j].state = BlockState::Formatting;
        lock.unlock();
        const BlockState state = formatIntoMemory(aside, j, false);
        lock.lock();
        blocks_[j].state = state;
        continue;
      } else {
        changed_.wait(lock);
        continue;
      }
      block.text.reset();
      block.leftOut = {};
      block.state = BlockState::Written;
      ++current_;
      changed_.notify_all();
    }
    return leftOut;
  }

  std::size_t blocksFormattedAhead() const { return blocksFormattedAhead_; }

 private:
  enum class BlockState {
    Open,        // nobody has taken it
    Formatting,  // a thread formats it into memory
    Formatted,   // `text` holds it
    Failed,      // there was no memory for it: writeAll() formats it in turn
    Written,
  };
  struct Block {
    BlockState state = BlockState::Open;
    std::optional<OutputFile> text;  // in memory, once formatted ahead
    std::int32_t features = 0;
    std::vector<DrawResult> leftOut;
    bool bySecondThread = false;
  };

  // A collection of the same data and form as `collection`, with a label lookup of its own.
  static FeatureCollection collectionLike(const FeatureCollection& collection) {
    FeatureCollection like;
    like.data = collection.data;
    like.codeList = collection.codeList;
    like.scriptSafe = collection.scriptSafe;
    return like;
  }

  // Formats the streams of block `i` into `collection`, telling each stream left out to
  // `leftOut`; returns their number.
  template <typename LeftOut>
  std::int32_t formatStreams(FeatureCollection& collection, std::size_t i, LeftOut&& leftOut) {
    const RiverData& data = *collection.data;
    const std::size_t end = std::min(data.streams.size(), (i + 1) * kStreamsPerBlock);
    std::int32_t count = 0;
    for (std::size_t s = i * kStreamsPerBlock; s < end; ++s) {
      const Stream& stream = data.streams[s];
      const StreamRecords records = findStreamRecords(data, stream, true);
      const DrawResult result = streamOutcome(stream, records);
      if (!result.drawn()) {
        leftOut(result);
        ++count;
        continue;
      }
      writeStreamFeature(collection, stream, records, colors_[s]);
    }
    return count;
  }

  // Formats taken block `j` into its own text in memory through `collection`; the state it is
  // in then. `bySecondThread` tells which thread formats it.
  BlockState formatIntoMemory(FeatureCollection& collection, std::size_t j, bool bySecondThread) {
    Block& block = blocks_[j];
    try {
      block.text.emplace().openInMemory();
      collection.output = &*block.text;
      collection.featureCount = 0;
      formatStreams(collection, j,
                    [&](const DrawResult& result) { block.leftOut.push_back(result); });
      block.features = collection.featureCount;
      block.bySecondThread = bySecondThread;
      return BlockState::Formatted;
    } catch (const std::bad_alloc&) {
      block.text.reset();
      block.leftOut.clear();
      return BlockState::Failed;
    }
  }

  // Hands on the text of formatted block `block` and tells its streams left out.
  std::int32_t handOn(Block& block, Progress& progress) {
    if (collection_.featureCount > 0 && block.features > 0) collection_.output->append(",\n");
    collection_.output->append(std::move(*block.text));
    collection_.featureCount += block.features;
    for (const DrawResult& result : block.leftOut) progress.streamLeftOut(result);
    if (block.bySecondThread) ++blocksFormattedAhead_;
    return static_cast<std::int32_t>(block.leftOut.size());
  }

  // The second thread.
  void formatAhead() {
    FeatureCollection collection = collectionLike(collection_);
    for (;;) {
      std::size_t j = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || next_ <= current_ + kBlocksAhead; });
        if (stopping_ || next_ >= blockCount_) return;
        j = next_++;
        blocks_[j].state = BlockState::Formatting;
      }
      const BlockState state = formatIntoMemory(collection, j, true);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        blocks_[j].state = state;
      }
      changed_.notify_all();
      if (state == BlockState::Failed) return;
    }
  }

  FeatureCollection& collection_;
  const std::vector<Color>& colors_;
  const std::size_t blockCount_;
  std::vector<Block> blocks_;
  std::size_t blocksFormattedAhead_ = 0;  // writeAll()'s own count

  std::mutex mutex_;  // guards what follows, and the blocks' `state`
  std::condition_variable changed_;
  std::size_t next_ = 0;
  std::size_t current_ = 0;
  bool stopping_ = false;

  std::thread helper_;
};

}  // namespace

DrawResult appendSelectedRivers(const RiverData& data, std::uint64_t code, bool automatic,
                                Color color, std::int32_t& colorIndex,
                                std::vector<SelectedRiver>& rivers) {
  DrawPart part;
  part.river = code >= kSmallestRiverCode;
  part.code = code;
  part.automatic = automatic;
  part.color = color;
  std::vector<PlannedRiver> planned;
  DrawResult result = planPartRivers(data, part, colorIndex, planned);
  if (!result.drawn()) return result;
  try {
    rivers.insert(rivers.end(), planned.begin(), planned.end());
  } catch (const std::bad_alloc&) {
    result.kind = DrawResult::Kind::RiverListNotAllocated;
    return result;
  }
  colorIndex += static_cast<std::int32_t>(planned.size());
  return {};
}

namespace {

void startFeatures(FeatureCollection& collection, OutputFile& output, const RiverData& data,
                   const WaterSystemCodeList& codeList, bool scriptSafe) {
  collection.output = &output;
  collection.data = &data;
  collection.codeList = &codeList;
  collection.scriptSafe = scriptSafe;
  collection.pageBounds = nullptr;
  collection.featureCount = 0;
  collection.labelFound = false;
}

}  // namespace

void appendCollectionHead(std::string& out, std::string_view name, bool scriptSafe) {
  out.append(R"({"type":"FeatureCollection",)");
  if (!name.empty()) {
    out.append(R"("name":)");
    appendJsonString(out, name, scriptSafe);
    out.push_back(',');
  }
  out.append("\"features\":[\n");
}

void openFeatureCollection(FeatureCollection& collection, OutputFile& output, const RiverData& data,
                           const WaterSystemCodeList& codeList, std::string_view name,
                           bool scriptSafe) {
  startFeatures(collection, output, data, codeList, scriptSafe);
  collection.text.clear();
  appendCollectionHead(collection.text, name, scriptSafe);
  output.append(collection.text);
}

void startPageFeatures(FeatureCollection& collection, OutputFile& output, const RiverData& data,
                       const WaterSystemCodeList& codeList, MapBounds& bounds,
                       std::int32_t featureCount) {
  startFeatures(collection, output, data, codeList, true);
  collection.pageBounds = &bounds;
  collection.featureCount = featureCount;
}

DrawResult writeRiverFeatures(FeatureCollection& collection, std::uint64_t riverCode, Color color) {
  const RiverData& data = *collection.data;
  bool firstStream = true;
  for (const std::int32_t streamIndex : streamsOfRiver(data, riverCode)) {
    const Stream& stream = data.streams[streamIndex];
    const StreamRecords records = findStreamRecords(data, stream, firstStream);
    DrawResult result = streamOutcome(stream, records);
    if (!result.drawn()) return result;
    writeStreamFeature(collection, stream, records, color);
    firstStream = false;
  }
  return {};
}

EveryStreamResult writeEveryStreamFeatures(FeatureCollection& collection, Progress& progress,
                                           const DrawOptions& options) {
  const RiverData& data = *collection.data;
  // Each stream in the colour of its river on the page of its water system.
  std::vector<Color> colors(data.streams.size(), 0);
  for (const std::uint32_t waterSystemCode : collectWaterSystemCodes(data)) {
    std::int32_t colorIndex = 0;
    std::vector<SelectedRiver> rivers;
    appendSelectedRivers(data, waterSystemCode, true, 0, colorIndex, rivers);
    for (const SelectedRiver& river : rivers) {
      for (const std::int32_t streamIndex : streamsOfRiver(data, river.riverCode)) {
        if (data.streams[streamIndex].waterSystemCode == waterSystemCode) {
          colors[streamIndex] = river.color;
        }
      }
    }
  }
  StreamBlockWriter writer(collection, colors, options.drawAhead);
  EveryStreamResult result;
  result.leftOut = writer.writeAll(progress);
  result.blocksFormattedAhead = writer.blocksFormattedAhead();
  return result;
}

void closeFeatureCollection(FeatureCollection& collection) { collection.output->append("\n]}\n"); }

void appendJsonString(std::string& out, std::string_view text, bool scriptSafe) {
  out.push_back('"');
  if (platform::isWellFormedUtf8(text)) {
    appendEscaped(out, text, scriptSafe);
  } else {
    appendEscaped(out, platform::replaceIllFormedUtf8(text), scriptSafe);
  }
  out.push_back('"');
}

std::string resolveXmlReferences(std::string_view text) {
  std::string resolved;
  resolved.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t amp = text.find('&', at);
    if (amp == std::string_view::npos) break;
    resolved.append(text.substr(at, amp - at));
    const std::size_t semicolon = text.find(';', amp + 1);
    const char32_t point = semicolon == std::string_view::npos
                               ? 0
                               : referencedCharacter(text.substr(amp + 1, semicolon - amp - 1));
    if (point == 0) {
      resolved.push_back('&');
      at = amp + 1;
    } else {
      appendUtf8(resolved, point);
      at = semicolon + 1;
    }
  }
  resolved.append(text.substr(std::min(at, text.size())));
  return resolved;
}

char* writeShortestNumber(char* out, double value) {
  // Coordinates are mostly decimals of at most eight places read from the data file. When the
  // nearest double to such a decimal is `value`, no other decimal of that few places is (the
  // doubles of 1 to 4096 lie far closer together than 10^-8), so it is the shortest text, and
  // fixed notation is shorter than exponent notation there. Anything else goes to to_chars.
  const double magnitude = std::fabs(value);
  if (magnitude >= 1.0 && magnitude < 4096.0) {
    const auto digits = static_cast<std::uint64_t>(magnitude * 1e8 + 0.5);
    if (static_cast<double>(digits) / 1e8 == magnitude) {
      // "W.FFFFFFFF", then without the zeros at its end (and without the point after them).
      char* end = pagetext::detail::writeScaled8(out, std::signbit(value), digits);
      while (end[-1] == '0') --end;
      if (end[-1] == '.') --end;
      return end;
    }
  }
  return std::to_chars(out, out + kMaxShortestNumberLength, value).ptr;
}
