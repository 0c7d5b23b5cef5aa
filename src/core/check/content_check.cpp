// The content check: every mesh and traincar under some folders loaded as
// the viewer loads them, with what the viewer would say collected instead
// of shown.

#include "check/content_check.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "assets/asset_resolver.h"
#include "assets/config_parser.h"
#include "assets/traincar.h"
#include "base/text.h"
#include "mesh/model.h"
#include "mesh/texture_inventory.h"
#include "platform/content_path.h"
#include "platform/dos_command.h"
#include "platform/file_bytes.h"
#include "platform/notices.h"
#include "session/content_session.h"
#include "textures/texture_loader.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class Walker {
 public:
  explicit Walker(ContentListing& out) : out_(out) {}

  void Path(const fs::path& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (fs::is_directory(status)) {
      Folder(path);
    } else if (fs::is_regular_file(status)) {
      File(path);
    } else {
      out_.problems.push_back({path.string(),
                               "path-missing",
                               "no such file or folder" + (ec ? ": " + ec.message() : ""),
                               {},
                               path.string()});
    }
  }

 private:
  // `canonical` is where the file really is; a file named on the command
  // line may also be reached through a folder.
  void File(const fs::path& path, fs::path canonical = {}) {
    if (canonical.empty()) {
      std::error_code ec;
      canonical = fs::weakly_canonical(path, ec);
      if (ec) canonical = path;
    }
    if (!filesSeen_.insert(canonical).second) return;
    const std::string name = AsciiLower(path.filename().string());
    if (EndsWith(name, ".im") || EndsWith(name, ".pm")) {
      out_.meshes.push_back(path);
      out_.canonicalMeshes.insert(canonical);
    }
    if (name == "config.txt") out_.configs.push_back(path);
  }

  void Folder(const fs::path& path) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(path, ec);
    if (ec) {
      Unreadable(path, ec);
      return;
    }
    if (std::find(chain_.begin(), chain_.end(), canonical) != chain_.end()) {
      out_.problems.push_back({path.string(),
                               "symlink-loop",
                               "leads back to \"" + canonical.string() + "\"; not followed",
                               {},
                               path.parent_path().string()});
      return;
    }
    if (!foldersSeen_.insert(canonical).second) return;
    std::vector<fs::directory_entry> entries;
    fs::directory_iterator it(path, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec))
      entries.push_back(*it);
    if (ec) {
      Unreadable(path, ec);
      return;
    }
    std::sort(entries.begin(), entries.end());
    chain_.push_back(canonical);
    for (const auto& entry : entries) {
      std::error_code typeError;
      if (entry.is_directory(typeError)) {
        Folder(entry.path());
      } else if (entry.is_regular_file(typeError)) {
        // Symbolic links to files are followed to where they lead.
        File(entry.path(),
             entry.is_symlink(typeError) ? fs::path() : canonical / entry.path().filename());
      }
    }
    chain_.pop_back();
  }

  void Unreadable(const fs::path& path, const std::error_code& ec) {
    out_.problems.push_back(
        {path.string(), "folder-unreadable", ec.message(), {}, path.parent_path().string()});
  }

  ContentListing& out_;
  std::vector<fs::path> chain_;
  std::set<fs::path> foldersSeen_;
  std::set<fs::path> filesSeen_;
};

// The content files of a load, taken from the disk, with every lookup
// noted. A check changes nothing: the read-only bit stays.
class LookupRecorder final : public ContentFiles {
 public:
  std::optional<fs::path> Find(const fs::path& folder, std::string_view name) const override {
    auto found = DiskContentFiles().Find(folder, name);
    (found ? found_ : missing_).emplace(name);
    return found;
  }
  std::string ReadText(const fs::path& file) const override {
    return DiskContentFiles().ReadText(file);
  }
  void ClearReadOnly(const fs::path&) const override {}

  // Names looked for in vain, neither as an image nor through a
  // description file.
  std::vector<std::string> Missing() const {
    std::vector<std::string> names;
    for (const auto& name : missing_) {
      if (name.empty() || found_.count(name + ".txt")) continue;
      if (EndsWith(name, ".txt") && missing_.count(name.substr(0, name.size() - 4))) continue;
      names.push_back(name);
    }
    return names;
  }

 private:
  mutable std::set<std::string> found_, missing_;
};

// Decoding is the whole of a check's work on a picture: it is looked at,
// not kept (a copy would cost as much as the decoding).
class DiscardingUploader final : public TextureUploader {
 public:
  explicit DiscardingUploader(TextureLoaderState& state) : state_(state) {}
  std::uint32_t Upload(const PixelBuffer& pixels) override {
    MarkUpload(state_, pixels);
    return ++lastName_;
  }
  void Delete(std::span<const std::uint32_t>) override {}

 private:
  TextureLoaderState& state_;
  std::uint32_t lastName_ = 0;
};

std::string TextureKindOfNotice(const Notice& notice) {
  if (notice.text.find("not the same size") != std::string::npos) return "alpha-size";
  if (notice.text.find("supported") != std::string::npos) return "texture-format";
  return "texture-unreadable";
}

