// Frames of a 1,000,000-triangle lit and textured mesh at 800 x 600 through
// the vertex-array path against the immediate-mode reference, and the wall
// time of a whole kelvane --render of the sample wagon.

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "egl_context.h"
#include "fixtures/sample_assets.h"
#include "support/temp_dir.h"
#include "textures/texture_loader_state.h"
#include "textures/texture_upload.h"
#include "view/frame.h"

namespace kelvane {
namespace {

constexpr int kGrid = 256;  // vertices a side: 130,050 triangles an object
constexpr int kObjects = 8;

// A wavy grid sheet per object, stacked, textured with a checker.
void BuildLargeModel(T3DModel& model, std::uint32_t texture) {
  for (int k = 0; k < kObjects; ++k) {
    auto o = std::make_unique<T3DObject>();
    for (int j = 0; j < kGrid; ++j) {
      for (int i = 0; i < kGrid; ++i) {
        const float x = -8.0f + 16.0f * static_cast<float>(i) / (kGrid - 1);
        const float y = -1.0f + 2.0f * static_cast<float>(k) + 1.5f * static_cast<float>(j) / kGrid;
        o->vertices.push_back({x, y, 0.3f * std::sin(x)});
        o->normals.push_back({-0.3f * std::cos(x), 0.0f, 1.0f});
        o->texCoords.push_back({static_cast<float>(i) / 32.0f, static_cast<float>(j) / 32.0f});
      }
    }
    for (std::uint32_t j = 0; j + 1 < kGrid; ++j) {
      for (std::uint32_t i = 0; i + 1 < kGrid; ++i) {
        const std::uint32_t a = j * kGrid + i;
        o->faces.push_back({a, a + 1, a + kGrid + 1});
        o->faces.push_back({a, a + kGrid + 1, a + kGrid});
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

void BM_LargeMeshFrame(benchmark::State& state, GeometryPath path) {
  constexpr int kW = 800, kH = 600;
  std::string why;
  std::optional<HeadlessGlContext> gl = HeadlessGlContext::Create(kW, kH, &why);
  if (!gl) {
    state.SkipWithError(("no headless GL context: " + why).c_str());
    return;
  }
  DrawSettings draw;
  draw.path = path;
  SetupGL(9991207, draw, HeadlessGlContext::Lookup());
  TextureLoaderState loaderState;
  PixelBuffer checker = PixelBuffer::Zeroed(64, 64, 3);
  for (std::size_t i = 0; i < checker.pixels.size(); ++i)
    checker.pixels[i] =
        static_cast<std::uint8_t>(((i / 3 % 64) / 8 + (i / 192) / 8) % 2 ? 220 : 60);
  GLuint texture = CreateTexture(checker, loaderState);
  {
    T3DModel model;
    BuildLargeModel(model, texture);
    MeshUnitState unit;
    unit.LightingOn = true;  // lit as well as textured
    ViewState view;
    view.Zoom = 4.0f;
    view.RotX = 15.0f;
    FrameModes modes;
    modes.ShowAxes = false;
    const TrackState track;
    const GlyphTable glyphs = BuildGlyphs();
    FrameInputs frame{view, draw, unit, modes, track, glyphs, &model};
    SetPerspective(kW, kH);
    RenderFrame(frame);  // derived arrays are built once, outside the timing
    glFinish();
    for (auto _ : state) {
      RenderFrame(frame);
      glFinish();
    }
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["triangles"] = static_cast<double>(model.FaceCount());
  }
  glDeleteTextures(1, &texture);
  ReleaseDrawResources(draw);
  if (path == GeometryPath::VertexArrays) state.SetLabel("target>=1.3");
}

void BM_RenderCommandWall(benchmark::State& state) {
  testing::TempDir dir;
  fixtures::WriteSampleAssets(dir.path());
  const std::string command = std::string("'") + KELVANE_EXE + "' --render '" +
                              (dir / "wagon" / "wagon.im").string() + "' -o '" +
                              (dir / "thumb.jpg").string() + "' >/dev/null 2>&1";
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int raw = std::system(command.c_str());
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) {
      state.SkipWithError("kelvane --render failed");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  state.SetLabel("target: median < 150 ms");
}

BENCHMARK_CAPTURE(BM_LargeMeshFrame, kelvane, GeometryPath::VertexArrays)
    ->Name("Frame1M/kelvane")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);
BENCHMARK_CAPTURE(BM_LargeMeshFrame, immediate, GeometryPath::Immediate)
    ->Name("Frame1M/immediate")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);
BENCHMARK(BM_RenderCommandWall)
    ->Name("RenderCommand/sample-240x180-jpeg")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace kelvane
