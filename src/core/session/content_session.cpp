#include "session/content_session.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <system_error>

#include "base/text.h"
#include "platform/content_path.h"
#include "platform/dos_command.h"
#include "textures/texture_loader.h"
#include "view/frame.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

// Records what an open says and passes it on to whoever shows it.
class PassingNotifier final : public Notifier {
 public:
  explicit PassingNotifier(Notifier* shown) : shown_(shown) {}
  void ShowMessage(const Notice& notice) override {
    record.ShowMessage(notice);
    if (shown_) shown_->ShowMessage(notice);
  }
  bool AskYesNo(const Notice& question) override {
    return shown_ ? shown_->AskYesNo(question) : false;
  }
  void Beep() override {
    if (shown_) shown_->Beep();
  }
  RecordingNotifier record;

 private:
  Notifier* shown_;
};

// Message texts end lines with CR; a status line or a reason is one line.
std::string OneLineOf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += (text[i] == '\r' || text[i] == '\n') ? ' ' : text[i];
  }
  const auto first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  out = out.substr(first, out.find_last_not_of(' ') - first + 1);
  // Runs of blanks that stood around a line break read as one.
  out.erase(
      std::unique(out.begin(), out.end(), [](char a, char b) { return a == ' ' && b == ' '; }),
      out.end());
  return out;
}

// Passes every upload on and keeps a copy of its picture by texture name.
class PictureKeepingUploader final : public TextureUploader {
 public:
  explicit PictureKeepingUploader(std::unique_ptr<TextureUploader> inner)
      : inner_(std::move(inner)) {}
  std::uint32_t Upload(const PixelBuffer& pixels) override {
    const std::uint32_t name = inner_->Upload(pixels);
    pictures_.insert_or_assign(name, pixels);
    return name;
  }
  void Delete(std::span<const std::uint32_t> names) override {
    for (std::uint32_t name : names)
      pictures_.erase(name);
    inner_->Delete(names);
  }
  const PixelBuffer* Find(std::uint32_t name) const {
    const auto it = pictures_.find(name);
    return it == pictures_.end() ? nullptr : &it->second;
  }

 private:
  std::unique_ptr<TextureUploader> inner_;
  std::map<std::uint32_t, PixelBuffer> pictures_;
};

fs::path ConfigFileOf(const fs::path& folder) {
  if (auto found = FindContentFile(folder, "config.txt")) return *found;
  return folder / "config.txt";
}

}  // namespace

ContentKind ContentKindToOpen(const fs::path& path) {
  if (LowerExtension(path.string()) == ".txt") return ContentKind::kTraincar;
  return ContentKindOf(path);
}

struct ContentSession::Content {
  explicit Content(Notifier* shown) : said(shown) {}
  ~Content() {
    if (loader) DeleteTrackTextures(track, *loader);
  }
  MaterialTextureLoader& Textures() {
    return inventory ? static_cast<MaterialTextureLoader&>(*inventory) : *loader;
  }

  PassingNotifier said;
  TextureLoaderState textureState;
  std::unique_ptr<TextureUploader> uploader;
  PictureKeepingUploader* pictures = nullptr;  // in `uploader`, when kept
  std::unique_ptr<SizeRecordingUploader> sizes;
  std::unique_ptr<TextureLoader> loader;
  std::unique_ptr<RecordingTextureLoader> inventory;
  MeshUnitState unit;
  TraincarState traincar;
  TrackState track;
  std::optional<TextureView> texture;
  // Last: its models delete their textures through the loaders above.
  T3DScene scene;
  const T3DModel* current = nullptr;
  std::map<const T3DModel*, std::vector<TAttachPoint>> attachments;
  ContentKind kind = ContentKind::kNothing;
  bool loaded = false;
  fs::path opened;
};

ContentSession::ContentSession(SessionOptions options) : options_(std::move(options)) {}

ContentSession::~ContentSession() = default;

std::unique_ptr<ContentSession::Content> ContentSession::MakeContent(Notifier* shown) {
  auto c = std::make_unique<Content>(shown);
  c->uploader = options_.uploader ? options_.uploader(c->textureState)
                                  : std::make_unique<DecodeOnlyUploader>(c->textureState);
  if (options_.keepPictures) {
    auto keeping = std::make_unique<PictureKeepingUploader>(std::move(c->uploader));
    c->pictures = keeping.get();
    c->uploader = std::move(keeping);
  }
  TextureUploader* upload = c->uploader.get();
  if (options_.recordTextures) {
    c->sizes = std::make_unique<SizeRecordingUploader>(*c->uploader);
    upload = c->sizes.get();
  }
  c->loader = std::make_unique<TextureLoader>(c->textureState, c->said, *upload);
  if (options_.recordTextures)
    c->inventory = std::make_unique<RecordingTextureLoader>(*c->loader, *c->sizes, c->said.record);
  return c;
}

