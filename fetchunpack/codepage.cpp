#include "fetchunpack/codepage.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

namespace fetchunpack {

namespace {

// What taking a byte class does to an automaton: its next state and the weight its score is
// multiplied by.
struct ByteClass {
  int nextState;
  double weight;
};

// Bytes first..last (inclusive) in `state` belong to `byteClass`; bytes listed nowhere reject.
struct ByteRange {
  int state;
  unsigned char first;
  unsigned char last;
  signed char byteClass;
};

template <std::size_t States>
using TransitionTable = std::array<std::array<signed char, 256>, States>;

template <std::size_t States, std::size_t N>
constexpr TransitionTable<States> makeTransitionTable(const std::array<ByteRange, N>& ranges) {
  TransitionTable<States> table{};
  for (auto& row : table) row.fill(-1);
  for (const ByteRange& range : ranges) {
    for (int b = range.first; b <= range.last; ++b) table[range.state][b] = range.byteClass;
  }
  return table;
}

constexpr auto kEucJpTransitions = makeTransitionTable<4>(std::array<ByteRange, 7>{{
    {0, 0x00, 0x7F, 0},
    {0, 0x8E, 0x8E, 1},
    {0, 0x8F, 0x8F, 2},
    {0, 0xA1, 0xFE, 3},
    {1, 0xA1, 0xDF, 4},
    {2, 0xA1, 0xFE, 5},
    {3, 0xA1, 0xFE, 6},
}});
constexpr std::array<ByteClass, 7> kEucJpClasses{{
    {0, 1.0},
    {1, 0.8},
    {3, 0.95},
    {2, 1.0},
    {0, 1.0},
    {0, 1.0},
    {0, 1.0},
}};

constexpr auto kShiftJisTransitions = makeTransitionTable<2>(std::array<ByteRange, 8>{{
    {0, 0x00, 0x7F, 0},
    {0, 0x81, 0x9F, 1},
    {0, 0xE1, 0xEF, 1},
    {0, 0xA1, 0xDF, 2},
    {0, 0xF0, 0xFC, 3},
    {0, 0xFD, 0xFF, 4},
    {1, 0x40, 0x7E, 5},
    {1, 0x80, 0xFC, 5},
}});
constexpr std::array<ByteClass, 6> kShiftJisClasses{{
    {0, 1.0},
    {1, 1.0},
    {0, 0.8},
    {1, 0.95},
    {0, 0.8},
    {0, 1.0},
}};

// The UTF-8 state counts the continuation bytes still expected.
constexpr auto kUtf8Transitions = makeTransitionTable<6>(std::array<ByteRange, 11>{{
    {0, 0x00, 0x7F, 0},
    {0, 0xC2, 0xDF, 1},
    {0, 0xE0, 0xEF, 2},
    {0, 0xF0, 0xF7, 3},
    {0, 0xF8, 0xFB, 4},
    {0, 0xFC, 0xFD, 5},
    {1, 0x80, 0xBF, 6},
    {2, 0x80, 0xBF, 7},
    {3, 0x80, 0xBF, 8},
    {4, 0x80, 0xBF, 9},
    {5, 0x80, 0xBF, 10},
}});
constexpr std::array<ByteClass, 11> kUtf8Classes{{
    {0, 1.0},
    {1, 1.0},
    {2, 1.0},
    {3, 1.0},
    {4, 1.0},
    {5, 1.0},
    {0, 1.0},
    {1, 1.0},
    {2, 1.0},
    {3, 1.0},
    {4, 1.0},
}};

struct ByteAutomaton {
  const std::array<signed char, 256>* transitionTable;
  const ByteClass* classTable;
  int state = 0;
  double score = 1.0;

  bool alive() const { return state >= 0; }

  void take(unsigned char b) {
    const int k = transitionTable[state][b];
    if (k < 0) {
      state = -1;
      return;
    }
    state = classTable[k].nextState;
    score *= classTable[k].weight;
  }
};

bool isPlainAscii(unsigned char b) {
  return b == 0x09 || b == 0x0A || b == 0x0D || (b >= 0x20 && b <= 0x7E);
}

}  // namespace

int detectCodePage(std::string_view text) {
  const std::size_t n = std::min(text.find('\0'), text.size());
  if (n == 0) return kCodePageAnsi;
  bool ascii = true;
  for (std::size_t i = 0; i < n && ascii; ++i)
    ascii = isPlainAscii(static_cast<unsigned char>(text[i]));
  if (ascii) return kCodePageAnsi;

  ByteAutomaton euc{kEucJpTransitions.data(), kEucJpClasses.data()};
  ByteAutomaton sjis{kShiftJisTransitions.data(), kShiftJisClasses.data()};
  ByteAutomaton utf8{kUtf8Transitions.data(), kUtf8Classes.data()};

  for (std::size_t i = 0; i < n; ++i) {
    auto b = static_cast<unsigned char>(text[i]);
    // An ESC is never fed to the automata: ESC "$" or ESC "(" is ISO-2022-JP, any other byte
    // after it is taken in its place.
    if (b == 0x1B && i < n - 1) {
      ++i;
      b = static_cast<unsigned char>(text[i]);
      if (b == '$' || b == '(') return kCodePageIso2022Jp;
    }
    if (i == 0 && n > 1) {
      const auto second = static_cast<unsigned char>(text[1]);
      if (b == 0xFF && second == 0xFE) return kCodePageUtf16Le;
      if (b == 0xFE && second == 0xFF) return kCodePageUtf16Be;
    }
    if (euc.alive()) {
      if (!sjis.alive() && !utf8.alive()) return kCodePageEucJp;
      euc.take(b);
    }
    if (sjis.alive()) {
      if (!euc.alive() && !utf8.alive()) return kCodePageShiftJis;
      sjis.take(b);
    }
    if (utf8.alive()) {
      if (!euc.alive() && !sjis.alive()) return kCodePageUtf8;
      utf8.take(b);
    }
    if (!euc.alive() && !sjis.alive() && !utf8.alive()) return kCodePageNone;
  }

  // Ties keep the earlier automaton in the order UTF-8, Shift_JIS, EUC-JP.
  int chosen = kCodePageNone;
  double best = 0.0;
  for (const auto& [automaton, codePage] :
       {std::pair{&utf8, kCodePageUtf8}, std::pair{&sjis, kCodePageShiftJis},
        std::pair{&euc, kCodePageEucJp}}) {
    if (!automaton->alive()) continue;
    if (chosen == kCodePageNone || automaton->score > best) {
      chosen = codePage;
      best = automaton->score;
    }
  }
  return chosen;
}

}  // namespace fetchunpack
