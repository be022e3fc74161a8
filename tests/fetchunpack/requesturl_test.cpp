#include "fetchunpack/requesturl.h"

#include <gtest/gtest.h>

#include <string>

using namespace fetchunpack;

namespace {

TEST(RequestUrl, CharactersBeyondAsciiGoOutAsLowerCaseUtf8Escapes) {
  EXPECT_EQ(requestUrlOf("http://127.0.0.1:8080/流域/データ.zip"),
            "http://127.0.0.1:8080/%e6%b5%81%e5%9f%9f/%e3%83%87%e3%83%bc%e3%82%bf.zip");
  EXPECT_EQ(requestUrlOf("https://h/a?q=川&r=😀"), "https://h/a?q=%e5%b7%9d&r=%f0%9f%98%80");
  // Space, the controls and DEL are no part of a URL either.
  EXPECT_EQ(requestUrlOf(std::string("http://h/a b\t\x7f\0.zip", 19)),
            "http://h/a%20b%09%7f%00.zip");
}

TEST(RequestUrl, EscapesAndPrintableAsciiStayAsTheyAre) {
  std::string printable;
  for (char c = 0x21; c < 0x7F; ++c) {
    if (c != '#') printable += c;
  }
  EXPECT_EQ(requestUrlOf("http://h/" + printable), "http://h/" + printable);
  EXPECT_EQ(requestUrlOf("http://h/%E6%B5%81域/%zz%/%"), "http://h/%E6%B5%81%e5%9f%9f/%zz%/%");
  const std::string once = requestUrlOf("http://h/流 域.zip");
  EXPECT_EQ(requestUrlOf(once), once);
}

TEST(RequestUrl, TheFragmentIsNeverSent) {
  EXPECT_EQ(requestUrlOf("http://h/データ.zip#先頭"), "http://h/%e3%83%87%e3%83%bc%e3%82%bf.zip");
  EXPECT_EQ(requestUrlOf("http://h/a?b=1#c#d"), "http://h/a?b=1");
  EXPECT_EQ(requestUrlOf("http://h/#"), "http://h/");
}

}  // namespace
