// The catalogue's text files: config.txt and the settings file.

#include <span>
#include <string>

#include "malformed/catalogue.h"

namespace kelvane::malformed {

namespace {

std::vector<std::byte> Bytes(const std::string& text) {
  const auto bytes = std::as_bytes(std::span(text));
  return {bytes.begin(), bytes.end()};
}

// ----- config.txt -------------------------------------------------------------

std::string Repeat(std::string_view line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i)
    text += line;
  return text;
}

void AddConfigs(std::vector<Case>& out) {
  const auto add = [&](std::string name, const std::string& text, std::string result) {
    out.push_back({Format::kConfig, std::move(name), Bytes(text), std::move(result), std::nullopt});
  };
  add("braces-10000-nested",
      "kind traincar\n" + Repeat("{\n", 10000) + "deep 1\n" + Repeat("}\n", 10000) +
          "kuid <kuid:1:2>\n",
      "20003 lines; kind at 0; deep at 10001; kuid <kuid:1:2>");
  add("braces-10000-never-closed", Repeat("{\n", 10000) + "deep 1\nkuid 5\n",
      "10002 lines; kind at -1; deep at 10000; kuid none");
  add("braces-10000-surplus-closing", Repeat("}\n", 10000) + "kind traincar\nkuid 7\n",
      "10002 lines; kind at 10000; deep at -1; kuid <kuid:-1:7>");
}

// ----- settings file ------------------------------------------------------------

void AddSettings(std::vector<Case>& out) {
  const auto add = [&](std::string name, const std::string& text, std::string result) {
    out.push_back(
        {Format::kSettings, std::move(name), Bytes(text), std::move(result), std::nullopt});
  };
  // The outcome's words for the settings read; the others are the defaults.
  const auto read = [](int thumbnail, int lastfile, int attSize, int tieSpacing) {
    return "thumbnail " + std::to_string(thumbnail) + " chars; lastfile " +
           std::to_string(lastfile) + " chars; colour 9991207; att size " +
           std::to_string(attSize) + "; tie spacing " + std::to_string(tieSpacing);
  };
  const std::string mb(1 << 20, 'x');
  add("line-1mb-value", "[MRU]\r\nthumbnail=" + mb + "\r\n[Track]\r\nTieSpacing=900\r\n",
      read(255, 0, 10, 900));
  add("line-1mb-quoted-lastfile", "[MRU]\nlastfile=\"" + mb + "\"\n", read(16, 1 << 20, 10, 800));
  add("line-1mb-without-equals", "[Options]\n" + mb + "\nAttSize=7\n", read(16, 0, 7, 800));
  add("line-1mb-section-name", "[" + mb + "]\nAttSize=7\n[Options]\nAttSize=5\n",
      read(16, 0, 5, 800));
  add("nul-byte", std::string("[MRU]\nthumbnail=a\0b\n", 20), "unreadable: it is not a text file");
  add("numbers-overflowing", "[Options]\nBGroundColour=0x1FFFFFFFF\nAttSize=99999999999\n",
      read(16, 0, 10, 800));
  add("tie-spacing-negative", "[Track]\nTieSpacing=-800\n", read(16, 0, 10, 300));
  add("empty", "", read(16, 0, 10, 800));
  add("no-final-line-end", "[Options]\nAttSize=4", read(16, 0, 4, 800));
  add("section-never-closed", "[Options\nAttSize=4\n", read(16, 0, 10, 800));
  add("utf8-byte-order-mark", "\xEF\xBB\xBF[Options]\r\nAttSize=4\r\n", read(16, 0, 4, 800));
  add("lone-quote", "[MRU]\nthumbnail=\"\n", read(1, 0, 10, 800));
}

}  // namespace

void AddTextCases(std::vector<Case>& out) {
  AddConfigs(out);
  AddSettings(out);
}

}  // namespace kelvane::malformed
