#include "assets/traincar.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <system_error>

#include "assets/config_parser.h"
#include "base/text.h"
#include "base/tokens.h"
#include "mesh/attachment_reader.h"
#include "platform/content_path.h"
#include "platform/notices.h"

namespace kelvane {

namespace {

constexpr int kMaxBogeys = 10;
constexpr int kMaxPantographs = 5;
constexpr std::size_t kMaxPieces = MaxTokens;

bool IsLodName(std::string_view name) {
  return LowerExtension(name) == ".lm";
}

bool IsFile(const std::filesystem::path& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// A content name of an asset: as found on disk, or as written when missing.
std::filesystem::path ContentPath(const std::filesystem::path& folder, std::string_view name) {
  if (auto found = FindContentFile(folder, name)) return *found;
  std::string portable(name);
  std::replace(portable.begin(), portable.end(), '\\', '/');
  return folder / portable;
}

std::filesystem::path MeshPath(const std::filesystem::path& folder, std::string_view name) {
  return IsLodName(name) ? ResolveLodMesh(folder, name) : ContentPath(folder, name);
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == separator) {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}

float NumberOr3(std::string_view field) {
  const auto first = field.find_first_not_of(' ');
  if (first == std::string_view::npos) return 3.0f;
  field = field.substr(first, field.find_last_not_of(' ') - first + 1);
  float value = 0.0f;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size()) return 3.0f;
  return value;
}

void TakePlace(TPartRecord& record, const TAttachPoint& point) {
  record.position = point.position;
  record.rotation = point.rotation;
}

class Composer {
 public:
  explicit Composer(TraincarContext& context) : c_(context), s_(context.state) {}

  bool Run();

 private:
  bool Fail(const std::string& text) {
    c_.notifier.ShowMessage({.caption = std::string(kApplicationTitle), .text = text});
    return false;
  }
  void ViewMesh(const std::filesystem::path& file);
  // The current points: those of the mesh loaded last.
  template <typename Visit>
  void PointsNamed(std::string_view name, Visit visit) const {
    const MeshUnitState& unit = c_.load.unit;
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(unit.AttachmentCount),
                                             unit.AttachmentTable.size());
    for (std::size_t i = 0; i < count; ++i) {
      if (unit.AttachmentTable[i].name == name) visit(unit.AttachmentTable[i]);
    }
  }
  void LeftOut(std::string_view kind, const std::filesystem::path& file, const std::string& text) {
    if (c_.onLeftOut) c_.onLeftOut(kind, file, text);
  }
  bool AppendPart(const TPartRecord& record);
  void ReadMeshTableEntry(ConfigLines& config, int meshLine);
  void ReadEffects(ConfigLines& config, const std::string& entryName);
  void PlaceBogeysAndPantographs();
  void LoadParts();

