// Every malformed file of the catalogue through its real reader: the
// result and the message must be exactly the ones written down.

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>

#include "malformed/catalogue.h"

namespace kelvane::malformed {

// A failing case is named by its file, not dumped as bytes.
void PrintTo(const Case& c, std::ostream* os) {
  *os << FormatName(c.format) << "/" << c.FileName();
}

namespace {

class MalformedFileTest : public ::testing::TestWithParam<Case> {};

TEST_P(MalformedFileTest, GivesItsResultAndExactlyItsMessage) {
  const Case& c = GetParam();
  const Outcome outcome = malformed::Run(c);
  EXPECT_EQ(outcome.result, c.result);
  std::vector<Message> expected;
  if (c.message) expected.push_back(*c.message);
  EXPECT_EQ(outcome.messages, expected);
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = std::string(FormatName(info.param.format)) + "_" + info.param.name;
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, MalformedFileTest, ::testing::ValuesIn(Catalogue()), CaseName);

TEST(MalformedCatalogueTest, HoldsAtLeastTwelveDistinctFilesPerBinaryFormat) {
  std::map<Format, std::set<std::string>> names;
  std::set<std::vector<std::byte>> contents;
  for (const Case& c : Catalogue()) {
    EXPECT_TRUE(names[c.format].insert(c.name).second) << "two cases named " << c.name;
    EXPECT_TRUE(contents.insert(c.bytes).second || c.bytes.empty())
        << c.name << " repeats the bytes of another case";
  }
  for (Format f : {Format::kMesh, Format::kTexture, Format::kTga, Format::kBmp, Format::kJpeg}) {
    EXPECT_GE(names[f].size(), 12u) << FormatName(f);
  }
}

}  // namespace
}  // namespace kelvane::malformed
