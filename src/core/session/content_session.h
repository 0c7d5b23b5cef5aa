#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "assets/asset_resolver.h"
#include "assets/traincar.h"
#include "mesh/model.h"
#include "mesh/texture_inventory.h"
#include "overlays/track.h"
#include "platform/content_kind.h"
#include "platform/notices.h"
#include "textures/texture_uploader.h"
#include "view/texture_view.h"

// What the viewer has open: a mesh, a composed traincar, or nothing. Every
// front end (the window, --render, --thumbnail, --info, --check) opens,
// reloads and closes content through one session, so the wiring of scene,
// loaders, runner and composition lives here alone.

namespace kelvane {

// How a path is opened: as ContentKindOf says, and any other text file of
// an asset's folder as the asset.
ContentKind ContentKindToOpen(const std::filesystem::path& path);

// The camera an open asks for: the design frames the first mesh that
// loads, and turns a traincar to show its side.
struct FirstView {
  float zoom = 1.0f;
  float rotY = 0.0f;
};

// A traincar is first seen turned this far about the vertical, in degrees.
inline constexpr float kTraincarTurn = 60.0f;

// What one open did.
struct OpenOutcome {
  ContentKind kind = ContentKind::kNothing;
  // Something was loaded to be shown; only then does the open replace what
  // was open before.
  bool loaded = false;
  // The open content was replaced: by what loaded, or by what failed where
  // nothing was open before.
  bool replaced = false;
  std::size_t modelsLoaded = 0;
  // What the loaders and the composition said, in order.
  std::vector<Notice> messages;
  // Why nothing was loaded, one line; empty when something was.
  std::string reason;
  std::optional<FirstView> firstView;
  // The mesh files of the models shown, in scene order.
  std::vector<std::filesystem::path> meshFiles;
  // The path the recent-files list keeps ("config.txt" for a traincar) and
  // how the list names it (the asset's folder for a traincar).
  std::filesystem::path recentEntry;
  std::string recentLabel;
};

// Makes the uploader of one open's textures; none: decoded only.
using UploaderFactory = std::function<std::unique_ptr<TextureUploader>(TextureLoaderState&)>;

struct SessionOptions {
  // Where messages go as they happen (message boxes, stderr); none: only
  // the outcome has them.
  Notifier* notifier = nullptr;
  UploaderFactory uploader;
  // Without textures, material texture names are read and no image is
  // looked for (the content check of traincars).
  bool loadTextures = true;
  // Keep a record of every texture file loaded (the --info inventory).
  bool recordTextures = false;
  // Keep the decoded picture of every texture made (the glTF export).
  bool keepPictures = false;
  // Where the track's images are; empty: no track images.
  std::filesystem::path trackFolder;
  ResolverHooks hooks;
  ResolverTiming timing;
  // Where a part's folder is found instead of through the host utility.
  std::function<std::filesystem::path(const std::string& kuid)> findPart;
  // What a composition leaves out without a message.
  std::function<void(std::string_view kind, const std::filesystem::path& file,
                     const std::string& text)>
      onLeftOut;
  // After each mesh of an open was loaded, with the messages its load said.
  std::function<void(const std::filesystem::path& file, const T3DModel& model, bool loaded,
                     const MeshUnitState& unit, std::span<const Notice> said)>
      onMeshLoaded;
};

class ContentSession {
 public:
  explicit ContentSession(SessionOptions options);
  ~ContentSession();
  ContentSession(const ContentSession&) = delete;
  ContentSession& operator=(const ContentSession&) = delete;

  // Opens `path` into fresh content, which replaces the open content when
  // it loaded something, or when nothing was open. Textures are made in
  // whatever GL context is current: the host makes its own current first.
  OpenOutcome Open(const std::filesystem::path& path);
  // Opens the path the user opened last again, quietly, and takes the new
  // content over only when it loaded and said nothing new; otherwise the
  // last good content stays and the outcome says why.
  OpenOutcome Reload();
  // Frees the content and its textures (with their context current).
  void Close();

  bool Loaded() const;
  bool Busy() const { return composing_ != nullptr; }
  ContentKind Kind() const;
  // What the user opened (the folder's "config.txt" for a traincar), apart
  // from where the composition was working last.
  const std::filesystem::path& OpenedPath() const;

  const T3DScene* Scene() const;
  const T3DModel* CurrentModel() const;
  // The model unit of the open content; drawing keeps its cube-map marks
  // there.
  MeshUnitState* Unit();
  const MeshUnitState* Unit() const;
  const TraincarState* Traincar() const;
  const TrackState* Track() const;
  // The picture of a texture opened on its own.
  const TextureView* Texture() const;
  // The lines of the lookup under way, else of the open content.
  const ProgressLog* Log() const;
  const std::vector<TextureRecord>& TextureRecords() const;
  const std::vector<TextureFailure>& TextureFailures() const;
  // The decoded picture a texture of the open content was made from, when
  // the session keeps pictures; else none.
  const PixelBuffer* Picture(std::uint32_t texture) const;
  // The attachment points a model of the open content was loaded with.
  std::span<const TAttachPoint> Attachments(const T3DModel& model) const;
  // The mesh files of the open content's models, in scene order.
  std::vector<std::filesystem::path> MeshFiles() const;

 private:
  struct Content;

  OpenOutcome OpenInto(Content& content, const std::filesystem::path& path);
  void OpenMesh(Content& content, const std::filesystem::path& file, OpenOutcome& outcome);
  void OpenTraincar(Content& content, const std::filesystem::path& folder, OpenOutcome& outcome);
  void OpenTexture(Content& content, const std::filesystem::path& file, OpenOutcome& outcome);
  std::unique_ptr<Content> MakeContent(Notifier* shown);
  static void NoteAttachments(Content& content, const T3DModel& model);

  SessionOptions options_;
  std::unique_ptr<Content> content_;
  Content* composing_ = nullptr;
};

}  // namespace kelvane
