// Decoding speed of the texture readers on 2048 x 2048 images, each beside
// a reference decoder of the same bytes: libsquish for DXT blocks,
// stb_image for TGA and BMP, a bare libjpeg-turbo decode for JPEG. Our
// side always runs the whole reader from the file's bytes to the
// PixelBuffer that would be uploaded.

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <squish.h>
#include <stb_image.h>

#include <random>
#include <vector>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "textures/bmp_reader.h"
#include "textures/dxt.h"
#include "textures/jpeg_reader.h"
#include "textures/tga_reader.h"

namespace {

namespace fx = kelvane::fixtures;

constexpr int kSide = 2048;
constexpr double kTexels = double{kSide} * kSide;

void CountTexels(benchmark::State& state) {
  state.counters["Mtexel/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kTexels / 1e6, benchmark::Counter::kIsRate);
}

std::vector<std::byte> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::byte> bytes(n);
  for (auto& b : bytes)
    b = static_cast<std::byte>(random() & 0xFF);
  return bytes;
}

// A picture with smooth gradients and some texture, like a painted body.
fx::Picture<fx::Rgba8> Painted() {
  fx::Picture<fx::Rgba8> p{kSide, kSide, {}};
  p.texels.reserve(static_cast<std::size_t>(kSide) * kSide);
  std::mt19937 random(7);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const auto noise = static_cast<int>(random() % 24);
      p.texels.push_back({static_cast<std::uint8_t>((x / 8 + noise) & 255),
                          static_cast<std::uint8_t>((y / 8 + noise) & 255),
                          static_cast<std::uint8_t>(((x + y) / 16) & 255),
                          static_cast<std::uint8_t>((x ^ y) & 255)});
    }
  }
  return p;
}

const fx::Picture<fx::Rgba8>& PaintedPicture() {
  static const auto picture = Painted();
  return picture;
}

// ----- DXT ------------------------------------------------------------------

const std::vector<std::byte>& Dxt1Payload() {
  static const auto bytes = RandomBytes(std::size_t{kSide / 4} * (kSide / 4) * 8, 1);
  return bytes;
}
const std::vector<std::byte>& Dxt5Payload() {
  static const auto bytes = RandomBytes(std::size_t{kSide / 4} * (kSide / 4) * 16, 2);
  return bytes;
}

void Dxt1(benchmark::State& state, std::int32_t alphaMode) {
  const auto& payload = Dxt1Payload();
  for (auto _ : state) {
    auto image = kelvane::dxt::DecodeDxt1(payload, kSide, kSide, alphaMode, false, 0);
    if (!image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->pixels.data());
  }
  CountTexels(state);
}

void Dxt1Rgba(benchmark::State& state) {
  state.SetLabel("target>=2.1");
  Dxt1(state, 2);
}
BENCHMARK(Dxt1Rgba)->Name("Dxt1/kelvane")->Unit(benchmark::kMillisecond)->UseRealTime();

void Dxt1Rgb(benchmark::State& state) {
  Dxt1(state, 0);
}
BENCHMARK(Dxt1Rgb)->Name("Dxt1Rgb/kelvane")->Unit(benchmark::kMillisecond)->UseRealTime();

void SquishDecode(benchmark::State& state, const std::vector<std::byte>& payload, int flags) {
  for (auto _ : state) {
    // Allocated per call, as our decoders hand out a fresh buffer.
    std::vector<squish::u8> rgba(std::size_t{kSide} * kSide * 4);
    squish::DecompressImage(rgba.data(), kSide, kSide, payload.data(), flags);
    benchmark::DoNotOptimize(rgba.data());
  }
  CountTexels(state);
}

void SquishDxt1(benchmark::State& state) {
  SquishDecode(state, Dxt1Payload(), squish::kDxt1);
}
BENCHMARK(SquishDxt1)->Name("Dxt1/squish")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SquishDxt1)->Name("Dxt1Rgb/squish")->Unit(benchmark::kMillisecond)->UseRealTime();

void Dxt5(benchmark::State& state) {
  state.SetLabel("target>=1.4");
  const auto& payload = Dxt5Payload();
  for (auto _ : state) {
    auto image = kelvane::dxt::DecodeDxt5(payload, kSide, kSide, 2);
    if (!image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->pixels.data());
  }
  CountTexels(state);
}
BENCHMARK(Dxt5)->Name("Dxt5/kelvane")->Unit(benchmark::kMillisecond)->UseRealTime();

void SquishDxt5(benchmark::State& state) {
  SquishDecode(state, Dxt5Payload(), squish::kDxt5);
}
BENCHMARK(SquishDxt5)->Name("Dxt5/squish")->Unit(benchmark::kMillisecond)->UseRealTime();

