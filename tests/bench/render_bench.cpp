// Frames of large lit and textured meshes at 800 x 600 through the
// buffer-object path, the client-array path and the immediate-mode
// reference; frames of an orbit; the resident memory a whole kelvane
// --render adds for a large mesh; and the wall time of --render on the
// sample wagon and on the sample locomotive (its pantograph fetched through
// the stand-in utility), and of --info on a traincar of 8,000 mesh-table
// entries.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "egl_context.h"
#include "fixtures/asset_writer.h"
#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/texture_writer.h"
#include "settings/viewer_settings.h"
#include "support/temp_dir.h"
#include "textures/texture_loader_state.h"
#include "textures/texture_upload.h"
#include "view/frame.h"

extern char** environ;

namespace kelvane {
namespace {

// Memory a mesh adds above the small sample wagon, against its file size.
void ReportPeaks(benchmark::State& state, double wagonBytes, double meshBytes, double fileBytes) {
  state.counters["x_file"] = (meshBytes - wagonBytes) / fileBytes;
  state.counters["added_MB"] = (meshBytes - wagonBytes) / 1e6;
  state.counters["wagon_MB"] = wagonBytes / 1e6;
}

// A wavy grid sheet per object, stacked, textured with a checker; `grid`
// vertices a side.
void BuildLargeModel(T3DModel& model, std::uint32_t texture, int grid, int objects) {
  for (int k = 0; k < objects; ++k) {
    auto o = std::make_unique<T3DObject>();
    for (int j = 0; j < grid; ++j) {
      for (int i = 0; i < grid; ++i) {
        const float x = -8.0f + 16.0f * static_cast<float>(i) / static_cast<float>(grid - 1);
        const float y = -1.0f + 2.0f * static_cast<float>(k) * 8.0f / static_cast<float>(objects) +
                        1.5f * static_cast<float>(j) / static_cast<float>(grid);
        o->vertices.push_back({x, y, 0.3f * std::sin(x)});
        o->normals.push_back({-0.3f * std::cos(x), 0.0f, 1.0f});
        o->texCoords.push_back({static_cast<float>(i) / 32.0f, static_cast<float>(j) / 32.0f});
      }
    }
    const auto g = static_cast<std::uint32_t>(grid);
    for (std::uint32_t j = 0; j + 1 < g; ++j) {
      for (std::uint32_t i = 0; i + 1 < g; ++i) {
        const std::uint32_t a = j * g + i;
        o->faces.push_back({a, a + 1, a + g + 1});
        o->faces.push_back({a, a + g + 1, a + g});
      }
    }
    o->vertexCount = static_cast<std::int32_t>(o->vertices.size());
    o->faceCount = static_cast<std::int32_t>(o->faces.size());
    o->material.hasTexture = true;
    o->material.texture = texture;
    o->material.diffuse.colour = {0.8f, 0.8f, 0.8f, 1.0f};
    o->material.twoSided = 1;
    model.objects.push_back(std::move(o));
  }
}

struct MeshSize {
  int grid;
  int objects;
};
constexpr MeshSize k200k{224, 2};  // 198,916 triangles
constexpr MeshSize k1M{256, 8};    // 1,040,400 triangles

// Frames per second of the mesh; with `orbit` the view turns a degree
// about the vertical axis every frame, as a drag in the viewer does.
void MeshFrames(benchmark::State& state, GeometryPath path, MeshSize size, bool orbit,
                const char* target) {
  constexpr int kW = 800, kH = 600;
  std::string why;
  std::optional<HeadlessGlContext> gl = HeadlessGlContext::Create(kW, kH, &why);
  if (!gl) {
    state.SkipWithError(("no headless GL context: " + why).c_str());
    return;
  }
  FrameState frame;
  DrawSettings& draw = frame.draw;
  SetupGL(draw, HeadlessGlContext::Lookup());
  frame.BGroundColour = kDefaultBackgroundColour;
  draw.path = path;
  TextureLoaderState loaderState;
  PixelBuffer checker = PixelBuffer::Zeroed(64, 64, 3);
  for (std::size_t i = 0; i < checker.pixels.size(); ++i)
    checker.pixels[i] =
        static_cast<std::uint8_t>(((i / 3 % 64) / 8 + (i / 192) / 8) % 2 ? 220 : 60);
  GLuint texture = CreateTexture(checker, loaderState);
  {
    T3DModel model;
    BuildLargeModel(model, texture, size.grid, size.objects);
    MeshUnitState unit;
    unit.LightingOn = true;  // lit as well as textured
    ViewState& view = frame.view;
    view.Zoom = 4.0f;
    view.RotX = 15.0f;
    frame.modes.ShowAxes = false;
    frame.unit = &unit;
    frame.currentModel = &model;
    SetPerspective(kW, kH);
    RenderFrame(frame);  // buffers and derived arrays are built once, outside the timing
    glFinish();
    for (auto _ : state) {
      if (orbit) view.RotY = std::fmod(view.RotY + 1.0f, 360.0f);
      RenderFrame(frame);
      glFinish();
    }
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["triangles"] = static_cast<double>(model.FaceCount());
  }
  glDeleteTextures(1, &texture);
  ReleaseDrawResources(draw);
  if (target) state.SetLabel(target);
}

#define KELVANE_FRAMES(family, size, orbit, target, minTime)                                       \
  BENCHMARK_CAPTURE(MeshFrames, family##_kelvane, GeometryPath::BufferObjects, size, orbit,        \
                    target)                                                                        \
      ->Name(#family "/kelvane")                                                                   \
      ->Unit(benchmark::kMillisecond)                                                              \
      ->UseRealTime()                                                                              \
      ->MinTime(minTime);                                                                          \
  BENCHMARK_CAPTURE(MeshFrames, family##_arrays, GeometryPath::VertexArrays, size, orbit, nullptr) \
      ->Name(#family "/vertex-arrays")                                                             \
      ->Unit(benchmark::kMillisecond)                                                              \
      ->UseRealTime()                                                                              \
      ->MinTime(minTime);                                                                          \
  BENCHMARK_CAPTURE(MeshFrames, family##_immediate, GeometryPath::Immediate, size, orbit, nullptr) \
      ->Name(#family "/immediate")                                                                 \
      ->Unit(benchmark::kMillisecond)                                                              \
      ->UseRealTime()                                                                              \
      ->MinTime(minTime)

KELVANE_FRAMES(Frame200k, k200k, false, "target>=1.2@immediate", 1.0);
KELVANE_FRAMES(Frame1M, k1M, false, "target>=1.1@immediate", 2.0);
KELVANE_FRAMES(Orbit1M, k1M, true, nullptr, 2.0);

// ----- whole runs of kelvane --render ------------------------------------------

struct ChildRun {
  bool ok = false;
  double seconds = 0;
  double cpuSeconds = 0;  // user and system time of the child
};

// Starts kelvane with `args`, its output thrown away; what it prints on
// standard error goes to `errors` when one is given. `env` entries replace
// the inherited ones of the same name. Returns 0 when it could not start.
pid_t SpawnKelvane(const std::vector<std::string>& args, const char* errors = nullptr,
                   const std::vector<std::string>& env = {}) {
  std::vector<std::string> all{KELVANE_EXE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = env;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry = *e;
    const auto replaced = [&](const std::string& given) {
      return entry.substr(0, entry.find('=') + 1) == given.substr(0, given.find('=') + 1);
    };
    if (std::none_of(env.begin(), env.end(), replaced)) environment.emplace_back(entry);
  }
  std::vector<char*> envp;
  for (auto& e : environment)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errors ? errors : "/dev/null",
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : 0;
}

// Runs kelvane with `args` to its end.
ChildRun RunKelvane(const std::vector<std::string>& args, const char* errors = nullptr) {
  ChildRun run;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = SpawnKelvane(args, errors);
  if (pid == 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// The milliseconds kelvane --render --timing reports from opening the
// file to the drawn frame; the whole run's wall time beside them.
void RenderWall(benchmark::State& state, bool locomotive) {
  for (auto _ : state) {
    state.PauseTiming();
    testing::TempDir dir;
    std::filesystem::path input;
    if (locomotive) {
      input = fixtures::WriteSampleTraincar(dir.path(), KELVANE_STANDIN).locomotive;
    } else {
      fixtures::WriteSampleAssets(dir.path());
      input = dir / "wagon" / "wagon.im";
    }
    const auto errors = dir / "errors.txt";
    state.ResumeTiming();
    const ChildRun run = RunKelvane(
        {"--render", input.string(), "-o", (dir / "out.jpg").string(), "--timing"}, errors.c_str());
    std::ifstream text(errors);
    const std::string said((std::istreambuf_iterator<char>(text)), {});
    const std::string mark = "opened and drawn in ";
    const std::size_t at = said.find(mark);
    if (!run.ok || at == std::string::npos) {
      state.SkipWithError("kelvane --render failed");
      return;
    }
    state.SetIterationTime(run.seconds);
    state.counters["open_to_frame_ms"] = std::stod(said.substr(at + mark.size()));
    state.counters["process_ms"] = run.seconds * 1000.0;
  }
  state.SetLabel(locomotive ? "max:open_to_frame_ms:300" : "max:process_ms:150");
}

BENCHMARK_CAPTURE(RenderWall, wagon, false)
    ->Name("RenderWagon/kelvane")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(RenderWall, locomotive, true)
    ->Name("RenderLocomotive/kelvane")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// The wall time of a whole kelvane --info on a traincar of 8,000 mesh-table
// entries.
void InfoWall(benchmark::State& state) {
  testing::TempDir dir;
  const auto traincar = fixtures::WriteLargeTraincar(dir.path(), 8000, KELVANE_STANDIN).traincar;
  for (auto _ : state) {
    const ChildRun run = RunKelvane({"--info", traincar.string()});
    if (!run.ok) {
      state.SkipWithError("kelvane --info failed");
      return;
    }
    state.SetIterationTime(run.seconds);
    state.counters["process_ms"] = run.seconds * 1000.0;
    state.counters["cpu_ms"] = run.cpuSeconds * 1000.0;
  }
  state.SetLabel("max:process_ms:100");
}
BENCHMARK(InfoWall)
    ->Name("InfoTraincar8000/kelvane")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// The large mesh make bench writes (KELVANE_BENCH_MESH), else one written
// here once.
std::filesystem::path LargeBenchMesh() {
  static const std::filesystem::path path = [] {
    if (const char* given = std::getenv("KELVANE_BENCH_MESH")) return std::filesystem::path(given);
    auto p = std::filesystem::temp_directory_path() / "kelvane-bench-large.im";
    if (!std::filesystem::exists(p))
      fixtures::WriteFile(p, fixtures::LargeMesh(2'000'000, 1'700'000));
    return p;
  }();
  return path;
}

// Whole runs of kelvane --export on the large mesh beside --info on it:
// the export is to take less than twice the time, a rate of at least half.
void LargeMeshMode(benchmark::State& state, bool exporting) {
  const std::filesystem::path mesh = LargeBenchMesh();
  testing::TempDir dir;
  for (auto _ : state) {
    const ChildRun run =
        exporting ? RunKelvane({"--export", mesh.string(), "-o", (dir / "large.glb").string()})
                  : RunKelvane({"--info", mesh.string()});
    if (!run.ok) {
      state.SkipWithError(exporting ? "kelvane --export failed" : "kelvane --info failed");
      return;
    }
    state.SetIterationTime(run.seconds);
    state.counters["runs/s"] = 1.0 / run.seconds;
    state.counters["process_ms"] = run.seconds * 1000.0;
  }
  if (exporting) state.SetLabel("target>=0.5");
}

BENCHMARK_CAPTURE(LargeMeshMode, export, true)
    ->Name("ExportLargeMesh/kelvane")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(LargeMeshMode, info, false)
    ->Name("ExportLargeMesh/info")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// 200,000 triangles in grid sheets of at most 65536 vertices: a 6.8 MB file.
constexpr std::size_t kGridVertices = 100'000;
constexpr std::size_t kGridFaces = 200'000;

// The grid mesh and the picture its material names, beside it.
std::filesystem::path WriteGrid(const std::filesystem::path& folder) {
  const auto grid = folder / "grid.im";
  fixtures::WriteFile(grid, fixtures::LargeMesh(kGridVertices, kGridFaces));
  fixtures::Picture<fixtures::Rgba8> checker{64, 64, {}};
  for (int i = 0; i < 64 * 64; ++i) {
    const auto v = static_cast<std::uint8_t>(((i % 64) / 8 + (i / 512)) % 2 ? 220 : 60);
    checker.texels.push_back({v, v, v, 255});
  }
  fixtures::WriteFile(folder / "body.tga",
                      fixtures::WriteTga(fixtures::TgaTrueColour(checker, 24, false)));
  return grid;
}

// Peak resident memory of kelvane --render on a 200k-triangle grid mesh
// beyond the same run on the sample wagon, whose few hundred triangles
// leave little more than the program and an empty GL context; as a
// multiple of the mesh file's size.
void RenderMemory(benchmark::State& state) {
  testing::TempDir dir;
  fixtures::WriteSampleAssets(dir.path());
  const auto grid = WriteGrid(dir.path());
  const double file = static_cast<double>(std::filesystem::file_size(grid));
  // The peak as the run reports it: a spawned child's own rusage would
  // count this process's memory from before its exec.
  const auto peak = [&dir](const std::filesystem::path& mesh) {
    const auto errors = dir / "errors.txt";
    const ChildRun run = RunKelvane(
        {"--render", mesh.string(), "-o", (dir / "out.jpg").string(), "--timing"}, errors.c_str());
    std::ifstream text(errors);
    const std::string said((std::istreambuf_iterator<char>(text)), {});
    const std::string mark = "peak resident memory ";
    const std::size_t at = said.find(mark);
    return run.ok && at != std::string::npos ? std::stod(said.substr(at + mark.size())) * 1024
                                             : -1.0;
  };
  for (auto _ : state) {
    const double empty = peak(dir / "wagon" / "wagon.im");
    const double full = peak(grid);
    if (empty < 0 || full < 0) {
      state.SkipWithError("kelvane --render failed");
      return;
    }
    ReportPeaks(state, empty, full, file);
  }
  state.SetLabel("max:x_file:3");
}
// A private X server: Xvfb picks a free display and writes its number to
// a pipe.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::vector<std::string> args{"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                  "-screen",   "0",          "1280x1024x24",
                                  "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    char c = 0;
    while (pid_ != 0 && poll(&wait, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
      number += c;
    close(fds[0]);
    if (!number.empty()) name_ = ":" + number;
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  ~VirtualDisplay() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = 0;
  std::string name_;
};

double StatusBytes(pid_t pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::string(field).size())) * 1024;
  }
  return -1;
}

// The viewer's peak resident memory with `file` open: taken once it has
// stayed the same for a second and a half, after the load and the frames
// that follow it.
double ViewerPeak(const std::string& display, const std::filesystem::path& settings,
                  const std::filesystem::path& file) {
  const pid_t pid = SpawnKelvane({"--settings", settings.string(), file.string()}, nullptr,
                                 {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"});
  if (pid == 0) return -1;
  double peak = -1;
  int steady = 0;
  for (int tick = 0; tick < 300 && steady < 15; ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double now = StatusBytes(pid, "VmHWM:");
    if (now < 0) break;  // it ended
    steady = tick >= 20 && now == peak ? steady + 1 : 0;
    peak = now;
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return steady >= 15 ? peak : -1;
}

// The same for the viewer (on a private X server) holding the mesh, beyond
// the viewer holding the sample wagon.
void ViewerMemory(benchmark::State& state) {
  testing::TempDir dir;
  fixtures::WriteSampleAssets(dir.path());
  const auto grid = WriteGrid(dir.path());
  const auto settings = dir / "kelvane.ini";
  fixtures::WriteTextFile(settings,
                          "[Paths]\nCorvel_dir=NotFound\nDunmere_dir=NotFound\n"
                          "Estrel_dir=NotFound\n");
  const double file = static_cast<double>(std::filesystem::file_size(grid));
  const VirtualDisplay display;
  if (display.name().empty()) {
    state.SkipWithError("no Xvfb display");
    return;
  }
  for (auto _ : state) {
    const double empty = ViewerPeak(display.name(), settings, dir / "wagon" / "wagon.im");
    const double full = ViewerPeak(display.name(), settings, grid);
    if (empty < 0 || full < 0) {
      state.SkipWithError("the viewer did not settle");
      return;
    }
    ReportPeaks(state, empty, full, file);
  }
  state.SetLabel("max:x_file:3");
}
BENCHMARK(ViewerMemory)
    ->Name("ViewerMemory200k/kelvane")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(1);

BENCHMARK(RenderMemory)
    ->Name("RenderMemory200k/kelvane")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(1);

}  // namespace
}  // namespace kelvane