  TraincarContext& c_;
  TraincarState& s_;
};

void Composer::ViewMesh(const std::filesystem::path& file) {
  s_.MeshFileName = file;
  T3DModel& model = c_.scene.AddModel();
  LoadContext load = c_.load;
  load.trainCarComposing = true;
  s_.ModelLoaded = model.Load(file, load);
  s_.ModelFiles.push_back(file);
  if (c_.onModelLoaded) c_.onModelLoaded(model, s_.ModelLoaded);
}

bool Composer::AppendPart(const TPartRecord& record) {
  if (s_.PartCount >= static_cast<int>(s_.PartList.size())) {
    s_.Memo1.Add("No room for part " + record.kuid + ": left out");
    LeftOut("left-out", {}, s_.Memo1.lines.back());
    return false;
  }
  s_.PartList[static_cast<std::size_t>(s_.PartCount++)] = record;
  return true;
}

bool Composer::Run() {
  s_.Memo1.Clear();
  // "editing" and "userdata" are found on the whole path, whatever the
  // working folder.
  s_.AssetFolder = AbsoluteFolder(s_.AssetFolder);
  const auto configPath = FindContentFile(s_.AssetFolder, "config.txt");
  if (!configPath) return Fail(" Cannot find \"config.txt\" file.\r     Cannot proceed.");
  if (!c_.findPart && FindUtility(s_.AssetFolder).empty()) {
    return Fail(" Cannot find \"VelmoraUtil.exe\" file.\r     Cannot proceed.");
  }
  auto loaded = ConfigLines::FromFile(*configPath);
  if (!loaded) return Fail(" Cannot find \"config.txt\" file.\r     Cannot proceed.");
  ConfigLines& config = *loaded;

  const int build = config.FindTag("", "", "velmora-build", kConfigTop, 0);
  if (build < 0) return Fail("No \"velmora-build\" tag.. Asset too old.\r     Cannot proceed.");
  std::string buildText = StripQuotes(config.TagValue(build)) + "  ";
  if (const auto dot = buildText.find('.'); dot != std::string::npos) buildText.erase(dot, 1);
  // Compared as text: "2.45" is older than "2.5", and so is "10.0".
  if (buildText < std::string("25 ")) {
    return Fail("\"velmora-build\" before 2.5 .. Asset too old.\r     Cannot proceed.");
  }

  const int kind = config.FindTag("", "", "kind", kConfigTop, 0);
  if (kind < 0) return Fail("No \"kind\" tag.. Config Error.\r     Cannot proceed.");
  if (AsciiLower(StripQuotes(config.TagValue(kind))) != "traincar") {
    return Fail("Asset is not \"kind traincar\".\r     Cannot proceed.");
  }
  s_.TrainCarMode = true;

  if (const int user = config.FindTag("", "", "username", kConfigTop, 0); user >= 0) {
    s_.UserName = config.TagValue(user);
  }

  s_.PantographCount = 0;
  if (const int pant = config.FindTag("", "", "pantograph", kConfigTop, 0); pant >= 0) {
    s_.Pantographs[0].kuid = NormaliseKuid(StripQuotes(config.TagValue(pant)));
    s_.PantographCount = 1;
  }

  s_.PartCount = 0;
  s_.EffectCount = 0;
  int start = kConfigTop;
  for (int i = 0; i < kMaxBogeys; ++i) {
    const int line = config.FindTag("bogeys", "", "bogey", start, 2);
    if (line < 0) break;
    s_.PartList[static_cast<std::size_t>(s_.PartCount++)].kuid =
        NormaliseKuid(StripQuotes(config.TagValue(line)));
    start = line + 1;
  }
  // One bogey entry stands for both ends of the car.
  if (s_.PartCount == 1) {
    s_.PartList[1].kuid = s_.PartList[0].kuid;
    s_.PartCount = 2;
  }

  s_.MeshCount = 0;
  s_.FirstMesh = true;
  int mesh = config.FindTag("mesh-table", "", "mesh", kConfigTop, 2);
  if (mesh < 0) return Fail("No mesh-table or sub-container in mesh-table\r     Cannot proceed.");
  while (mesh >= 0) {
    ReadMeshTableEntry(config, mesh);
    mesh = config.FindTag("mesh-table", "", "mesh", mesh + 1, 2);
  }

  for (int i = 0; i < s_.EffectCount; ++i)
    AppendPart(s_.Effects[static_cast<std::size_t>(i)]);
  LoadParts();
  // Placed once, now that every record is known; frames only apply them.
  for (std::size_t i = 0; i < c_.scene.ModelCount(); ++i)
    c_.scene.Model(i).placement = PlaceModel(s_, i).steps;
  return true;
}

void Composer::ReadMeshTableEntry(ConfigLines& config, int meshLine) {
  const std::string meshName = StripQuotes(config.PathValue(meshLine));
  const std::string entryName = config.LastParentName();
  const std::filesystem::path file = MeshPath(s_.AssetFolder, meshName);
  s_.MeshFileName = file;
  const bool exists = IsFile(file);

  TMeshEntry entry{entryName, exists ? file : std::filesystem::path(), {}};
  std::string attachmentName, parentName;
  bool hasParent = false;
  if (const int own = config.FindTag("", "mesh-table", entryName, kConfigTop, 1); own >= 0) {
    if (const int att = config.FindTag("mesh-table", entryName, "att", own, 2); att >= 0) {
      attachmentName = StripQuotes(config.TagValue(att));
    }
    if (const int parent = config.FindTag("mesh-table", entryName, "att-parent", own, 2);
        parent >= 0) {
      parentName = StripQuotes(config.TagValue(parent));
      hasParent = true;
    }
  }
  if (hasParent) {
    for (int k = std::min(s_.MeshCount, static_cast<int>(s_.MeshEntry.size())) - 1; k >= 0; --k) {
      const TMeshEntry& earlier = s_.MeshEntry[static_cast<std::size_t>(k)];
      if (earlier.name == parentName) {
        entry.attachmentLine = ReadAttachmentLine(earlier.file, attachmentName, c_.notifier);
        if (entry.attachmentLine.empty() && !earlier.file.empty()) {
          LeftOut("attachment-missing", earlier.file,
                  "mesh \"" + entryName + "\" hangs from point \"" + attachmentName + "\" of \"" +
                      parentName + "\", which its mesh does not have");
        }
        break;
      }
    }
  }

  const bool notDrawn =
      entryName == "shadow" || entryName == "default-night" || entryName == "default-night-forward";
  if (!exists) {
    LeftOut("mesh-missing", file,
            "mesh \"" + meshName + "\" of mesh-table entry \"" + entryName + "\" not found");
  }
  if (!notDrawn && exists) {
    if (s_.MeshCount < static_cast<int>(s_.MeshEntry.size())) {
      s_.MeshEntry[static_cast<std::size_t>(s_.MeshCount)] = entry;
      ViewMesh(file);
      ++s_.MeshCount;
    } else {
      s_.Memo1.Add("No room for mesh " + meshName + ": left out");
      LeftOut("left-out", file, s_.Memo1.lines.back());
    }
  }

  ReadEffects(config, entryName);
  if (s_.FirstMesh) PlaceBogeysAndPantographs();
  s_.FirstMesh = false;
}

void Composer::ReadEffects(ConfigLines& config, const std::string& entryName) {
  // An effect's lines must follow the previous line found closely: a kind,
  // att or default-mesh further away belongs to something else.
  constexpr int kEffectReach = 7;
  int found = config.FindTag("mesh-table", entryName, "effects", kConfigTop, 2);
  while (found >= 0) {
    const int from = found + 1;
    found = config.FindTag("effects", "", "kind", from, 4);
    if (found < 0 || found - from >= kEffectReach) continue;
    const bool full = s_.EffectCount >= static_cast<int>(s_.Effects.size());
    if (StripQuotes(config.TagValue(found)) == "attachment") {
      found = config.FindTag("effects", "", "att", from, 4);
      if (found >= 0 && found - from < kEffectReach && !full) {
        const std::string point = StripQuotes(config.TagValue(found));
        TPartRecord& slot = s_.Effects[static_cast<std::size_t>(s_.EffectCount)];
        PointsNamed(point, [&](const TAttachPoint& p) { TakePlace(slot, p); });
      }
    }
    found = config.FindTag("effects", "", "default-mesh", from, 4);
    if (found >= 0 && found - from < kEffectReach) {
      const std::string kuid = NormaliseKuid(StripQuotes(config.TagValue(found)));
      if (full) {
        s_.Memo1.Add("No room for effect " + kuid + ": left out");
        LeftOut("left-out", {}, s_.Memo1.lines.back());
      } else {
        s_.Effects[static_cast<std::size_t>(s_.EffectCount++)].kuid = kuid;
      }
    }
  }
}

void Composer::PlaceBogeysAndPantographs() {
  for (int n = 0; n < s_.PartCount; ++n) {
    TPartRecord& record = s_.PartList[static_cast<std::size_t>(n)];
    PointsNamed("a.bog" + std::to_string(n), [&](const TAttachPoint& p) { TakePlace(record, p); });
  }
  if (s_.PantographCount <= 0) return;
  // Pantographs stand at an unbroken run of points from "a.pant0" on.
  s_.PantographCount = 0;
  for (int n = 0; n < kMaxPantographs; ++n) {
    TPartRecord& slot = s_.Pantographs[static_cast<std::size_t>(n)];
    bool any = false;
    PointsNamed("a.pant" + std::to_string(n), [&](const TAttachPoint& p) {
      TakePlace(slot, p);
      any = true;
    });
    if (!any) break;
    if (n > 0) slot.kuid = s_.Pantographs[0].kuid;
    ++s_.PantographCount;
  }
  for (int n = 0; n < s_.PantographCount; ++n)
    AppendPart(s_.Pantographs[static_cast<std::size_t>(n)]);
}

void Composer::LoadParts() {
  // One for all parts, so that wine is looked for once.
  ResolverContext resolver{s_.AssetFolder, c_.runner, s_.Memo1, c_.hooks, c_.timing, c_.wine};
  resolver.notifier = &c_.notifier;
  for (int i = 0; i < s_.PartCount; ++i) {
    const std::string kuid = s_.PartList[static_cast<std::size_t>(i)].kuid;
    const auto folder = c_.findPart ? c_.findPart(kuid) : ResolveAssetFolder(resolver, kuid);
    if (folder.empty()) {
      s_.PartList[static_cast<std::size_t>(i)].kuid = kSkip;
      LeftOut("part-missing", {}, "part " + kuid + " not found");
      continue;
    }
    // The part was found: its lookup is over.
    s_.Memo1.stage = ProgressLog::Stage::kQuiet;
    s_.AssetFolder = folder;
    const std::string meshList = PartMeshList(folder, c_.notifier);

    std::vector<std::string> pieces = Split(meshList, '|');
    if (pieces.size() > kMaxPieces) {
      s_.Memo1.Add("Part " + kuid + " has more than " + std::to_string(kMaxPieces) +
                   " meshes: the rest are left out");
      LeftOut("left-out", folder, s_.Memo1.lines.back());
      pieces.resize(kMaxPieces);
    }
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      if (p > 0) {
        if (s_.PartCount >= static_cast<int>(s_.PartList.size())) {
          s_.Memo1.Add("No room for mesh " + pieces[p] + " of part " + kuid + ": left out");
          LeftOut("left-out", folder, s_.Memo1.lines.back());
          continue;
        }
        for (int k = s_.PartCount; k > i + 1; --k) {
          s_.PartList[static_cast<std::size_t>(k)] = s_.PartList[static_cast<std::size_t>(k - 1)];
        }
        s_.PartList[static_cast<std::size_t>(i + 1)] = s_.PartList[static_cast<std::size_t>(i)];
        // The copy names the part again even when the previous mesh was
        // missing, so that its own model and its mark agree.
        s_.PartList[static_cast<std::size_t>(i + 1)].kuid = kuid;
        ++s_.PartCount;
        ++i;
      }
      TPartRecord& record = s_.PartList[static_cast<std::size_t>(i)];
      const std::string& piece = pieces[p];
      std::string meshName = piece;
      record.subAttachmentLine.clear();
      if (const auto mark = piece.find('?'); mark != std::string::npos && mark >= 4) {
        record.subAttachmentLine = piece.substr(mark + 1);
        meshName = piece.substr(0, mark);
      }
      const auto file = MeshPath(s_.AssetFolder, meshName);
      if (IsFile(file)) {
        ViewMesh(file);
      } else {
        record.kuid = kSkip;
        LeftOut("part-missing", file, "mesh \"" + meshName + "\" of part " + kuid + " not found");
      }
    }
  }
}

}  // namespace

