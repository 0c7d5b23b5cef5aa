#include "malformed/catalogue.h"

#include <cstdint>
#include <string>

#include "fixtures/mesh_writer.h"
#include "fixtures/texture_writer.h"

namespace kelvane::malformed {

namespace fx = fixtures;
using Bytes = std::vector<std::byte>;

namespace {
struct Names {
  std::string_view name, extension;
};
constexpr Names kNames[] = {{"mesh", ".im"},     {"texture", ".texture"}, {"tga", ".tga"},
                            {"bmp", ".bmp"},     {"jpeg", ".jpg"},        {"config", ".txt"},
                            {"settings", ".ini"}};
}  // namespace

std::string_view FormatName(Format format) {
  return kNames[static_cast<int>(format)].name;
}

std::string_view Extension(Format format) {
  return kNames[static_cast<int>(format)].extension;
}

namespace {

Bytes Cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

Bytes Text(std::string_view text) {
  fx::ByteWriter out;
  out.Text(text);
  return out.Take();
}

// Adds the cases of one format.
struct Adder {
  std::vector<Case>& out;
  Format format;
  void operator()(std::string name, Bytes bytes, std::string result,
                  std::optional<Message> message = std::nullopt) const {
    out.push_back(
        {format, std::move(name), std::move(bytes), std::move(result), std::move(message)});
  }
};

void Put16BigEndian(Bytes& bytes, std::size_t at, unsigned v) {
  bytes[at] = static_cast<std::byte>(v >> 8);
  bytes[at + 1] = static_cast<std::byte>(v);
}

// ----- meshes -------------------------------------------------------------

// How much of a damaged mesh was read: nothing, what came before the
// damage (the walk stopped there), or all of it (the walk went on).
enum class Read { kNothing, kUpToIt, kAll };

// Messages of the model reader about a damaged file.
Message Damaged(const std::string& name, std::size_t offset, const std::string& what,
                Read read = Read::kUpToIt) {
  const char* tail = read == Read::kNothing  ? " Nothing could be read from it."
                     : read == Read::kUpToIt ? " What was read before it is shown."
                                             : "";
  return {"Info", "The mesh file \"" + name + ".im\" is damaged at byte " + std::to_string(offset) +
                      ": " + what + "." + tail};
}

// One material "m" with no textures and the given geometry: the material
// record ends at byte 97, the GEOM counts are at 117 and, for a one-letter
// object name, the vertex records start at 142.
Bytes OneObject(const fx::Geometry& geometry) {
  fx::MeshWriter w;
  w.Material({.name = "m"}, geometry);
  return w.Finish();
}

fx::Geometry SmallBox() {
  return fx::Box("b", {0, 0, 0}, {1, 1, 1});  // 24 vertices, 12 faces: 1126 bytes in all
}

// A chain of `depth` bones, each the only child of the one before.
fx::Bone BoneChain(int depth) {
  fx::Bone bone{.name = "b"};
  for (int i = 1; i < depth; ++i) {
    fx::Bone parent{.name = "b"};
    parent.children.push_back(std::move(bone));
    bone = std::move(parent);
  }
  return bone;
}

void AddMeshes(std::vector<Case>& out) {
  const Adder add{out, Format::kMesh};
  const std::string none = "loaded: 0 objects, 0 vertices, 0 faces, 0 attachments";

  add("empty", {}, "not loaded");
  {
    fx::ByteWriter b;
    b.Tag("JIRF");
    b.U8(4);
    b.U8(0);
    add("truncated-header", b.Take(), "not loaded",
        Damaged("truncated-header", 4, "the file ends inside the container length",
                Read::kNothing));
  }
  {
    Bytes bytes = fx::MeshWriter().Finish();
    bytes[0] = std::byte{'R'};
    add("wrong-container-tag", bytes, "not loaded");
  }
  add("compressed", fx::CompressedMesh(OneObject(SmallBox())), "not loaded",
      Message{"Info", "Cannot decode compressed content"});
  add("wrong-form-type", fx::MeshWriter().Finish({}, "IDXX"), "not loaded");
  add("container-longer-than-file", fx::MeshWriter().Finish(4 + 100), none,
      Damaged("container-longer-than-file", 12,
              "the file ends 100 bytes before the length its header gives"));
  add("truncated-payload", Cut(OneObject(SmallBox()), 600),
      "loaded: 1 objects, 0 vertices, 0 faces, 0 attachments",
      Damaged("truncated-payload", 117,
              "a GEOM chunk claims 24 vertices and 12 faces, more than the 458 bytes left in "
              "the file"));
  {
    // 2^31 - 1 records of 32 and 18 bytes: far beyond 32 bits.
    fx::Geometry g = SmallBox();
    g.vertexCountField = 0x7FFFFFFF;
    g.faceCountField = 0x7FFFFFFF;
    add("counts-overflow-32-bits", OneObject(g),
        "loaded: 1 objects, 0 vertices, 0 faces, 0 attachments",
        Damaged("counts-overflow-32-bits", 117,
                "a GEOM chunk claims 2147483647 vertices and 2147483647 faces, more than the "
                "984 bytes left in the file"));
  }
  {
    fx::Geometry g = SmallBox();
    g.vertexCountField = -1;
    add("negative-vertex-count", OneObject(g),
        "loaded: 1 objects, 0 vertices, 0 faces, 0 attachments",
        Damaged("negative-vertex-count", 117,
                "a GEOM chunk gives a negative count (-1 vertices, 12 faces)"));
  }
  add("zero-counts", OneObject({.name = "b"}),
      "loaded: 1 objects, 0 vertices, 0 faces, 0 attachments");
  {
    fx::MeshWriter w;
    w.Raw("PMIN", Bytes(16, std::byte{3}));
    w.out().PatchU32(16, 1000);
    add("chunk-length-past-end", w.Finish(), none,
        Damaged("chunk-length-past-end", 12,
                "the PMIN chunk's length of 1000 bytes runs past the end of the file"));
  }
  {
    Bytes bytes = OneObject(SmallBox());
    bytes[24] = std::byte{0x88};  // the material name's length: 5000
    bytes[25] = std::byte{0x13};
    add("name-longer-than-file", bytes, none,
        Damaged("name-longer-than-file", 24,
                "a material name of 5000 bytes runs past the end of the file"));
  }
  {
    Bytes bytes = OneObject(SmallBox());
    for (int i = 0; i < 4; ++i)  // 0x7FFFFFFF: the bit-30 flag and 2^30 - 1 bytes
      bytes[24 + i] = std::byte{static_cast<unsigned char>(i == 3 ? 0x7F : 0xFF)};
    add("name-bit30-huge-length", bytes, none,
        Damaged("name-bit30-huge-length", 24,
                "a material name of 1073741823 bytes runs past the end of the file"));
  }
  {
    // However deep the skeleton, the chunks after it are read.
    fx::MeshWriter w;
    w.Skeleton(BoneChain(300));
    w.Attachments({{"a.bog0", fx::kIdentity, {1, 2, 3}}});
    add("bone-tree-300-deep", w.Finish(), "loaded: 0 objects, 0 vertices, 0 faces, 1 attachments",
        std::nullopt);
  }
  {
    // A chain of influence records of 68 bytes (64 for the first, which
    // has no parent name) from byte 28; the 257th record is the 257th
    // level. Its influences and those below it are read past.
    std::vector<fx::Influence> chain(300);
    for (std::size_t i = 0; i < chain.size(); ++i) {
      chain[i].bone = "b" + std::to_string(100 + i);
      if (i > 0) chain[i].parent = chain[i - 1].bone;
    }
    fx::MeshWriter w;
    w.Influences(chain);
    w.Attachments({{"a.bog0", fx::kIdentity, {1, 2, 3}}});
    add("influence-chain-300-deep", w.Finish(),
        "loaded: 0 objects, 0 vertices, 0 faces, 1 attachments",
        Damaged("influence-chain-300-deep", 28 + 64 + 255 * 68,
                "the influence bones are nested deeper than 256 levels; the influences of the "
                "deeper bones are not applied",
                Read::kAll));
  }
  {
    // A whole file whose container holds 4 bytes of padding after its last
    // chunk: fewer than a chunk header.
    fx::MeshWriter w;
    w.Attachments({{"a.bog0", fx::kIdentity, {1, 2, 3}}});
    w.out().Zeros(4);
    add("padding-after-last-chunk", w.Finish(),
        "loaded: 0 objects, 0 vertices, 0 faces, 1 attachments");
  }
  {
    // Cut 3 bytes into the header of a PMIN chunk of 89 bytes, which ends
    // the file: 94 bytes are missing.
    fx::MeshWriter w;
    w.Attachments({{"a.bog0", fx::kIdentity, {1, 2, 3}}});
    const std::size_t pmin = w.out().size();
    w.Raw("PMIN", Bytes(89, std::byte{1}));
    const Bytes whole = w.Finish();
    add("file-ends-inside-chunk-header", Cut(whole, pmin + 3),
        "loaded: 0 objects, 0 vertices, 0 faces, 1 attachments",
        Damaged("file-ends-inside-chunk-header", pmin,
                "the file ends 94 bytes before the length its header gives"));
  }
  {
    // A root announcing a million children, of which two are there.
    fx::Bone root{.name = "b"};
    root.children = {{.name = "b"}, {.name = "b"}};
    fx::MeshWriter w;
    w.Skeleton(root);
    w.out().PatchU32(24 + 49 - 4, 1000000);
    add("bone-children-never-end", w.Finish(), none,
        Damaged("bone-children-never-end", 24 + 3 * 49, "the file ends inside a bone tag"));
  }
  {
    fx::MeshWriter w;
    w.Attachments({{"a.bog0", fx::kIdentity, {1, 2, 3}}});
    w.out().PatchU32(24, 0xFFFFFFFF);
    add("attachment-count-huge", w.Finish(),
        "loaded: 0 objects, 0 vertices, 0 faces, 1 attachments",
        Damaged("attachment-count-huge", 86, "the file ends inside an attachment name"));
  }
  {
    fx::Geometry g{.name = "t"};
    g.vertices.resize(3);
    g.faces = {{0, 1, 2}, {0, 1, 7}};
    add("faces-beyond-vertices", OneObject(g),
        "loaded: 1 objects, 3 vertices, 2 faces, 0 attachments",
        Damaged("faces-beyond-vertices", 142 + 3 * 20,
                "1 of the 2 faces of object 1 name vertices beyond its 3 vertices; those faces "
                "are not drawn",
                Read::kAll));
  }
}

// ----- .texture -------------------------------------------------------------

// With the default version 263 the INFO fields take 80 bytes, so the first
// image chunk's header is at byte 100.
constexpr std::size_t kFirstChunk = 100;

fx::TextureFixture Texture(std::int32_t format, std::int32_t width, std::int32_t height,
                           std::vector<Bytes> chunks) {
  fx::TextureFixture f;
  f.format = format;
  f.width = width;
  f.height = height;
  f.chunks = std::move(chunks);
  return f;
}

void AddTextures(std::vector<Case>& out) {
  const Adder add{out, Format::kTexture};
  const Bytes dxt1Block(8, std::byte{0x11});
  const Bytes fine = fx::WriteTextureFile(Texture(10, 4, 4, {dxt1Block}));

  add("empty", {}, "refused");
  add("truncated-header", Cut(fine, 12), "refused");
  add("truncated-info", Cut(fine, 60), "refused");
  add("truncated-payload", Cut(fine, fine.size() - 3), "refused");
  // 32768 x 32768 x 4 is 2^32: zero in 32-bit arithmetic, like the length.
  add("sides-overflow-32-bits", fx::WriteTextureFile(Texture(7, 32768, 32768, {Bytes{}})),
      "refused");
  // (-2^31)^2 x 4 is 2^64: past 64-bit arithmetic, and zero once wrapped.
  add("sides-overflow-64-bits", fx::WriteTextureFile(Texture(0, INT32_MIN, INT32_MIN, {Bytes{}})),
      "refused");
  add("zero-width", fx::WriteTextureFile(Texture(7, 0, 4, {Bytes{}})), "refused");
  add("negative-sides", fx::WriteTextureFile(Texture(7, -2, -2, {Bytes(16, std::byte{1})})),
      "refused");
  {
    fx::TextureFixture f = Texture(10, 4, 4, {});
    f.countFactor1 = 0;
    add("count-factors-zero", fx::WriteTextureFile(f), "no image");
    f.countFactor1 = -1;
    f.countFactor2 = 1;
    add("count-factors-negative", fx::WriteTextureFile(f), "no image");
    f.countFactor1 = f.countFactor2 = 0x7FFFFFFF;
    f.chunks = {dxt1Block};
    add("count-factors-huge", fx::WriteTextureFile(f), "refused");
  }
  {
    fx::TextureFixture f = Texture(10, 4, 4, {dxt1Block, dxt1Block});
    f.countFactor2 = 2;
    Bytes bytes = fx::WriteTextureFile(f);
    bytes[kFirstChunk + 7] = std::byte{0x7F};  // the first chunk's length: 0x7F000008
    add("chunk-length-past-end", bytes, "refused");
    bytes = fx::WriteTextureFile(f);
    bytes[kFirstChunk + 3] = std::byte{'Q'};
    add("wrong-chunk-tag", bytes, "refused");
  }
  {
    Bytes bytes = fine;
    for (int i = 0; i < 4; ++i)
      bytes[16 + i] = std::byte{0xF0};  // the INFO length: 0xF0F0F0F0
    add("info-length-past-end", bytes, "refused");
  }
  add("format-13", fx::WriteTextureFile(Texture(13, 4, 4, {dxt1Block})), "refused");
  add("format-minus-1-as-bgra", fx::WriteTextureFile(Texture(-1, 2, 2, {Bytes(16, std::byte{9})})),
      "image 2x2 rgba");
  add("bgra-length-not-sides", fx::WriteTextureFile(Texture(7, 4, 4, {Bytes(60, std::byte{9})})),
      "refused");
  // Block rows of 2 DXT1 blocks, 16 bytes: one and a half rows, then one.
  add("dxt1-shorter-than-its-rows",
      fx::WriteTextureFile(Texture(10, 8, 8, {Bytes(24, std::byte{0x22})})), "refused");
  add("dxt1-missing-block-rows",
      fx::WriteTextureFile(Texture(10, 8, 8, {Bytes(16, std::byte{0x22})})), "image 8x8 rgb");
  add("dxt5-side-beyond-65535",
      fx::WriteTextureFile(Texture(12, 65536, 4, {Bytes(16 * 16384 + 16, std::byte{0})})),
      "refused");
  add("dxt1-huge-picture-tiny-payload",
      fx::WriteTextureFile(Texture(10, 65535, 65535, {dxt1Block})), "refused");
}

// ----- TGA --------------------------------------------------------------------

fx::Picture<fx::Rgba8> Gradient(int width, int height) {
  fx::Picture<fx::Rgba8> p{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p.texels.push_back({static_cast<std::uint8_t>(x * 16), static_cast<std::uint8_t>(y * 16),
                          static_cast<std::uint8_t>(x + y), 200});
    }
  }
  return p;
}

void AddTgas(std::vector<Case>& out) {
  const auto add = [&](std::string name, Bytes bytes, std::string result,
                       std::optional<std::string> refusal) {
    std::optional<Message> message;
    if (refusal) {
      message = Message{"TGA File Error", *refusal == "short"
                                              ? "Couldn't read file \"" + name + ".tga\"."
                                              : "Couldn't load \"" + name + ".tga\". " + *refusal};
    }
    Adder{out, Format::kTga}(std::move(name), std::move(bytes), std::move(result), message);
  };
  const std::string kTypes = "Only 256 colour, 24 bit and 32bit TGA supported.";
  const std::string kMapped = "Colormapped TGA files not supported.";
  const std::string kDepths = "Only 24 and 32 bit TGA files supported.";
  const Bytes fine = fx::WriteTga(fx::TgaTrueColour(Gradient(4, 4), 24, false));
  const std::vector<fx::Rgb8> twoColours{{1, 2, 3}, {4, 5, 6}};

  add("empty", {}, "refused", "short");
  add("truncated-header", Cut(fine, 10), "refused", "short");
  add("truncated-payload", Cut(fine, fine.size() - 10), "refused", "short");
  {
    // 65535 x 65535 texels of 4 bytes: 17 GB that 16 bytes cannot hold.
    fx::TgaFixture f{.width = 65535, .height = 65535, .depth = 32};
    f.texels = Bytes(16, std::byte{7});
    add("sides-overflow-32-bits", fx::WriteTga(f), "refused", "short");
  }
  {
    fx::TgaFixture f{.width = 0, .height = 4, .depth = 24};
    f.texels = Bytes(12, std::byte{7});
    add("zero-width", fx::WriteTga(f), "refused", "short");
    f.width = 0xFFFF;  // -1 as a signed side
    f.height = 1;
    add("width-minus-1", fx::WriteTga(f), "refused", "short");
  }
  add("palette-index-beyond-palette",
      fx::WriteTga(fx::TgaColourMapped(2, 2, twoColours, {0, 1, 5, 0}, false)), "refused", "short");
  add("palette-length-0", fx::WriteTga(fx::TgaColourMapped(2, 2, {}, {0, 0, 0, 0}, false)),
      "refused", "short");
  {
    const Bytes mapped =
        fx::WriteTga(fx::TgaColourMapped(2, 2, std::vector<fx::Rgb8>(256), {0, 1, 2, 3}, false));
    add("colour-map-cut-short", Cut(mapped, 18 + 100), "refused", "short");
  }
  {
    fx::TgaFixture f = fx::TgaTrueColour(Gradient(2, 2), 24, false);
    f.imageType = 10;
    add("run-length-encoded", fx::WriteTga(f), "refused", kTypes);
    f.imageType = 2;
    f.colourMapType = 2;
    add("colour-map-type-2", fx::WriteTga(f), "refused", kMapped);
    f.colourMapType = 0;
    f.depth = 15;
    add("depth-15", fx::WriteTga(f), "refused", kDepths);
    f.depth = 24;
    f.imageType = 1;
    add("colour-mapped-24-bit-texels", fx::WriteTga(f), "refused", kTypes);
  }
  {
    fx::TgaFixture f = fx::TgaColourMapped(2, 2, twoColours, {0, 1, 1, 0}, false);
    f.entryBits = 16;
    add("colour-map-16-bit-entries", fx::WriteTga(f), "refused", kMapped);
    f = fx::TgaColourMapped(2, 2, std::vector<fx::Rgb8>(257), {0, 1, 1, 0}, false);
    add("colour-map-257-entries", fx::WriteTga(f), "refused", kMapped);
  }
  {
    fx::TgaFixture f = fx::TgaTrueColour(Gradient(2, 2), 24, false);
    f.id = Bytes(200, std::byte{'i'});
    add("id-longer-than-file", Cut(fx::WriteTga(f), 50), "refused", "short");
  }
}

// ----- BMP --------------------------------------------------------------------

void AddBmps(std::vector<Case>& out) {
  const Adder add{out, Format::kBmp};
  const auto unit = [](const char* text) { return Message{"BMP Unit", text}; };
  const auto format = [](const std::string& name) {
    return Message{"Info", name + ".bmp Bitmap format not supported"};
  };
  fx::Picture<fx::Rgb8> picture{4, 4, std::vector<fx::Rgb8>(16, fx::Rgb8{10, 20, 30})};
  const fx::BmpFixture base = fx::Bmp24(picture, false);
  const Bytes fine = fx::WriteBmp(base);

  add("empty", {}, "refused", unit("Error reading bitmap data"));
  add("truncated-header", Cut(fine, 30), "refused", unit("Error reading bitmap data"));
  add("truncated-payload", Cut(fine, fine.size() - 10), "refused",
      unit("Error reading bitmap data"));
  {
    // Rows of 196608 bytes, 65535 of them: 12.9 GB behind 48 bytes.
    fx::BmpFixture f = base;
    f.width = f.height = 65535;
    add("sides-overflow-32-bits", fx::WriteBmp(f), "refused", unit("Error reading bitmap data"));
    f.width = 0x7FFFFFFF;
    f.height = 4;
    add("width-beyond-65535", fx::WriteBmp(f), "refused", format("width-beyond-65535"));
    f.width = 0;
    add("zero-width", fx::WriteBmp(f), "refused", format("zero-width"));
    f.width = -4;
    add("negative-width", fx::WriteBmp(f), "refused", format("negative-width"));
    f.width = 4;
    f.height = INT32_MIN;
    add("height-int-min", fx::WriteBmp(f), "refused", format("height-int-min"));
  }
  add("palette-index-beyond-palette",
      fx::WriteBmp(fx::Bmp8(4, 1, {{1, 1, 1}, {2, 2, 2}}, {0, 1, 7, 1}, false, true)), "refused",
      format("palette-index-beyond-palette"));
  add("palette-length-0-grey",
      fx::WriteBmp(fx::Bmp8(4, 4, {}, std::vector<std::uint8_t>(16, 9), false, false)),
      "image 4x4 rgb");
  {
    fx::BmpFixture f{.width = 4, .height = 1, .bits = 8, .coloursUsed = 256};
    f.palette = Bytes(40, std::byte{3});
    f.data = Bytes(4, std::byte{0});
    add("palette-shorter-than-count", fx::WriteBmp(f), "refused", unit("Error reading palette"));
  }
  {
    fx::BmpFixture f = base;
    f.bits = 4;
    add("four-bits", fx::WriteBmp(f), "refused after a beep",
        Message{"Info", "Couldn't load bitmap"});
    f.bits = 32;
    add("thirty-two-bits", fx::WriteBmp(f), "refused", format("thirty-two-bits"));
    f.bits = 24;
    f.compression = 1;
    add("compressed", fx::WriteBmp(f), "refused", format("compressed"));
    f.compression = 0;
    f.coloursUsed = 3;
    add("colours-used-3", fx::WriteBmp(f), "refused", format("colours-used-3"));
    f.coloursUsed = 0;
    f.dataOffset = 0;  // inside the headers: the palette size wraps around
    add("data-offset-inside-header", fx::WriteBmp(f), "refused",
        format("data-offset-inside-header"));
  }
  {
    Bytes bytes = fine;
    for (int i = 0; i < 4; ++i)
      bytes[10 + i] = std::byte{0xFF};  // the data offset
    bytes[46] = std::byte{2};           // colours used: a palette size, so the offset is tried
    add("data-offset-past-end", bytes, "refused", unit("Error reading bitmap data"));
  }
}

// ----- JPEG -------------------------------------------------------------------

Bytes GradientJpeg(int width, int height, bool progressive = false) {
  std::vector<std::uint8_t> samples;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      samples.push_back(static_cast<std::uint8_t>(x * 16));
      samples.push_back(static_cast<std::uint8_t>(y * 16));
      samples.push_back(static_cast<std::uint8_t>(128));
    }
  }
  return fx::EncodeJpeg(width, height, 3, samples, 90, progressive);
}

