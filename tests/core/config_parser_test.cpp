#include "assets/config_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
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

// Each line's value whatever ended the line before it, and more distinct
// words than the first name table holds, found again in copies of the lines
// that outlive the text they were read from.
TEST(ConfigTextTest, LineEndsAndManyNames) {
  const ConfigLines mixed = ConfigLines::FromText("a 1\r\r\n b\rx y\n\r c\r\nd\t4 }");
  const std::vector<std::string> values = {"1", "", "", "y", "", "", "4"};
  ASSERT_EQ(mixed.LineCount(), static_cast<int>(values.size()));
  for (int i = 0; i < mixed.LineCount(); ++i)
    EXPECT_EQ(mixed.TagValue(i), values[static_cast<std::size_t>(i)]) << i;

  std::string text;
  for (int i = 0; i < 300; ++i)
    text += "t" + std::to_string(i) + " v" + std::to_string(i) + "\n";
  auto original = std::make_unique<ConfigLines>(ConfigLines::FromText(text));
  ConfigLines copy = *original;
  ConfigLines shortText = ConfigLines::FromText("k 1");  // held inside the object itself
  ConfigLines moved = std::move(shortText);
  original.reset();
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(copy.FindTag("", "", "t" + std::to_string(i), kConfigTop, 0), i);
    ASSERT_EQ(copy.TagValue(i), "v" + std::to_string(i));
  }
  EXPECT_EQ(copy.FindTag("", "", "t300", kConfigTop, 0), -1);
  EXPECT_EQ(moved.FindTag("", "", "k", kConfigTop, 0), 0);
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

// The nesting as a walk from the first line sees it, redone for every query:
// the plain reading the parser must agree with. Lines end with LF.
class ReferenceWalk {
 public:
  explicit ReferenceWalk(const std::string& text) {
    std::size_t begin = 0;
    for (int index = 0; begin <= text.size(); ++index) {
      std::size_t end = text.find('\n', begin);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(begin, end - begin);
      begin = end + 1;
      for (char& c : line)
        c = c == '\t' ? ' ' : c;
      const auto first = line.find_first_not_of(' ');
      if (first == std::string::npos) continue;
      line.erase(0, first);
      const std::string word = line.substr(0, line.find(' '));
      const auto space = line.find(' ');
      const auto after = [&](char brace) {
        return space != std::string::npos && line.find(brace) != std::string::npos &&
               line.find(brace) > space;
      };
      lines_.push_back({index, word.substr(0, kConfigTextLimit),
                        word.find('}') != std::string::npos   ? -1
                        : word.find('{') != std::string::npos ? 1
                                                              : 0,
                        after('{'), after('}')});
    }
  }

  TagMatch Match(std::string grandparent, std::string parent, std::string tag, int start,
                 int depth) const {
    for (std::string* name : {&grandparent, &parent, &tag})
      *name = name->substr(0, kConfigTextLimit);
    std::vector<std::string> names(kConfigNameSlots);
    const auto nameAt = [&names](int level) {
      return level >= 0 && level < kConfigNameSlots ? names[static_cast<std::size_t>(level)]
                                                    : std::string();
    };
    int level = 0;
    for (const Line& line : lines_) {
      if (line.brace != 0) {
        level = std::max(0, level + line.brace);
        continue;
      }
      if (level < kConfigNameSlots) names[static_cast<std::size_t>(level)] = line.word;
      if ((grandparent.empty() || grandparent == nameAt(level - 2)) &&
          (parent.empty() || parent == nameAt(level - 1)) && (tag.empty() || tag == line.word) &&
          level == depth && line.index >= start)
        return {line.index, nameAt(level - 1)};
      if (line.openAfter) ++level;
      if (line.closeAfter) level = std::max(0, level - 1);
    }
    return {};
  }

 private:
  struct Line {
    int index;
    std::string word;
    int brace;  // -1 a closing brace, 1 an opening one, 0 a tag
    bool openAfter, closeAfter;
  };
  std::vector<Line> lines_;
};

// Generated nests (deeper than the named levels, names longer than the
// limit, braces after values, surplus closing braces) queried with every
// kind of name, depth and start line: the parser finds what the plain walk
// finds, and FindTag keeps the container's name as the walk sees it.
TEST(ConfigRandomTextTest, QueriesAgreeWithAWalkFromTheTop) {
  std::mt19937 random(7031);
  const std::string longName(300, 'n');
  const std::vector<std::string> names = {"a", "b", "mesh", "mesh-table", longName, longName + "x"};
  const auto pick = [&random](const auto& list) { return list[random() % list.size()]; };
  for (int round = 0; round < 60; ++round) {
    std::string text;
    int level = 0;
    for (int i = 0; i < 120; ++i) {
      const std::string name = pick(names);
      const std::string indent(static_cast<std::size_t>(std::min(level, 3)), '\t');
      switch (random() % 10) {
        case 0:
        case 1:
          text += indent + name + "\n" + indent + "{\n";
          ++level;
          break;
        case 2:
          text += indent + name + " {\n";
          ++level;
          break;
        case 3:
          text += indent + "}\n";
          level = std::max(0, level - 1);
          break;
        case 4:
          text += indent + name + " \"v\" }\n";
          level = std::max(0, level - 1);
          break;
        case 5:
          text += random() % 2 ? "\n" : " \t\n";
          break;
        case 6:
          text += indent + name + "\t{ }\n";
          break;
        default:
          text += indent + name + " \"" + pick(names) + "\"\n";
      }
    }
    const ReferenceWalk reference(text);
    ConfigLines config = ConfigLines::FromText(text);
    std::vector<std::string> asked = names;
    asked.push_back("");
    asked.push_back("absent");
    std::string lastParent;
    for (int query = 0; query < 1500; ++query) {
      const std::string grandparent = random() % 3 ? "" : pick(asked);
      const std::string parent = random() % 2 ? "" : pick(asked);
      const std::string tag = random() % 5 ? pick(names) : pick(asked);
      const int depth = static_cast<int>(random() % 14);
      const int start = static_cast<int>(random() % (config.LineCount() + 4)) - 2;
      const TagMatch expected = reference.Match(grandparent, parent, tag, start, depth);
      const TagMatch found = config.Match(grandparent, parent, tag, start, depth);
      const std::string where = "round " + std::to_string(round) + ": \"" +
                                grandparent.substr(0, 12) + "\" \"" + parent.substr(0, 12) +
                                "\" \"" + tag.substr(0, 12) + "\" from " + std::to_string(start) +
                                " at depth " + std::to_string(depth);
      ASSERT_EQ(found.line, expected.line) << where;
      ASSERT_EQ(found.parentName, expected.parentName) << where;
      ASSERT_EQ(config.FindTag(grandparent, parent, tag, start, depth), expected.line) << where;
      if (expected.line >= 0 && parent.empty()) lastParent = expected.parentName;
      ASSERT_EQ(config.LastParentName(), lastParent) << where;
    }
    // Every match of a tag in turn, as composition walks them.
    for (const std::string& tag : names) {
      for (int depth = 0; depth < 13; ++depth) {
        int start = kConfigTop;
        for (;;) {
          const TagMatch expected = reference.Match("", "", tag, start, depth);
          ASSERT_EQ(config.Match("", "", tag, start, depth).line, expected.line);
          if (expected.line < 0) break;
          start = expected.line + 1;
        }
      }
    }
  }
}

}  // namespace
}  // namespace kelvane
