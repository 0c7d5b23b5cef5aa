#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assets/asset_resolver.h"
#include "base/vector3.h"
#include "mesh/model.h"

namespace kelvane {

class Notifier;

// Caption of the composition's message boxes.
inline constexpr std::string_view kApplicationTitle = "Kelvane";

// One mesh-table mesh that was loaded: its entry's name, its file and the
// attachment line of the parent point it hangs from.
struct TMeshEntry {
  std::string name;
  std::filesystem::path file;
  std::string attachmentLine;
};

// A bogey, pantograph or effect to be placed at an attachment point.
struct TPartRecord {
  TVector3 position;
  TVector3 rotation;  // degrees
  std::string kuid;   // "skip": its mesh was not loaded
  std::string subAttachmentLine;
};

inline constexpr const char* kSkip = "skip";

// The main window's file state and the composition's tables. The tables keep
// their slots between opens; ConfigOpen resets only the counts.
struct TraincarState {
  std::filesystem::path AssetFolder;  // folder of the asset being read
  std::filesystem::path MeshFileName;
  bool TrainCarMode = false;
  bool ModelLoaded = false;
  bool FirstMesh = false;
  std::string UserName;

  std::array<TMeshEntry, 51> MeshEntry;
  int MeshCount = 0;
  std::array<TPartRecord, 21> PartList;
  int PartCount = 0;
  std::array<TPartRecord, 5> Pantographs;
  int PantographCount = 0;
  std::array<TPartRecord, 16> Effects;
  int EffectCount = 0;

  ProgressLog Memo1;
  // The file of every model the composition added, in scene order.
  std::vector<std::filesystem::path> ModelFiles;
};

// What the composition needs around it.
struct TraincarContext {
  TraincarState& state;
  T3DScene& scene;
  LoadContext& load;
  Notifier& notifier;
  TDosCommand& runner;
  ResolverHooks hooks;
  ResolverTiming timing;
  WinePrefix wine = WinePrefix::FromEnvironment();
  // Called after each mesh was added to the scene (the window frames the
  // first one and redraws).
  std::function<void(T3DModel& model, bool loaded)> onModelLoaded;
  // Where a part's folder is looked for instead of the editing folder and
  // the utility; with it the utility is not needed. Empty: not found.
  std::function<std::filesystem::path(const std::string& kuid)> findPart;
  // Told of what the composition leaves out without a message: `kind` is
  // one word, `file` what is missing or damaged.
  std::function<void(std::string_view kind, const std::filesystem::path& file,
                     const std::string& text)>
      onLeftOut;
};

// Composes the traincar in state.AssetFolder into the scene. False after one
// of its messages.
bool ConfigOpen(TraincarContext& context);

// The meshes of the part asset in `folder`: names separated by '|', each
// optionally followed by '?' and the attachment line it hangs from. The
// attachment reader's errors are shown through `notifier`.
std::string PartMeshList(const std::filesystem::path& folder, Notifier& notifier);

// The mesh file behind an ".lm" name of the asset in `assetFolder`; empty
// when its description is missing.
std::filesystem::path ResolveLodMesh(const std::filesystem::path& assetFolder,
                                     std::string_view meshName);

// The attachment line of the last point of `meshFile` whose line contains
// `attachmentName`; empty when none does or the file is not a mesh. A file
// that is not a mesh, and each damaged ATCH chunk, is reported through
// `notifier` with the application's title; a missing file is passed over.
std::string ReadAttachmentLine(const std::filesystem::path& meshFile,
                               std::string_view attachmentName, Notifier& notifier);

struct ModelPlacement {
  enum class Source { Mesh, Part, None } source = Source::None;
  int index = -1;  // MeshEntry or PartList index
  std::vector<PlacementStep> steps;
};

// Where model `modelIndex` of the scene is drawn in traincar mode: a mesh
// at its parent's attachment point, a part at its record.
ModelPlacement PlaceModel(const TraincarState& state, std::size_t modelIndex);

// The transform of an attachment line: fields 1 to 6 as numbers (3 where a
// field is not one), in view axes.
std::vector<PlacementStep> AttachmentLineSteps(std::string_view line);

}  // namespace kelvane