bool ConfigOpen(TraincarContext& context) {
  Composer composer(context);
  return composer.Run();
}

std::string PartMeshList(const std::filesystem::path& folder, Notifier& notifier) {
  const auto configPath = FindContentFile(folder, "config.txt");
  if (!configPath) return {};
  std::string result;
  if (FindContentFile(folder, "default.pm")) result = "default.pm";
  auto loaded = ConfigLines::FromFile(*configPath);
  if (!loaded) return result;
  ConfigLines& config = *loaded;

  if (const int name = config.FindTag("", "", "asset-filename", kConfigTop, 0); name >= 0) {
    const std::string value = StripQuotes(config.PathValue(name));
    if (value.size() > 3) result = value + ".pm";
  }

  int mesh = config.FindTag("mesh-table", "", "mesh", kConfigTop, 2);
  int last = std::max(mesh, 0);
  if (mesh >= 0) {
    const std::string current = StripQuotes(config.PathValue(mesh));
    const std::string entry = config.LastParentName();
    const int create = config.FindTag("mesh-table", entry, "auto-create", mesh - 5, 2);
    last = std::max(last, create);
    if (create >= 0 && config.TagValue(create) == "1" && current.size() > 3) result = current;
  }

  mesh = config.FindTag("mesh-table", "", "mesh", last + 1, 2);
  last = std::max(last, mesh);
  while (mesh >= 0) {
    const std::string current = StripQuotes(config.PathValue(mesh));
    const std::string entry = config.LastParentName();
    const int create = config.FindTag("mesh-table", entry, "auto-create", mesh - 3, 2);
    last = std::max(last, create);
    if (create >= 0 && config.TagValue(create) == "1" && current.size() > 3) {
      result += "|" + current;
    }
    const int att = config.FindTag("mesh-table", entry, "att", mesh - 3, 2);
    last = std::max(last, att);
    if (att >= 0) {
      const std::string attachmentName = StripQuotes(config.TagValue(att));
      const int parent = config.FindTag("mesh-table", entry, "att-parent", att - 3, 2);
      last = std::max(last, parent);
      if (parent >= 0) {
        const std::string parentName = StripQuotes(config.TagValue(parent));
        const int parentMesh = config.FindTag("mesh-table", parentName, "mesh", kConfigTop, 2);
        last = std::max(last, parentMesh);
        if (parentMesh >= 0) {
          const auto parentFile = ContentPath(folder, StripQuotes(config.PathValue(parentMesh)));
          result += "?" + ReadAttachmentLine(parentFile, attachmentName, notifier);
        }
      }
    }
    last += 2;
    // Never before the mesh line just read, so no mesh is taken twice.
    mesh = config.FindTag("mesh-table", "", "mesh", last, 2);
    last = std::max(last, mesh);
  }
  return result;
}