// A JPEG whose segment `marker` has byte `offset` (from its 0xFF) set to `value`.
Bytes PatchSegment(Bytes bytes, std::uint8_t marker, std::size_t offset, std::uint8_t value) {
  bytes[*fx::JpegSegment(bytes, marker) + offset] = std::byte{value};
  return bytes;
}

constexpr std::uint8_t kFrame = 0xC0;
constexpr std::uint8_t kProgressiveFrame = 0xC2;
constexpr std::uint8_t kQuantisation = 0xDB;
constexpr std::uint8_t kScan = 0xDA;
constexpr std::uint8_t kApp0 = 0xE0;

void AddJpegs(std::vector<Case>& out) {
  const auto add = [&](std::string name, Bytes bytes, std::string result, bool refused) {
    std::optional<Message> message;
    if (refused) message = Message{"BMP Unit", "Couldn't load JPG - \"" + name + ".jpg\""};
    Adder{out, Format::kJpeg}(std::move(name), std::move(bytes), std::move(result), message);
  };
  const Bytes fine = GradientJpeg(16, 16);
  const std::size_t frame = *fx::JpegSegment(fine, kFrame);
  const std::size_t scan = *fx::JpegSegment(fine, kScan);

  add("empty", {}, "refused", true);
  add("truncated-header", Cut(fine, 20), "refused", true);
  add("cut-inside-frame-header", Cut(fine, frame + 8), "refused", true);
  // libjpeg pads scan data that ends early and says so only as a warning.
  add("truncated-payload", Cut(fine, scan + 40), "image 16x16 rgba", false);
  {
    // Frame header: length, precision, height, width, components, then
    // 3 bytes per component (id, sampling factors, quantisation table).
    Bytes huge = fine;
    Put16BigEndian(huge, frame + 5, 65535);
    Put16BigEndian(huge, frame + 7, 65535);
    add("sides-overflow-32-bits", huge, "refused", true);
    Bytes zero = fine;
    Put16BigEndian(zero, frame + 5, 0);
    add("zero-height", zero, "refused", true);
    zero = fine;
    Put16BigEndian(zero, frame + 7, 0);
    add("zero-width", zero, "refused", true);
  }
  {
    Bytes bytes = fine;
    Put16BigEndian(bytes, *fx::JpegSegment(bytes, kApp0) + 2, 0xFFFF);
    add("segment-length-past-end", bytes, "refused", true);
    bytes = fine;
    Put16BigEndian(bytes, *fx::JpegSegment(bytes, kQuantisation) + 2, 1);
    add("segment-length-below-2", bytes, "refused", true);
  }
  add("not-a-jpeg", Text("BM this is no picture at all"), "refused", true);
  add("precision-12", PatchSegment(fine, kFrame, 4, 12), "refused", true);
  add("no-components", PatchSegment(fine, kFrame, 9, 0), "refused", true);
  add("sampling-factors-0", PatchSegment(fine, kFrame, 11, 0x00), "refused", true);
  add("quantisation-table-index-5", PatchSegment(fine, kQuantisation, 4, 0x05), "refused", true);
  add("scan-names-unknown-component", PatchSegment(fine, kScan, 5, 0x77), "refused", true);
  add("huffman-table-missing", PatchSegment(fine, kScan, 6, 0x33), "refused", true);
  {
    // Sides above 16384 are refused before anything of their size is
    // allocated, whatever the file's own size.
    Bytes bytes = GradientJpeg(16, 16, true);
    const std::size_t at = *fx::JpegSegment(bytes, kProgressiveFrame);
    Put16BigEndian(bytes, at + 5, 16385);
    Put16BigEndian(bytes, at + 7, 16);
    add("progressive-side-above-16384", bytes, "refused", true);
  }
}

}  // namespace

std::vector<Case> Catalogue() {
  std::vector<Case> cases;
  AddMeshes(cases);
  AddTextures(cases);
  AddTgas(cases);
  AddBmps(cases);
  AddJpegs(cases);
  AddTextCases(cases);
  return cases;
}

}  // namespace kelvane::malformed
