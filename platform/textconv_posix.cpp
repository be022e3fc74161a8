#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "platform/textconv.h"

namespace platform {

const char* const kAnsiEncodingName = "CP932";

namespace {

// The substitute character in the target encoding: U+FFFD for Unicode targets, else "?".
std::string replacementIn(const char* to) {
  std::string result;
  for (const char* candidate : {kReplacementCharacter.data(), "?"}) {
    iconv_t cd = iconv_open(to, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) break;
    char buffer[16];
    char* in = const_cast<char*>(candidate);
    std::size_t inLeft = std::strlen(candidate);
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    const bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (ok) return std::string(buffer, out);
  }
  return "?";
}

}  // namespace

std::string convertText(std::string_view text, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  const bool fromUtf8 = std::strcmp(from, "UTF-8") == 0;
  const std::string replacement = replacementIn(to);

  std::string out;
  out.resize(text.size() * 4 + 16);
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  std::size_t used = 0;
  auto room = [&](std::size_t need) {
    if (out.size() - used < need) out.resize(out.size() * 2 + need);
  };
  while (inLeft > 0) {
    char* dst = out.data() + used;
    std::size_t dstLeft = out.size() - used;
    const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    used = out.size() - dstLeft;
    if (rc != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) {
      room(out.size());
      continue;
    }
    // EILSEQ: a sequence that does not convert; EINVAL: an incomplete sequence at the end.
    room(replacement.size());
    std::memcpy(out.data() + used, replacement.data(), replacement.size());
    used += replacement.size();
    if (errno == EINVAL) break;
    // Skip the whole character when the source is UTF-8 and the sequence is well formed but
    // has no form in the target; otherwise skip one byte.
    const std::size_t skip = fromUtf8 ? decodeUtf8(std::string_view(in, inLeft), 0).length : 1;
    in += skip;
    inLeft -= skip;
  }
  // Return to the initial shift state (matters for stateful targets such as ISO-2022-JP).
  for (;;) {
    char* dst = out.data() + used;
    std::size_t dstLeft = out.size() - used;
    const std::size_t rc = iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    used = out.size() - dstLeft;
    if (rc != static_cast<std::size_t>(-1) || errno != E2BIG) break;
    room(out.size());
  }
  iconv_close(cd);
  out.resize(used);
  return out;
}

std::string ansiToUtf8(std::string_view text) { return convertText(text, "CP932", "UTF-8"); }

std::string nativeToUtf8(std::string_view text) { return std::string(text); }

std::string utf8ToNative(std::string_view text) { return std::string(text); }

}  // namespace platform