std::filesystem::path ResolveLodMesh(const std::filesystem::path& assetFolder,
                                     std::string_view meshName) {
  const auto description = FindContentFile(assetFolder, std::string(meshName) + ".txt");
  if (!description) return {};
  const std::filesystem::path folder = description->parent_path();
  std::ifstream in(*description, std::ios::binary);
  std::string line, name;
  while (std::getline(in, line)) {
    line = AsciiLower(line);
    if (line.find("name=") == std::string::npos) continue;
    const auto open = line.find('"');
    const auto close = open == std::string::npos ? open : line.find('"', open + 1);
    name = close == std::string::npos ? std::string() : line.substr(open + 1, close - open - 1);
  }
  if (name.empty()) return folder;
  return ContentPath(folder, name);
}

std::string ReadAttachmentLine(const std::filesystem::path& meshFile,
                               std::string_view attachmentName, Notifier& notifier) {
  if (attachmentName.empty() || meshFile.empty() || !IsFile(meshFile)) return {};
  const std::string title(kApplicationTitle);
  AttachmentList list;
  try {
    TMesh mesh;
    mesh.SetFileName(meshFile.string());
    mesh.SetActive(true);
    list = ListAttachments(mesh);
  } catch (const MeshError& error) {
    notifier.ShowMessage({.caption = title, .text = error.what()});
    return {};
  }
  for (const auto& problem : list.problems)
    notifier.ShowMessage({.caption = title, .text = problem});
  std::string found;
  for (const auto& line : list.lines) {
    if (line.find(attachmentName) != std::string::npos) found = line;
  }
  return found;
}

