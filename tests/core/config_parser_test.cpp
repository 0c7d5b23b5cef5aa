#include "assets/config_parser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/temp_dir.h"

namespace kelvane {
namespace {

class ConfigFindTagTest : public ::testing::Test {
 protected:
  void Load(std::string_view text) { config_ = ConfigLines::FromText(text); }

  ConfigLines config_;
};

TEST_F(ConfigFindTagTest, GrowingStartLineWalksEveryOccurrence) {
  Load(
      "bogeys\n{\n 0\n {\n  bogey 100\n }\n 1 {\n  bogey 200\n }\n}\nbogey 9\nbogeys {\n"
      " 2 {\n  bogey <kuid:1:300> }\n}\n");
  std::vector<int> found;
  for (int i = config_.FindTag("bogeys", "", "bogey", kConfigTop, 2); i >= 0;
       i = config_.FindTag("bogeys", "", "bogey", i + 1, 2)) {
    found.push_back(i);
  }
  EXPECT_EQ(found, (std::vector<int>{4, 7, 13}));
  EXPECT_EQ(config_.TagValue(13), "<kuid:1:300>");
  Load("a 1\r\nb 2\rc 3\n\nd 4");
  EXPECT_EQ(config_.LineCount(), 5);
  EXPECT_EQ(config_.FindTag("", "", "d", kConfigTop, 0), 4);
  EXPECT_EQ(config_.TagValue(1), "2");
  EXPECT_EQ(ConfigKuid(ConfigLines::FromText("\xEF\xBB\xBFkuid 5\r\n")), "<kuid:-1:5>");
}

TEST_F(ConfigFindTagTest, Utf16WithAByteOrderMarkIsText) {
  // U+00FC, U+20AC, U+1F682 (a surrogate pair) and a lone surrogate.
  const std::u16string text = u"kuid 5\r\nusername \"\u00fc\u20ac\U0001F682\xD800!\"\r\n";
  for (const bool bigEndian : {false, true}) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
      const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
      bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    Load(bytes + "x");  // an odd last byte
    EXPECT_EQ(ConfigKuid(config_), "<kuid:-1:5>") << bigEndian;
    EXPECT_EQ(config_.TagValue(config_.FindTag("", "", "username", kConfigTop, 0)),
              "\"\u00fc\u20ac\U0001F682\uFFFD!\"")
        << bigEndian;
    EXPECT_EQ(config_.LineCount(), 3) << bigEndian;
  }
}

TEST(ConfigTextTest, ValuesQuotesAndKuids) {
  const std::pair<std::string, std::string> values[] = {
      {"kind traincar", "traincar"},
      {"\tusername\t\"Blue  Car\"  ", "\"Blue  Car\""},
      {"bogey <kuid:1:2> }", "<kuid:1:2>"},
      {"mesh", ""},
      {"mesh }", ""},
      {"   ", ""},
      {"", ""},
      {"name " + std::string(300, 'x'), std::string(255, 'x')}};
  for (const auto& [line, value] : values)
    EXPECT_EQ(ConfigLines::FromText(line).TagValue(0), value) << line;

  using TextFunction = std::string (*)(std::string_view);
  const std::tuple<TextFunction, std::string, std::string> texts[] = {
      {StripQuotes, "\"word\"", "word"},
      {StripQuotes, "\"word", "\"word"},
      {StripQuotes, "\"", ""},
      {StripQuotes, "", ""},
      {StripAngles, "<kuid:1:2>", "kuid:1:2"},
      {StripAngles, "<", "<"},
      {NormaliseKuid, "1234", "<kuid:-1:1234>"},
      {NormaliseKuid, "<kuid2:5:6:1>", "<kuid2:5:6:1>"},
      {NormaliseKuid, "", ""}};
  for (const auto& [function, in, out] : texts)
    EXPECT_EQ(function(in), out) << in;
}

// Text made of the characters that steer the scan, queried the way callers
// do: every walk must end, move forward and land on a line of the tag asked.
TEST(ConfigRandomTextTest, QueriesStayInsideTheLines) {
  std::mt19937 random(20240611);
  const std::string alphabet = "{} \t\r\n\"ab";
  for (int round = 0; round < 400; ++round) {
    std::string text(random() % 300, ' ');
    for (char& c : text)
      c = alphabet[random() % alphabet.size()];
    const ConfigLines config = ConfigLines::FromText(text);
    for (const std::string_view tag : {"", "a", "ab"}) {
      for (int depth = 0; depth < 4; ++depth) {
        int start = kConfigTop;
        for (TagMatch m = config.Match("", "", tag, start, depth); m.line >= 0;
             m = config.Match("", "", tag, start, depth)) {
          ASSERT_GE(m.line, start);
          ASSERT_LT(m.line, config.LineCount());
          EXPECT_EQ(config.Match("", m.parentName, tag, m.line, depth).line, m.line);
          start = m.line + 1;
        }
      }
    }
    for (int i = 0; i < config.LineCount(); ++i) {
      const std::string value = config.TagValue(i);
      EXPECT_EQ(value.find_first_of("\t}\r\n"), std::string::npos);
      EXPECT_TRUE(value.empty() || (value.front() != ' ' && value.back() != ' '));
    }
  }
}

}  // namespace
}  // namespace kelvane
