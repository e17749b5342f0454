#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace brelix::platform {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(TextTest, SameTextFoldsEveryLetter) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"", "", true},
      {"Orders", "oRDERS", true},
      {"Orders", "Order", false},
      {"a_1", "A_1", true},
      {"[", "{", false},        // differ by the ASCII case bit but are no letters
      {"@", "`", false},
      {"ä", "Ä", true},
      {"Ärger", "äRGER", true},
      {"straße", "STRASSE", true},  // full folding: ß is ss, of another length
      {"ß", "ss", true},
      {"ß", "s", false},
      {"\u212A", "k", true},        // Kelvin sign
      {"é", "e", false},
      {"Größe", "GRÖSSE", true},
      {"ä", "a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(SameText(c.b, c.a), c.same) << c.b << " / " << c.a;
  }
}

TEST(TextTest, CompareTextOrdersLikeFoldedText) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"a", "B", -1}, {"B", "a", 1},  {"abc", "ABC", 0}, {"a", "ab", -1}, {"", "a", -1},
      {"_", "a", -1}, {"_", "A", -1}, {"Z", "ä", -1},    {"ä", "Ä", 0},   {"STRASSE", "straße", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(CompareText(c.a, c.b), c.sign) << c.a << " / " << c.b;
}

// Pure-ASCII texts take a fast path; the same pair behind a common non-ASCII head goes through
// ICU. Both must order alike.
TEST(TextTest, AsciiFastPathAgreesWithUnicodePath) {
  const char* texts[] = {"", "a", "A", "b", "Z", "_", "[", "`", "{", "@", "0", "ab", "aB", "a_", "A~"};
  for (const char* a : texts)
    for (const char* b : texts) {
      const std::string ua = "\xC3\xA9" + std::string(a), ub = "\xC3\xA9" + std::string(b);
      const int ascii = CompareText(a, b);
      EXPECT_EQ(Sign(ascii), Sign(CompareText(ua, ub))) << a << " / " << b;
      EXPECT_EQ(SameText(a, b), ascii == 0) << a << " / " << b;
      EXPECT_EQ(SameText(ua, ub), ascii == 0) << a << " / " << b;
    }
}

TEST(TextTest, UpperAndLowerCase) {
  struct Case {
    const char* text;
    const char* upper;
    const char* lower;
  };
  const Case cases[] = {
      {"Sum_1", "SUM_1", "sum_1"},
      {"Straße", "STRASSE", "straße"},
      {"zählenWenn", "ZÄHLENWENN", "zählenwenn"},
      {"ÄÖÜ", "ÄÖÜ", "äöü"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UpperCase(c.text), c.upper);
    EXPECT_EQ(LowerCase(c.text), c.lower);
  }
}

TEST(TextTest, TrimRemovesBlanksAndControlCharacters) {
  struct Case {
    const char* text;
    const char* trimmed;
  };
  const Case cases[] = {
      {"", ""},           {" \t\r\n", ""},       {"\x01 a b \x1F", "a b"},
      {"ä", "ä"},         {" ä ", "ä"},          {"\xC2\xA0x", "\xC2\xA0x"},  // bytes >= 0x80 stay
      {"x\x7F", "x\x7F"},
  };
  for (const Case& c : cases) EXPECT_EQ(Trim(c.text), c.trimmed) << c.text;
}

TEST(TextTest, IsIdentifier) {
  for (const char* s : {"a", "_", "_x1", "Orders2", "A_b_9"}) EXPECT_TRUE(IsIdentifier(s)) << s;
  for (const char* s : {"", "1a", "a-b", "a b", "ä", "a.b", "x\xC3\xA4"}) EXPECT_FALSE(IsIdentifier(s)) << s;
}

TEST(TextTest, AppendUtf8) {
  struct Case {
    char32_t code_point;
    const char* utf8;
  };
  const Case cases[] = {
      {U'A', "A"},
      {0xE4, "\xC3\xA4"},
      {0x7FF, "\xDF\xBF"},
      {0x20AC, "\xE2\x82\xAC"},
      {0x1F600, "\xF0\x9F\x98\x80"},
      {0xD800, "\xEF\xBF\xBD"},  // a surrogate is no character
      {0x110000, "\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    AppendUtf8(out, c.code_point);
    EXPECT_EQ(out, std::string("x") + c.utf8) << std::hex << static_cast<unsigned>(c.code_point);
  }
}

}  // namespace
}  // namespace brelix::platform