std::vector<PlacementStep> AttachmentLineSteps(std::string_view line) {
  const std::vector<std::string> fields = Split(line, ',');
  float f[7] = {};
  for (std::size_t i = 1; i < 7; ++i)
    f[i] = i < fields.size() ? NumberOr3(fields[i]) : 3.0f;
  using K = PlacementStep::Kind;
  return {{K::Translate, 0, f[1], f[3], -f[2]},
          {K::Rotate, -f[6], 0, 1, 0},
          {K::Rotate, f[5], 0, 0, 1},
          {K::Rotate, -f[4], 1, 0, 0}};
}

ModelPlacement PlaceModel(const TraincarState& state, std::size_t modelIndex) {
  ModelPlacement placement;
  const auto meshCount = static_cast<std::size_t>(std::max(state.MeshCount, 0));
  if (modelIndex < meshCount) {
    placement.source = ModelPlacement::Source::Mesh;
    placement.index = static_cast<int>(modelIndex);
    const std::string& line = state.MeshEntry[modelIndex].attachmentLine;
    if (!line.empty()) placement.steps = AttachmentLineSteps(line);
    return placement;
  }
  std::size_t wanted = modelIndex - meshCount;
  const int parts = std::min(state.PartCount, static_cast<int>(state.PartList.size()));
  for (int i = 0; i < parts; ++i) {
    const TPartRecord& record = state.PartList[static_cast<std::size_t>(i)];
    if (record.kuid == kSkip) continue;
    if (wanted-- > 0) continue;
    using K = PlacementStep::Kind;
    const TVector3& p = record.position;
    const TVector3& r = record.rotation;
    placement.source = ModelPlacement::Source::Part;
    placement.index = i;
    placement.steps = {{K::Translate, 0, p.x, p.z, -p.y},
                       {K::Rotate, -r.z, 0, 1, 0},
                       {K::Rotate, r.y, 0, 0, 1},
                       {K::Rotate, -r.x, 1, 0, 0}};
    if (!record.subAttachmentLine.empty()) {
      TokenArray tokens;
      int count = 0;
      try {
        count = GetTokens(record.subAttachmentLine, tokens, ",");
      } catch (const TokenError&) {
        count = 0;  // more fields than any attachment line has
      }
      if (count == 7) {
        const auto more = AttachmentLineSteps(record.subAttachmentLine);
        placement.steps.insert(placement.steps.end(), more.begin(), more.end());
      }
    }
    return placement;
  }
  return placement;
}

}  // namespace kelvane