OpenOutcome ContentSession::Open(const fs::path& path) {
  std::unique_ptr<Content> trial = MakeContent(options_.notifier);
  OpenOutcome outcome = OpenInto(*trial, path);
  // The old content goes here, or the trial at the end: either way while
  // the caller's context is current.
  if (outcome.loaded || !content_) {
    content_ = std::move(trial);
    outcome.replaced = true;
  }
  return outcome;
}

OpenOutcome ContentSession::Reload() {
  if (!content_ || content_->opened.empty()) {
    OpenOutcome nothing;
    nothing.reason = "nothing is open";
    return nothing;
  }
  std::unique_ptr<Content> trial = MakeContent(nullptr);
  OpenOutcome outcome = OpenInto(*trial, content_->opened);
  // What the last good open said already (a texture that was always
  // missing) does not stop a reload; anything new (damage) does.
  const std::vector<Notice>& before = content_->said.record.notices;
  for (const Notice& n : outcome.messages) {
    const bool known = std::any_of(before.begin(), before.end(), [&](const Notice& b) {
      return b.caption == n.caption && b.text == n.text;
    });
    if (!known) {
      outcome.loaded = false;
      outcome.reason = OneLineOf(n.text);
      break;
    }
  }
  if (!outcome.loaded && outcome.reason.empty()) outcome.reason = "it could not be read";
  if (outcome.loaded) {
    content_ = std::move(trial);
    outcome.replaced = true;
  }
  return outcome;
}

void ContentSession::Close() {
  content_.reset();
}

OpenOutcome ContentSession::OpenInto(Content& content, const fs::path& path) {
  OpenOutcome outcome;
  std::error_code ec;
  const ContentKind kind = ContentKindToOpen(path);
  if (kind == ContentKind::kTraincar) {
    fs::path folder = fs::is_directory(path, ec) ? path : path.parent_path();
    // A bare "config.txt" is the one in the working folder.
    if (folder.empty()) folder = ".";
    content.opened = ConfigFileOf(folder);
    outcome.recentLabel = AbsoluteFolder(folder).filename().string();
    if (outcome.recentLabel.empty())
      outcome.recentLabel = AbsoluteFolder(folder).parent_path().filename().string();
    OpenTraincar(content, folder, outcome);
  } else {
    content.opened = path;
    outcome.recentLabel = path.filename().string();
    if (!fs::is_regular_file(path, ec)) {
      outcome.reason = "File not found";
    } else if (kind == ContentKind::kMesh) {
      OpenMesh(content, path, outcome);
    } else if (kind == ContentKind::kTexture) {
      OpenTexture(content, path, outcome);
    }
  }
  outcome.recentEntry = content.opened;
  outcome.kind = content.kind;
  outcome.loaded = content.loaded;
  outcome.messages = content.said.record.notices;
  if (content.kind == ContentKind::kMesh) {
    outcome.meshFiles = {path};
  } else if (content.kind == ContentKind::kTraincar) {
    outcome.meshFiles = content.traincar.ModelFiles;
  }
  if (!content.loaded && outcome.reason.empty()) {
    if (!outcome.messages.empty()) {
      outcome.reason = OneLineOf(outcome.messages.front().text);
    } else if (content.kind == ContentKind::kTraincar) {
      outcome.reason = "no mesh of the traincar loaded";
    } else if (content.kind == ContentKind::kTexture) {
      outcome.reason = "the picture cannot be decoded";
    } else {
      outcome.reason = "not a mesh file";
    }
  }
  return outcome;
}

void ContentSession::OpenMesh(Content& content, const fs::path& file, OpenOutcome& outcome) {
  content.kind = ContentKind::kMesh;
  T3DModel& model = content.scene.AddModel();
  content.current = &model;
  LoadContext load{content.unit, content.said};
  if (options_.loadTextures) load.textures = &content.Textures();
  // A mesh damaged before its first object has nothing to show either.
  content.loaded = model.Load(file, load) && model.ObjectCount() > 0;
  // Mesh Data describes the empty model a failed load leaves.
  if (!content.loaded) content.unit.MeshBounds = TMeshBounds{};
  NoteAttachments(content, model);
  if (content.inventory) content.inventory->NoteUsers(model);
  if (options_.onMeshLoaded)
    options_.onMeshLoaded(file, model, content.loaded, content.unit, content.said.record.notices);
  outcome.modelsLoaded = content.loaded ? 1 : 0;
  outcome.firstView = FirstView{FramingZoom(content.unit, false), 0.0f};
}

void ContentSession::OpenTexture(Content& content, const fs::path& file, OpenOutcome& outcome) {
  content.kind = ContentKind::kTexture;
  content.texture = OpenTextureView(file, content.said);
  content.loaded = content.texture.has_value();
  outcome.firstView = FirstView{TextureFramingZoom(), 0.0f};
}

