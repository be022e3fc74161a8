#include "platform/textconv.h"
#include "platform/widetext_win32.h"

#include <windows.h>

#include <cstring>

namespace platform {

namespace {

constexpr UINT kEucJp = 20932;
constexpr UINT kIso2022Jp = 50222;

// Code page of an encoding name that convertText takes; false for a name it does not know.
bool codePageOfName(const char* name, UINT& codePage) {
  struct Name {
    const char* text;
    UINT codePage;
  };
  static const Name names[] = {{"ANSI", CP_ACP},       {"CP932", 932},
                               {"SHIFT_JIS", 932},     {"EUC-JP", kEucJp},
                               {"ISO-2022-JP", kIso2022Jp}, {"UTF-8", CP_UTF8}};
  for (const Name& n : names) {
    if (_stricmp(name, n.text) == 0) {
      codePage = n.codePage;
      return true;
    }
  }
  return false;
}

bool isCodePageAvailable(UINT codePage) {
  CPINFO info;
  return codePage == CP_ACP || codePage == CP_UTF8 || GetCPInfo(codePage, &info) != 0;
}

// Not strict: a byte that does not decode becomes U+FFFD (UTF-8) or the code page's own
// default character.
std::wstring toWide(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), units);
  return wide;
}

// Characters without a form in the code page become "?" (U+FFFD for UTF-8). Best-fit mappings
// are off, so that no look-alike turns into a path separator or another meaningful byte.
std::string fromWide(std::wstring_view wide, UINT codePage) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int bytes = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr,
                                        nullptr);
  if (bytes <= 0) return {};
  std::string text(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), bytes, nullptr, nullptr);
  return text;
}

// ISO-2022-JP through EUC-JP, for systems whose conversion functions lack code page 50222:
// the escape sequences select ASCII, JIS X 0208, JIS X 0212 or half-width katakana, whose
// 7-bit bytes become the 8-bit bytes of EUC-JP.
std::string iso2022JpToEucJp(std::string_view text) {
  enum class Set { Ascii, Jis0208, Jis0212, Katakana } set = Set::Ascii;
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("\x1B(B") || rest.starts_with("\x1B(J")) {
      set = Set::Ascii;
      i += 3;
    } else if (rest.starts_with("\x1B$@") || rest.starts_with("\x1B$B")) {
      set = Set::Jis0208;
      i += 3;
    } else if (rest.starts_with("\x1B$(D")) {
      set = Set::Jis0212;
      i += 4;
    } else if (rest.starts_with("\x1B(I")) {
      set = Set::Katakana;
      i += 3;
    } else {
      const auto c = static_cast<unsigned char>(text[i]);
      const bool graphic = c >= 0x21 && c <= 0x7E;
      if (set == Set::Katakana && graphic) {
        out.push_back('\x8E');
        out.push_back(static_cast<char>(c | 0x80));
        ++i;
      } else if ((set == Set::Jis0208 || set == Set::Jis0212) && graphic && i + 1 < text.size()) {
        if (set == Set::Jis0212) out.push_back('\x8F');
        out.push_back(static_cast<char>(c | 0x80));
        out.push_back(static_cast<char>(static_cast<unsigned char>(text[i + 1]) | 0x80));
        i += 2;
      } else {
        out.push_back(static_cast<char>(c));
        ++i;
      }
    }
  }
  return out;
}

std::string eucJpToIso2022Jp(std::string_view text) {
  std::string out;
  std::string_view current = "\x1B(B";
  auto select = [&](std::string_view escape) {
    if (current != escape) out.append(escape);
    current = escape;
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0x8E && i + 1 < text.size()) {
      select("\x1B(I");
      out.push_back(static_cast<char>(text[i + 1] & 0x7F));
      i += 2;
    } else if (c == 0x8F && i + 2 < text.size()) {
      select("\x1B$(D");
      out.push_back(static_cast<char>(text[i + 1] & 0x7F));
      out.push_back(static_cast<char>(text[i + 2] & 0x7F));
      i += 3;
    } else if (c >= 0xA1 && i + 1 < text.size()) {
      select("\x1B$B");
      out.push_back(static_cast<char>(c & 0x7F));
      out.push_back(static_cast<char>(text[i + 1] & 0x7F));
      i += 2;
    } else {
      select("\x1B(B");
      out.push_back(static_cast<char>(c));
      ++i;
    }
  }
  select("\x1B(B");
  return out;
}

std::wstring decode(std::string_view text, UINT codePage) {
  if (codePage == kIso2022Jp && !isCodePageAvailable(kIso2022Jp)) {
    return toWide(iso2022JpToEucJp(text), kEucJp);
  }
  return toWide(text, codePage);
}

std::string encode(std::wstring_view wide, UINT codePage) {
  if (codePage == kIso2022Jp && !isCodePageAvailable(kIso2022Jp)) {
    return eucJpToIso2022Jp(fromWide(wide, kEucJp));
  }
  return fromWide(wide, codePage);
}

}  // namespace

const char* const kAnsiEncodingName = "ANSI";

std::wstring wideOfUtf8(std::string_view text) { return toWide(text, CP_UTF8); }

std::string convertText(std::string_view text, const char* from, const char* to) {
  UINT fromCodePage = 0;
  UINT toCodePage = 0;
  if (!codePageOfName(from, fromCodePage) || !codePageOfName(to, toCodePage)) return {};
  return encode(decode(text, fromCodePage), toCodePage);
}

std::string ansiToUtf8(std::string_view text) { return fromWide(toWide(text, CP_ACP), CP_UTF8); }

std::string nativeToUtf8(std::string_view text) { return ansiToUtf8(text); }

std::string utf8ToNative(std::string_view text) {
  return fromWide(toWide(text, CP_UTF8), CP_ACP);
}

}  // namespace platform
