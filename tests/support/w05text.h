// Small W05 river data texts with the four element kinds in any order, or interleaved, for the
// tests and the fuzzing of the split load. Every choice (counts, ids, references, line forms)
// comes from a Choices source: seeded random numbers in tests, the fuzz input in fuzzing.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace w05text {

enum Kind { kCurves, kPoints, kStreams, kRiverNodes };
constexpr std::array<const char*, 4> kKindNames = {"curves", "points", "streams", "nodes"};

class Choices {
 public:
  virtual ~Choices() = default;
  // A number in [0, n), n >= 1.
  virtual unsigned pick(unsigned n) = 0;
  bool chance(unsigned inN) { return pick(inN) == 0; }
};

// splitmix64: the same choices on every platform for a seed.
class RandomChoices : public Choices {
 public:
  explicit RandomChoices(std::uint64_t seed) : state_(seed) {}
  unsigned pick(unsigned n) override {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<unsigned>((z ^ (z >> 31)) % n);
  }

 private:
  std::uint64_t state_;
};

// Choices read from bytes, 0 once they run out.
class ByteChoices : public Choices {
 public:
  ByteChoices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  unsigned pick(unsigned n) override {
    if (n <= 1 || next_ >= size_) return 0;
    return data_[next_++] % n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
};

struct Layout {
  std::array<Kind, 4> order = {kCurves, kPoints, kStreams, kRiverNodes};
  bool interleaved = false;  // each element's kind chosen among the kinds with elements left
  unsigned elementsPerKind = 20;
  // Only the published line forms (LF line ends, no comments or empty lines between elements):
  // every line between elements can start a part. Otherwise the choices also pick CR LF ends,
  // comments over lines, empty lines, unusual numbers and elements with more than one row.
  bool plainForms = true;
  bool crLf = false;  // CR LF line ends throughout
};

// Builds one text from a layout and the choices.
class TextBuilder {
 public:
  TextBuilder(const Layout& layout, Choices& choices) : layout_(layout), choices_(choices) {}

