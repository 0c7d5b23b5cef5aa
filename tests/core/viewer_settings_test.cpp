#include "settings/viewer_settings.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <tuple>

#include "support/temp_dir.h"

namespace kelvane {
namespace {

using testing::ReadText;

TEST(ViewerSettingsTest, ANewFileHoldsEveryKeyInOrder) {
  testing::TempDir dir;
  TMemIni ini(dir / "kelvane.ini");
  EXPECT_EQ(ini.status(), TMemIni::ReadStatus::Missing);
  ViewerSettings s;
  ASSERT_TRUE(SaveConfig(ini, s, WindowGeometry{10, 20, 640, 480}, nullptr));
  EXPECT_EQ(ReadText(dir / "kelvane.ini"),
            "[MRU]\nlastfile=\nthumbnail=$screenshot$.jpg\n\n"
            "[Options]\nBGroundColour=9991207\nAttSize=10\nShowAxes=1\nMetric=1\nbumpalpha=0.2\n"
            "ReloadOnChange=1\n\n"
            "[Position]\nTop=10\nLeft=20\nWidth=640\nHeight=480\nMaximised=0\n\n"
            "[Track]\nGaugeIndex=3\nGauge=1.44\nUnitsIndex=0\nTieSpacing=800\n\n"
            "[Paths]\nCorvel_dir=\nDunmere_dir=\nEstrel_dir=\n");
}

TEST(ViewerSettingsTest, ValuesAsPeopleWriteThem) {
  const TMemIni ini = TMemIni::FromText(
      "; hand-edited\r\n[mru]\r\nLASTFILE = C:\\Trains\\loco.im \r\nthumbnail=\"shot.jpg\"\r\n"
      "[Options]\nBGroundColour=0x00FF00\nAttSize=twelve\nShowAxes=2\nMetric=0\nbumpalpha=0,5\n"
      "[Track]\nGauge=abc\nTieSpacing=-5\n[Paths]\nCorvel_dir='" +
      std::string(300, 'x') + "'\n");
  const ViewerSettings s = ReadSettings(ini);
  EXPECT_EQ(s.lastFile, "C:\\Trains\\loco.im");
  EXPECT_EQ(s.thumbnail, "shot.jpg") << "outer quotes are dropped";
  EXPECT_EQ(s.bgroundColour, 0x00FF00);
  EXPECT_EQ(s.attSize, 10) << "not a number: the default";
  EXPECT_TRUE(s.showAxes) << "any non-zero integer";
  EXPECT_FALSE(s.metric);
  EXPECT_FLOAT_EQ(s.bumpAlpha, 0.2f) << "a comma is no decimal point here: the default";
  EXPECT_FLOAT_EQ(s.gauge, 1.44f);
  EXPECT_EQ(s.tieSpacing, kMinTieSpacing) << "brought into 300..2000";
  EXPECT_EQ(s.corvelDir.size(), 255u);

  EXPECT_EQ(ReadSettings(TMemIni::FromText("[Track]\nTieSpacing=99999\n")).tieSpacing, 2000);
  EXPECT_EQ(TMemIni::FromText("[a]\nk=\"'\n").ReadString("a", "k", "d"), "\"'");
}

// A section named again in any case continues the first one; of keys equal
// in any case, the first counts; lines end with CR LF, LF or a lone CR.
TEST(ViewerSettingsTest, RepeatedSectionsAndKeys) {
  const TMemIni ini = TMemIni::FromText(
      "[Options]\r\nAttSize=4\r\n[Track]\rGauge=2\r[OPTIONS]\nattsize=5\nShowAxes=0\n"
      "[options]\nSHOWAXES=1\n[track]\nGAUGE=3\nTieSpacing=900");
  const std::tuple<const char*, const char*, const char*> values[] = {
      {"options", "ATTSIZE", "4"},
      {"Options", "showaxes", "0"},
      {"TRACK", "gauge", "2"},
      {"Track", "tiespacing", "900"}};
  for (const auto& [section, key, value] : values)
    EXPECT_EQ(ini.ReadString(section, key, "none"), value) << section << "/" << key;
  EXPECT_EQ(ini.Text(), "[Options]\nAttSize=4\nShowAxes=0\n\n[Track]\nGauge=2\nTieSpacing=900\n");
}

TEST(ViewerSettingsTest, IntegersAndFloats) {
  EXPECT_EQ(ParseIniInteger("-42"), -42);
  EXPECT_EQ(ParseIniInteger("0xFFFFFFFF"), -1);
  EXPECT_EQ(ParseIniInteger("2147483648"), std::nullopt);
  EXPECT_EQ(ParseIniInteger("12abc"), std::nullopt);
  EXPECT_EQ(ParseIniInteger(""), std::nullopt);
  EXPECT_EQ(ParseIniFloat("1.44"), 1.44f);
  EXPECT_EQ(ParseIniFloat("1e400"), std::nullopt);
  TMemIni ini;
  ini.WriteFloat("s", "k", 0.1f);
  EXPECT_EQ(ini.ReadString("s", "k", ""), "0.1");
}

TEST(ViewerSettingsTest, RoundTripKeepsOtherEntriesAndTheMaximisedRule) {
  testing::TempDir dir;
  const auto file = dir / "k.ini";
  std::ofstream(file) << "[Position]\nTop=5\nLeft=6\nWidth=700\nHeight=500\n[Mine]\nkept=yes\n";
  TMemIni ini(file);
  ViewerSettings s = ReadSettings(ini);
  s.lastFile = "/home/me/loco.im";
  s.gauge = 1.067f;
  s.showAxes = false;
  ASSERT_TRUE(SaveConfig(ini, s, std::nullopt, nullptr)) << "maximised";
  const TMemIni again(file);
  const ViewerSettings r = ReadSettings(again);
  EXPECT_EQ(r.lastFile, "/home/me/loco.im");
  EXPECT_FLOAT_EQ(r.gauge, 1.067f);
  EXPECT_FALSE(r.showAxes);
  EXPECT_EQ(r.top, 5);
  EXPECT_EQ(r.width, 700) << "a maximised window keeps the normal size read at start";
  EXPECT_EQ(again.ReadString("mine", "KEPT", ""), "yes");
  EXPECT_FALSE(std::filesystem::exists(dir / "k.ini.new"));
}

// A file written before black could be picked keeps 0 as "no colour"; a
// picked black and the maximised state come back after a restart.
TEST(ViewerSettingsTest, PickedBlackAndMaximisedReadBack) {
  testing::TempDir dir;
  const auto file = dir / "k.ini";
  std::ofstream(file) << "[Options]\nBGroundColour=0\n";
  TMemIni ini(file);
  ViewerSettings s = ReadSettings(ini);
  EXPECT_EQ(s.bgroundColour, 0);
  EXPECT_FALSE(s.maximised);
  s.bgroundColour = PickedBackground(0, 0, 0);
  s.maximised = true;
  ASSERT_TRUE(SaveConfig(ini, s, WindowGeometry{40, 30, 800, 600}, nullptr));
  const ViewerSettings r = ReadSettings(TMemIni(file));
  EXPECT_EQ(r.bgroundColour, kPickedBlack);
  EXPECT_TRUE(r.maximised);
  EXPECT_EQ(std::tuple(r.top, r.left, r.width, r.height), std::tuple(40, 30, 800, 600))
      << "the size to return to when un-maximised";
}

TEST(ViewerSettingsTest, AnUnreadableFileIsNotOverwritten) {
  testing::TempDir dir;
  const auto file = dir / "k.ini";
  const std::string binary("[MRU]\nlastfile=x\0\x01\x02", 17);
  std::ofstream(file, std::ios::binary) << binary;
  TMemIni ini(file);
  EXPECT_EQ(ini.status(), TMemIni::ReadStatus::Unreadable);
  ViewerSettings s = ReadSettings(ini);
  EXPECT_EQ(s.lastFile, "") << "defaults";
  std::string error;
  EXPECT_FALSE(SaveConfig(ini, s, WindowGeometry{}, &error));
  EXPECT_NE(error.find("not overwritten"), std::string::npos);
  EXPECT_EQ(ReadText(file), binary);

  std::filesystem::create_directory(dir / "folder.ini");
  EXPECT_EQ(TMemIni(dir / "folder.ini").status(), TMemIni::ReadStatus::Unreadable);
}

// A saving process killed at any moment leaves the old or the new settings.
TEST(ViewerSettingsTest, KilledWhileSavingLosesNothing) {
  constexpr int kFirstSaveDeadlineMs = 30'000;
  testing::TempDir dir;
  const auto file = dir / "k.ini";
  std::mt19937 random(12345);
  for (int run = 0; run < 200; ++run) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      execl(KELVANE_SETTINGS_SAVER, KELVANE_SETTINGS_SAVER, file.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // Wait for its first whole save, then kill it somewhere in the next ones.
    pollfd saved{out[0], POLLIN, 0};
    const bool answered = poll(&saved, 1, kFirstSaveDeadlineMs) > 0;
    char line[8] = {};
    const bool started = answered && read(out[0], line, sizeof line) > 0;
    close(out[0]);
    if (started) usleep(static_cast<useconds_t>(random() % 3000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(answered) << "waited " << kFirstSaveDeadlineMs / 1000
                          << " s in vain for the saver's first save";
    ASSERT_TRUE(started) << "the saver ended before its first save";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself: " << status;

    const TMemIni ini(file);
    ASSERT_EQ(ini.status(), TMemIni::ReadStatus::Read);
    const ViewerSettings s = ReadSettings(ini);
    const bool a = s.lastFile == std::string(200, 'a') && s.tieSpacing == 500 && s.gauge == 1.0f &&
                   s.corvelDir == "C:\\A";
    const bool b = s.lastFile == std::string(200, 'b') && s.tieSpacing == 1500 && s.gauge == 2.0f &&
                   s.corvelDir == "C:\\B";
    ASSERT_TRUE(a || b) << "run " << run << ":\n" << ReadText(file);
  }
}

}  // namespace
}  // namespace kelvane