void AddTextureFailure(const TextureFailure& failure, const std::string& asset,
                       std::vector<CheckProblem>& out) {
  const std::string file = failure.file.string();
  for (const Notice& notice : failure.notices)
    out.push_back({file, TextureKindOfNotice(notice), notice.text, {}, asset});
  if (!failure.notices.empty()) return;
  const TextureFileKind kind = TextureKindOf(file);
  if (kind == TextureFileKind::kNone ||
      (failure.alphaImage && kind != TextureFileKind::kBmp && kind != TextureFileKind::kTga)) {
    out.push_back({file,
                   "texture-format",
                   failure.alphaImage ? "an alpha image is read only as .bmp or .tga"
                                      : "not a picture type that is read (.texture, .tga, "
                                        ".bmp, .jpg)",
                   {},
                   asset});
  } else {
    out.push_back({file, "texture-unreadable", "the picture cannot be decoded", {}, asset});
  }
}

// A mesh load's messages: damage, compressed content, or a file that is no
// mesh at all (the viewer says nothing then).
void AddMeshNotices(const std::string& file, const std::string& asset, bool loaded,
                    const MeshUnitState& unit, const std::vector<Notice>& notices,
                    std::vector<CheckProblem>& out) {
  for (const Notice& notice : notices) {
    const bool compressed = notice.text == "Cannot decode compressed content";
    const bool damaged = !compressed && unit.DamageOffset.has_value();
    std::optional<std::uint64_t> offset;
    if (unit.DamageOffset) offset = *unit.DamageOffset;
    out.push_back({file,
                   compressed ? "mesh-compressed"
                   : damaged  ? "mesh-damaged"
                              : "mesh-message",
                   notice.text, offset, asset});
  }
  if (!loaded && notices.empty()) {
    out.push_back({file, "mesh-invalid",
                   "not a mesh file (a \"JIRF\" container of form \"IDXM\"); nothing is shown",
                   std::uint64_t{0}, asset});
  }
}

}  // namespace

ContentListing ListContent(const std::vector<fs::path>& paths) {
  ContentListing out;
  Walker walker(out);
  for (const auto& path : paths)
    walker.Path(path);
  std::sort(out.meshes.begin(), out.meshes.end());
  std::sort(out.configs.begin(), out.configs.end());
  return out;
}

TreeIndex IndexTree(const ContentListing& listing) {
  TreeIndex index;
  for (const auto& config : listing.configs) {
    const std::string kuid = ConfigKuid(config);
    if (!kuid.empty()) index.assets[kuid] = config.parent_path();
  }
  index.meshes = listing.canonicalMeshes;
  return index;
}

FileCheck CheckMeshFile(const fs::path& file, const BudgetLimits& limits) {
  FileCheck out;
  const std::string name = file.string();
  std::string error;
  auto bytes = FileBytes::Open(file, &error);
  if (!bytes) {
    out.problems.push_back({name, "mesh-unreadable", "cannot be read: " + error, {}, name});
    return out;
  }
  out.bytesRead = bytes->size();

  MeshUnitState unit;
  RecordingNotifier meshNotices, textureNotices;
  TextureLoaderState textureState;
  DiscardingUploader decoder(textureState);
  SizeRecordingUploader uploads(decoder);
  TextureLoader loader(textureState, textureNotices, uploads);
  RecordingTextureLoader textures(loader, uploads, textureNotices);
  LookupRecorder files;
  LoadContext context{unit, meshNotices};
  context.textures = &textures;
  context.files = &files;
  context.folder = file.parent_path();
  T3DModel model;
  const bool loaded = model.LoadFromMemory(bytes->bytes(), name, context);

  AddMeshNotices(name, name, loaded, unit, meshNotices.notices, out.problems);
  for (const auto& missing : files.Missing()) {
    out.problems.push_back({(context.folder / missing).string(),
                            "texture-missing",
                            "texture \"" + missing + "\" is not in the mesh's folder",
                            {},
                            name});
  }
  for (const auto& failure : textures.failures())
    AddTextureFailure(failure, name, out.problems);
  out.bytesRead += textures.bytesRead();
  if (loaded && limits.Any()) {
    const std::string why = OverBudget(ModelBudget(model, textures.records()), limits);
    if (!why.empty()) out.problems.push_back({name, "over-budget", why, {}, name});
  }
  return out;
}