  std::string build() {
    const bool shiftJis = !layout_.plainForms && choices_.chance(4);
    line(shiftJis ? "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"
                  : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    line("<ksj:Dataset gml:id=\"W05Dataset\">");
    std::array<unsigned, 4> left;
    left.fill(layout_.elementsPerKind);
    std::size_t current = 0;
    for (;;) {
      const int kind = nextKind(left, current);
      if (kind < 0) break;
      --left[static_cast<std::size_t>(kind)];
      if (!layout_.plainForms) between();
      element(static_cast<Kind>(kind), shiftJis);
    }
    line("</ksj:Dataset>");
    return text_;
  }

 private:
  int nextKind(const std::array<unsigned, 4>& left, std::size_t& current) {
    if (layout_.interleaved) {
      std::vector<int> open;
      for (int k = 0; k < 4; ++k) {
        if (left[static_cast<std::size_t>(k)] > 0) open.push_back(k);
      }
      if (open.empty()) return -1;
      return open[choices_.pick(static_cast<unsigned>(open.size()))];
    }
    while (current < 4 && left[static_cast<std::size_t>(layout_.order[current])] == 0) ++current;
    return current < 4 ? layout_.order[current] : -1;
  }

  void line(const std::string& text) {
    text_ += text;
    text_ += layout_.crLf || (!layout_.plainForms && crLfElement_) ? "\r\n" : "\n";
  }

  // What may stand between two elements in the unusual forms.
  void between() {
    crLfElement_ = choices_.chance(6);
    switch (choices_.pick(8)) {
      case 0:
        text_ += "\n";
        break;
      case 1:
        line("<!-- a comment -->");
        break;
      case 2:
        line("<!-- <gml:Point gml:id=\"pt_1\">");
        line("over lines -->");
        break;
      default:
        break;
    }
  }

  std::string number(unsigned whole, bool unusual) {
    const unsigned fraction = choices_.pick(100000000);
    std::string digits = std::to_string(fraction);
    digits.insert(0, 8 - digits.size(), '0');
    if (unusual) {
      switch (choices_.pick(4)) {
        case 0:
          return std::to_string(whole) + "." + digits.substr(0, 3) + "e0";
        // Built by appending: GCC 12 gives a false -Wrestrict warning for " " + std::string in
        // optimised builds.
        case 1:
          return std::string(" ").append(std::to_string(whole));
        case 2:
          return std::string("-").append(std::to_string(whole)).append(".5");
        default:
          break;
      }
    }
    return std::to_string(whole) + "." + digits;
  }

  std::string position(bool unusual) {
    return number(30 + choices_.pick(15), unusual) + " " + number(128 + choices_.pick(18), unusual);
  }

  unsigned reference(unsigned count) { return 1 + choices_.pick(count + 3); }

  void element(Kind kind, bool shiftJis) {
    const bool unusual = !layout_.plainForms && choices_.chance(3);
    ++made_[kind];
    const std::string n = std::to_string(made_[kind]);
    switch (kind) {
      case kCurves:
        curve(n, unusual);
        break;
      case kPoints:
        line("<gml:Point gml:id=\"pt_" + n + "\">");
        line("\t<gml:pos>" + position(unusual) + "</gml:pos>");
        line("</gml:Point>");
        break;
      case kStreams:
        stream(n, shiftJis);
        break;
      case kRiverNodes:
        line("<ksj:RiverNode gml:id=\"rn_" + n + "\">");
        line("\t<ksj:position xlink:href=\"#pt_" +
             std::to_string(reference(layout_.elementsPerKind)) + "\"/>");
        if (unusual) {
          line("\t<ksj:position xlink:href=\"#pt_" +
               std::to_string(reference(layout_.elementsPerKind)) + "\"/>");
        }
        line("</ksj:RiverNode>");
        break;
    }
  }

  void curve(const std::string& n, bool unusual) {
    line("<gml:Curve gml:id=\"cv_" + n + "\">");
    line("\t<gml:segments>");
    line("\t\t<gml:LineStringSegment>");
    line("\t\t\t<gml:posList>");
    const unsigned positions = 1 + choices_.pick(8);
    for (unsigned i = 0; i < positions; ++i) {
      line(position(unusual && choices_.chance(2)));
      if (unusual && choices_.chance(6)) line("<!-- inside -->");
    }
    line("\t\t\t</gml:posList>");
    line("\t\t</gml:LineStringSegment>");
    line("\t</gml:segments>");
    line("</gml:Curve>");
  }

  void stream(const std::string& n, bool shiftJis) {
    const unsigned system = 810001 + choices_.pick(4);
    const std::string code = std::to_string(system);
    const std::string name = shiftJis ? "\x91\xBD\x96\x80\x90\xEC" : "多摩川";
    line("<ksj:Stream gml:id=\"st_" + n + "\">");
    line("\t<ksj:location xlink:href=\"#cv_" + std::to_string(reference(layout_.elementsPerKind)) +
         "\"/>");
    line("\t<ksj:waterSystemCode codeSpace=\"WaterSystemTypeCode.xml\">" + code +
         "</ksj:waterSystemCode>");
    line("\t<ksj:riverCode codeSpace=\"RiverTypeCode.xml\">" + code + "000" +
         std::to_string(1 + choices_.pick(3)) + "</ksj:riverCode>");
    line("\t<ksj:sectionType>" + std::to_string(1 + choices_.pick(3)) + "</ksj:sectionType>");
    line("\t<ksj:riverName>" + name + n + "</ksj:riverName>");
    line("\t<ksj:originalDataType>1</ksj:originalDataType>");
    for (const char* row : {"startRiverNode", "endRiverNode", "startStreamNode", "endStreamNode"}) {
      line(std::string("\t<ksj:") + row + " xlink:href=\"#rn_" +
           std::to_string(reference(layout_.elementsPerKind)) + "\"/>");
    }
    line("</ksj:Stream>");
  }

  const Layout& layout_;
  Choices& choices_;
  std::string text_;
  std::array<unsigned, 4> made_{};
  bool crLfElement_ = false;
};

inline std::string buildText(const Layout& layout, Choices& choices) {
  return TextBuilder(layout, choices).build();
}

// Every order of the four kinds, in lexicographic order of the kinds.
inline std::vector<std::array<Kind, 4>> everyOrder() {
  std::array<Kind, 4> order = {kCurves, kPoints, kStreams, kRiverNodes};
  std::vector<std::array<Kind, 4>> orders;
  do {
    orders.push_back(order);
  } while (std::next_permutation(order.begin(), order.end()));
  return orders;
}

inline std::string orderName(const std::array<Kind, 4>& order) {
  std::string name;
  for (const Kind kind : order) name += std::string(name.empty() ? "" : ",") + kKindNames[kind];
  return name;
}

}  // namespace w05text