void ContentSession::OpenTraincar(Content& content, const fs::path& folder, OpenOutcome& outcome) {
  content.kind = ContentKind::kTraincar;
  content.traincar.AssetFolder = folder;
  LoadContext load{content.unit, content.said};
  if (options_.loadTextures) load.textures = &content.Textures();
  MainTaskQueue mainThread;
  TDosCommand runner(content.said, mainThread.Dispatcher());
  TraincarContext context{content.traincar, content.scene, load, content.said, runner};
  context.hooks = options_.hooks;
  context.hooks.pump = [this, &mainThread] {
    mainThread.RunPending();
    if (options_.hooks.pump) options_.hooks.pump();
  };
  context.timing = options_.timing;
  context.findPart = options_.findPart;
  context.onLeftOut = options_.onLeftOut;
  // The bump slider serves every mesh of the car, so a bump map in any of
  // them counts, not only in the last one loaded.
  bool anyBump = false;
  std::size_t seen = 0;
  context.onModelLoaded = [&](T3DModel& model, bool loaded) {
    const auto& notices = content.said.record.notices;
    const std::span<const Notice> said(notices.data() + seen, notices.size() - seen);
    seen = notices.size();
    anyBump = anyBump || content.unit.AnyBumpLoaded;
    content.current = &model;
    NoteAttachments(content, model);
    if (loaded) {
      ++outcome.modelsLoaded;
      // The first mesh that loads frames the car, whatever came before it.
      if (!outcome.firstView)
        outcome.firstView = FirstView{FramingZoom(content.unit, false), kTraincarTurn};
    }
    if (content.inventory) content.inventory->NoteUsers(model);
    if (options_.onMeshLoaded)
      options_.onMeshLoaded(content.traincar.MeshFileName, model, loaded, content.unit, said);
  };
  composing_ = &content;
  const bool composed = ConfigOpen(context);
  mainThread.RunPending();
  composing_ = nullptr;
  content.unit.AnyBumpLoaded = anyBump;
  content.loaded = composed && outcome.modelsLoaded > 0;
  if (content.loaded) LoadTrackTextures(content.track, *content.loader, options_.trackFolder);
}

void ContentSession::NoteAttachments(Content& content, const T3DModel& model) {
  const auto count = static_cast<std::size_t>(std::max(content.unit.AttachmentCount, 0));
  const auto& table = content.unit.AttachmentTable;
  content.attachments[&model].assign(table.begin(), table.begin() + std::min(count, table.size()));
}

const PixelBuffer* ContentSession::Picture(std::uint32_t texture) const {
  return content_ && content_->pictures ? content_->pictures->Find(texture) : nullptr;
}

std::span<const TAttachPoint> ContentSession::Attachments(const T3DModel& model) const {
  if (!content_) return {};
  const auto it = content_->attachments.find(&model);
  if (it == content_->attachments.end()) return {};
  return it->second;
}

bool ContentSession::Loaded() const {
  return content_ && content_->loaded;
}

ContentKind ContentSession::Kind() const {
  return content_ ? content_->kind : ContentKind::kNothing;
}

const fs::path& ContentSession::OpenedPath() const {
  static const fs::path none;
  return content_ ? content_->opened : none;
}

const T3DScene* ContentSession::Scene() const {
  return content_ ? &content_->scene : nullptr;
}

const T3DModel* ContentSession::CurrentModel() const {
  return content_ ? content_->current : nullptr;
}

MeshUnitState* ContentSession::Unit() {
  return content_ ? &content_->unit : nullptr;
}

const MeshUnitState* ContentSession::Unit() const {
  return content_ ? &content_->unit : nullptr;
}

const TraincarState* ContentSession::Traincar() const {
  return content_ ? &content_->traincar : nullptr;
}

const TrackState* ContentSession::Track() const {
  return content_ ? &content_->track : nullptr;
}

const TextureView* ContentSession::Texture() const {
  return content_ && content_->texture ? &*content_->texture : nullptr;
}

const ProgressLog* ContentSession::Log() const {
  if (composing_) return &composing_->traincar.Memo1;
  return content_ ? &content_->traincar.Memo1 : nullptr;
}

const std::vector<TextureRecord>& ContentSession::TextureRecords() const {
  static const std::vector<TextureRecord> none;
  return content_ && content_->inventory ? content_->inventory->records() : none;
}

const std::vector<TextureFailure>& ContentSession::TextureFailures() const {
  static const std::vector<TextureFailure> none;
  return content_ && content_->inventory ? content_->inventory->failures() : none;
}

std::vector<fs::path> ContentSession::MeshFiles() const {
  if (!content_) return {};
  if (content_->kind == ContentKind::kMesh) return {content_->opened};
  if (content_->kind == ContentKind::kTexture) return {};
  return content_->traincar.ModelFiles;
}

}  // namespace kelvane