// ----- TGA and BMP ------------------------------------------------------------

const std::vector<std::byte>& TgaFile(int depth) {
  static const auto tga24 = fx::WriteTga(fx::TgaTrueColour(PaintedPicture(), 24, false));
  static const auto tga32 = fx::WriteTga(fx::TgaTrueColour(PaintedPicture(), 32, false));
  return depth == 24 ? tga24 : tga32;
}

const std::vector<std::byte>& BmpFile() {
  static const auto bmp = [] {
    fx::Picture<fx::Rgb8> rgb{kSide, kSide, {}};
    for (const auto& t : PaintedPicture().texels)
      rgb.texels.push_back({t.r, t.g, t.b});
    return fx::WriteBmp(fx::Bmp24(rgb, false));
  }();
  return bmp;
}

template <typename Reader>
void OurReader(benchmark::State& state, const std::vector<std::byte>& file, Reader read) {
  kelvane::RecordingNotifier notifier;
  const kelvane::TextureRequest request{"bench", false, 2};
  for (auto _ : state) {
    kelvane::TextureLoaderState loaderState;
    auto result = read(file, request, loaderState, notifier);
    if (result.kind != kelvane::ReadResult::Kind::kImage) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(result.image.pixels.data());
  }
  CountTexels(state);
}

void StbLoad(benchmark::State& state, const std::vector<std::byte>& file) {
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(file.data()),
                                            static_cast<int>(file.size()), &w, &h, &n, 0);
    if (!pixels) state.SkipWithError(stbi_failure_reason());
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
  CountTexels(state);
}

void Tga24(benchmark::State& state) {
  state.SetLabel("target>=1.0");
  OurReader(state, TgaFile(24), kelvane::ReadTgaTexture);
}
BENCHMARK(Tga24)->Name("Tga24/kelvane")->Unit(benchmark::kMillisecond)->UseRealTime();
void StbTga24(benchmark::State& state) {
  StbLoad(state, TgaFile(24));
}
BENCHMARK(StbTga24)->Name("Tga24/stb_image")->Unit(benchmark::kMillisecond)->UseRealTime();

void Tga32(benchmark::State& state) {
  state.SetLabel("target>=1.0");
  OurReader(state, TgaFile(32), kelvane::ReadTgaTexture);
}
BENCHMARK(Tga32)->Name("Tga32/kelvane")->Unit(benchmark::kMillisecond)->UseRealTime();
void StbTga32(benchmark::State& state) {
  StbLoad(state, TgaFile(32));
}
BENCHMARK(StbTga32)->Name("Tga32/stb_image")->Unit(benchmark::kMillisecond)->UseRealTime();

void Bmp24(benchmark::State& state) {
  state.SetLabel("target>=2.5");
  OurReader(state, BmpFile(), kelvane::ReadBmpTexture);
}
BENCHMARK(Bmp24)->Name("Bmp24/kelvane")->Unit(benchmark::kMillisecond)->UseRealTime();
void StbBmp24(benchmark::State& state) {
  StbLoad(state, BmpFile());
}
BENCHMARK(StbBmp24)->Name("Bmp24/stb_image")->Unit(benchmark::kMillisecond)->UseRealTime();

// ----- JPEG -------------------------------------------------------------------

const std::vector<std::byte>& JpegFile() {
  static const auto jpeg = [] {
    std::vector<std::uint8_t> samples;
    samples.reserve(std::size_t{kSide} * kSide * 3);
    for (const auto& t : PaintedPicture().texels)
      samples.insert(samples.end(), {t.r, t.g, t.b});
    return fx::EncodeJpeg(kSide, kSide, 3, samples, 90);
  }();
  return jpeg;
}

void Jpeg(benchmark::State& state) {
  state.SetLabel("target>=0.9");
  OurReader(state, JpegFile(), kelvane::ReadJpegTexture);
}
BENCHMARK(Jpeg)->Name("Jpeg/kelvane")->Unit(benchmark::kMillisecond)->UseRealTime();

// The least a program can do with libjpeg-turbo: default decode to RGB rows.
void BareLibjpeg(benchmark::State& state) {
  const auto& file = JpegFile();
  for (auto _ : state) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(file.data()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t{cinfo.output_width} * cinfo.output_components;
    std::vector<unsigned char> rgb(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      unsigned char* row = rgb.data() + stride * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(rgb.data());
  }
  CountTexels(state);
}
BENCHMARK(BareLibjpeg)->Name("Jpeg/libjpeg-turbo")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