FileCheck CheckTraincarConfig(const fs::path& config, const TreeIndex& index, bool resolve,
                              const BudgetLimits& limits) {
  FileCheck out;
  const std::string asset = config.string();
  std::error_code ec;
  out.bytesRead = fs::file_size(config, ec);
  if (ec) out.bytesRead = 0;
  // Bogeys, pantographs and other assets are checked through the cars that
  // use them; a config.txt without a kind is a car that lacks it.
  if (auto lines = ConfigLines::FromFile(config)) {
    const int kind = lines->FindTag("", "", "kind", kConfigTop, 0);
    if (kind >= 0 && AsciiLower(StripQuotes(lines->TagValue(kind))) != "traincar") return out;
  }
  // A part not in the tree is looked for in the editing folder, without the
  // host utility.
  // A bare "config.txt" is the one in the working folder.
  fs::path assetFolder = config.has_parent_path() ? config.parent_path() : fs::path(".");
  ProgressLog scanLog;
  MainTaskQueue quietQueue;
  RecordingNotifier quiet;
  TDosCommand noRunner(quiet, quietQueue.Dispatcher());
  ResolverContext scan{assetFolder, noRunner, scanLog};

  SessionOptions options;
  options.loadTextures = false;
  if (!resolve) {
    options.findPart = [&](const std::string& kuid) -> fs::path {
      std::string version = kuid;
      for (int i = 0; i < 5; ++i) {
        if (auto it = index.assets.find(version); it != index.assets.end()) return it->second;
        auto next = NextKuidVersion(version);
        if (!next) break;
        version = *next;
      }
      return FindFolderForKuid(scan, kuid);
    };
  }
  // What each mesh's load said is the mesh's; what is left is the config's.
  std::size_t consumed = 0;
  options.onMeshLoaded = [&](const fs::path& file, const T3DModel&, bool loaded,
                             const MeshUnitState& unit, std::span<const Notice> said) {
    consumed += said.size();
    if (index.meshes.count(fs::weakly_canonical(file, ec))) return;
    AddMeshNotices(file.string(), asset, loaded, unit, {said.begin(), said.end()}, out.problems);
  };
  options.onLeftOut = [&](std::string_view kind, const fs::path& file, const std::string& text) {
    out.problems.push_back(
        {file.empty() ? asset : file.string(), std::string(kind), text, {}, asset});
  };
  ContentSession session(std::move(options));
  const OpenOutcome opened = session.Open(config);
  for (std::size_t i = consumed; i < opened.messages.size(); ++i)
    out.problems.push_back({asset, "config-error", opened.messages[i].text, {}, asset});
  if (opened.loaded && limits.Any() && session.Scene()) {
    // The composition read texture names only; the car's uploads are
    // counted by decoding its meshes' textures as the viewer loads them.
    AssetBudget total;
    for (std::size_t i = 0; i < session.Scene()->ModelCount(); ++i)
      total += ModelBudget(session.Scene()->Model(i), {});
    total.textureBytes = UploadedBytes(InventoryOfMeshes(session.MeshFiles(), true));
    const std::string why = OverBudget(total, limits);
    if (!why.empty()) out.problems.push_back({asset, "over-budget", why, {}, asset});
  }
  return out;
}

CheckReport CheckContent(const CheckOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  const ContentListing listing = ListContent(options.paths);
  const TreeIndex index = IndexTree(listing);
  std::vector<fs::path> tasks = listing.meshes;
  tasks.insert(tasks.end(), listing.configs.begin(), listing.configs.end());
  const std::size_t meshCount = listing.meshes.size();

  std::vector<std::vector<CheckProblem>> results(tasks.size());
  std::atomic<std::size_t> next{0}, done{0};
  std::atomic<std::uint64_t> bytes{0};
  std::mutex mutex;
  std::condition_variable finished;
  auto work = [&] {
    for (std::size_t i = next++; i < tasks.size(); i = next++) {
      FileCheck check;
      try {
        check = i < meshCount
                    ? CheckMeshFile(tasks[i], options.limits)
                    : CheckTraincarConfig(tasks[i], index, options.resolve, options.limits);
      } catch (const std::exception& e) {
        check.problems.push_back(
            {tasks[i].string(), "check-failed", e.what(), {}, tasks[i].string()});
      }
      results[i] = std::move(check.problems);
      bytes += check.bytesRead;
      if (++done == tasks.size()) {
        std::lock_guard lock(mutex);
        finished.notify_all();
      }
    }
  };
  const unsigned jobs = std::max(1u, std::min<unsigned>(options.jobs, unsigned(tasks.size())));
  std::vector<std::jthread> threads;
  for (unsigned j = 0; j < jobs; ++j)
    threads.emplace_back(work);
  if (options.progress) {
    std::unique_lock lock(mutex);
    while (done < tasks.size()) {
      options.progress(done, tasks.size(), bytes);
      finished.wait_for(lock, std::chrono::milliseconds(250));
    }
    options.progress(done, tasks.size(), bytes);
  }
  threads.clear();

  CheckReport report;
  report.problems = listing.problems;
  for (auto& list : results)
    report.problems.insert(report.problems.end(), list.begin(), list.end());
  // A problem reached from several assets is told once, under the first.
  std::sort(report.problems.begin(), report.problems.end());
  report.problems.erase(std::unique(report.problems.begin(), report.problems.end(),
                                    [](const CheckProblem& a, const CheckProblem& b) {
                                      return a.file == b.file && a.kind == b.kind &&
                                             a.message == b.message && a.offset == b.offset;
                                    }),
                        report.problems.end());
  std::sort(report.problems.begin(), report.problems.end(),
            [](const CheckProblem& a, const CheckProblem& b) {
              return std::tie(a.asset, a.file, a.offset, a.kind, a.message) <
                     std::tie(b.asset, b.file, b.offset, b.kind, b.message);
            });
  report.filesChecked = tasks.size();
  report.bytesRead = bytes;
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return report;
}

}  // namespace kelvane
