// The model reader: walks a mesh file chunk by chunk and builds objects,
// moves them by bones and influences, and collects the attachment points.
// Every read is bounds-checked; damage stops the walk and keeps what was read.

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "mesh/material_textures.h"
#include "mesh/mesh_tags.h"
#include "mesh/model.h"
#include "platform/file_bytes.h"
#include "platform/notices.h"

namespace kelvane {

namespace {

// Influences of bones nested deeper than this are read past, not applied:
// no real skeleton comes near it, and it bounds the work of the ancestor
// sums, which walk the chain of each bone.
constexpr int kMaxInfluenceDepth = 256;

// Model reader's counted string: bit 30 is a flag, zero bytes are dropped,
// at most 255 characters are kept.
std::string ReadCountedString(ByteCursor& in, const char* what) {
  const std::size_t start = in.position();
  std::int32_t length = in.I32(what);
  if (length >= 0x40000000) length -= 0x40000000;
  if (length <= 0) return {};
  if (static_cast<std::size_t>(length) > in.remaining()) {
    throw ReadFault{start, std::string(what) + " of " + std::to_string(length) +
                               " bytes runs past the end of the file"};
  }
  const std::byte* p = in.Take(static_cast<std::size_t>(length), what);
  std::string text;
  text.reserve(std::min<std::size_t>(static_cast<std::size_t>(length), kMaxNameLength));
  for (std::int32_t i = 0; i < length && text.size() < kMaxNameLength; ++i) {
    const char c = static_cast<char>(p[i]);
    if (c != '\0') text.push_back(c);
  }
  return text;
}

TVector3 ReadVector(ByteCursor& in, const char* what) {
  const std::byte* p = in.Take(12, what);
  return {LoadF32(p), LoadF32(p + 4), LoadF32(p + 8)};
}

class ModelReader {
 public:
  ModelReader(T3DModel& model, LoadContext& context, std::span<const std::byte> bytes)
      : model_(model), unit_(context.unit), textures_(model, context), in_(bytes) {}

  // How much of the file a fault left readable.
  enum class Reach { kNothing, kUpToIt, kAll };
  struct Damage {
    ReadFault fault;
    Reach reach;
  };

  // Returns false when the bytes are not a mesh. Faults after the header
  // end the walk; they and the problems that did not end it are left in
  // `damage_` for the caller to report.
  bool Run();

  const std::optional<Damage>& damage() const { return damage_; }
  bool compressed() const { return compressed_; }

 private:
  void Walk(std::uint64_t end);
  void ReadInfo();
  void ReadMaterialAndGeometry();
  void ReadMaterial(TMaterial& material);
  void ReadGeometry(T3DObject& object);
  void ReadSkeleton();
  void ReadInfluences();
  void ReadAttachments();
  void PlaceBone(const std::string& name, const TVector3& position);
  void SetInfluencedVertex(std::int32_t objectIndex, std::int32_t vertexIndex, const TVector3& p);
  // A problem the walk goes on after; the first is kept.
  void NoteProblem(std::size_t offset, std::string what) {
    if (!damage_) damage_ = Damage{{offset, std::move(what)}, Reach::kAll};
  }
  // A fault that ends the walk outweighs a problem noted before it.
  void NoteStop(const ReadFault& fault, Reach reach) { damage_ = Damage{fault, reach}; }

  T3DModel& model_;
  MeshUnitState& unit_;
  MaterialTextures textures_;
  ByteCursor in_;
  std::optional<Damage> damage_;
  bool compressed_ = false;
};

bool ModelReader::Run() {
  if (in_.remaining() < 4) return false;
  const std::uint32_t tag = in_.U32("the container tag");
  if (tag != kTagJIRF) {
    compressed_ = tag == kTagCFIL;
    return false;
  }
  std::uint64_t end = 0;
  try {
    end = std::uint64_t{in_.U32("the container length")} + 8;
    if (in_.U32("the form type") != kTagIDXM) return false;
  } catch (const ReadFault& f) {
    NoteStop(f, Reach::kNothing);
    return false;
  }
  try {
    Walk(end);
  } catch (const ReadFault& f) {
    NoteStop(f, Reach::kUpToIt);
  }
  return true;
}

void ModelReader::Walk(std::uint64_t end) {
  while (in_.position() < end) {
    const std::size_t chunkStart = in_.position();
    if (in_.remaining() < 8) {
      const std::uint64_t fileSize = chunkStart + in_.remaining();
      // A few bytes after the last chunk of a whole file are padding.
      if (end <= fileSize) return;
      throw ReadFault{chunkStart, "the file ends " + std::to_string(end - fileSize) +
                                      " bytes before the length its header gives"};
    }
    const std::uint32_t tag = in_.U32("a chunk tag");
    const std::uint32_t length = in_.U32("a chunk length");
    switch (tag) {
      case kTagINFO:
        ReadInfo();
        break;
      case kTagCHNK:
        in_.Skip(8, "a CHNK chunk");
        break;
      case kTagMATL:
        ReadMaterialAndGeometry();
        break;
      case kTagSKEL:
        ReadSkeleton();
        break;
      case kTagINFL:
        ReadInfluences();
        break;
      case kTagATCH:
        ReadAttachments();
        break;
      case kTagPMIN:
      case kTagNINF:
      case kTagBONE:
        if (length > in_.remaining()) {
          throw ReadFault{chunkStart, "the " + TagText(tag) + " chunk's length of " +
                                          std::to_string(length) +
                                          " bytes runs past the end of the file"};
        }
        in_.Skip(length, "a skipped chunk");
        break;
      default:
        return;  // an unknown tag ends the walk; what was read stays
    }
  }
}

void ModelReader::ReadInfo() {
  const std::uint32_t version = in_.U32("an INFO chunk");
  std::size_t rest = 28 + 4;
  if (version >= 102) rest += 8;
  if (version >= 104) rest += 24;
  in_.Skip(rest, "an INFO chunk");
}

void ModelReader::ReadMaterialAndGeometry() {
  model_.materials.push_back(std::make_unique<TMaterial>());
  TMaterial& material = *model_.materials.back();
  ReadMaterial(material);
  const std::string chunkName = material.name;

  model_.objects.push_back(std::make_unique<T3DObject>());
  T3DObject& object = *model_.objects.back();
  object.pickName = static_cast<std::int32_t>(model_.objects.size());

  // The object is linked to its material even when its geometry is damaged.
  auto link = [&] {
    object.material.name = chunkName;
    for (const auto& candidate : model_.materials) {
      if (candidate->name == object.material.name) {
        object.material.Assign(*candidate);
        object.transparent = candidate->hasAlpha;
        break;
      }
    }
  };
  try {
    const std::uint32_t tag = in_.U32("the GEOM chunk tag");
    in_.Skip(4, "the GEOM chunk length");
    if (tag == kTagGEOM) ReadGeometry(object);
  } catch (...) {
    link();
    throw;
  }
  link();
}

void ModelReader::ReadMaterial(TMaterial& material) {
  in_.Skip(4, "a material record");
  material.name = AsciiLower(ReadCountedString(in_, "a material name"));
  textures_.BeginMaterial(material.name);
  in_.Skip(4, "a material record");
  material.twoSided = in_.I32("a material record");
  const float opacity = in_.F32("a material record");
  material.opacity = opacity;
  unit_.LastOpacity = opacity;
  for (TMaterialProperties* colour :
       {&material.ambient, &material.diffuse, &material.specular, &material.emission}) {
    const TVector3 rgb = ReadVector(in_, "a material colour");
    colour->colour = {rgb.x, rgb.y, rgb.z, opacity};
  }
  material.shininess = in_.F32("a material record");
  material.textureCount = in_.I32("a material's texture count");
  for (std::int32_t i = 0; i < material.textureCount; ++i) {
    const std::int32_t type = in_.I32("a texture entry");
    material.textureType = type;
    const std::string fileName = ReadCountedString(in_, "a texture file name");
    if (type == kTexturePrimary || type == kTextureBump || type == kTextureReflection) {
      textures_.Entry(material, type, fileName);
    }
    const float amount = in_.F32("a texture entry's amount");
    if (type == kTextureReflection) material.reflectionAmount = amount;
  }
  textures_.EndMaterial(material);
}

void ModelReader::ReadGeometry(T3DObject& object) {
  const std::int32_t version = in_.I32("a GEOM header");
  std::int32_t extraVectors = 0;
  if (version > 100) in_.Skip(4, "a GEOM header");
  if (version > 200) extraVectors = in_.I32("a GEOM header");
  in_.Skip(4, "a GEOM header");
  const std::size_t countsAt = in_.position();
  const std::int32_t nv = in_.I32("a GEOM vertex count");
  const std::int32_t nf = in_.I32("a GEOM face count");
  if (version > 100) in_.Skip(8, "a GEOM header");
  if (version > 101) in_.Skip(4, "a GEOM header");
  if (version >= 200) object.name = ReadCountedString(in_, "an object name");

  if (nv < 0 || nf < 0) {
    throw ReadFault{countsAt, "a GEOM chunk gives a negative count (" + std::to_string(nv) +
                                  " vertices, " + std::to_string(nf) + " faces)"};
  }
  const bool withExtra = version > 200 && extraVectors > 0;
  const std::uint64_t vertexBytes = std::uint64_t(nv) * (20 + 12 + (withExtra ? 12 : 0));
  const std::uint64_t faceBytes = std::uint64_t(nf) * (6 + 12);
  if (vertexBytes + faceBytes > in_.remaining()) {
    throw ReadFault{countsAt, "a GEOM chunk claims " + std::to_string(nv) + " vertices and " +
                                  std::to_string(nf) + " faces, more than the " +
                                  std::to_string(in_.remaining()) + " bytes left in the file"};
  }

  const std::size_t n = static_cast<std::size_t>(nv);
  const std::size_t m = static_cast<std::size_t>(nf);
  object.vertexCount = nv;
  object.faceCount = nf;

  // Filled by appending into reserved storage: no pass that zeroes first.
  const std::byte* records = in_.Take(n * 20, "vertex records");
  object.vertices.reserve(n);
  object.texCoords.reserve(n);
  TMeshBounds& bounds = unit_.MeshBounds;
  if (n > 0 && bounds.firstVertex) {
    const float x = LoadF32(records), y = LoadF32(records + 4), z = LoadF32(records + 8);
    bounds = {x, y, z, x, y, z, false};
  }
  for (std::size_t i = 0; i < n; ++i) {
    const std::byte* r = records + i * 20;
    const float x = LoadF32(r), y = LoadF32(r + 4), z = LoadF32(r + 8);
    bounds.maxX = std::max(bounds.maxX, x);
    bounds.maxY = std::max(bounds.maxY, y);
    bounds.maxZ = std::max(bounds.maxZ, z);
    bounds.minX = std::min(bounds.minX, x);
    bounds.minY = std::min(bounds.minY, y);
    bounds.minZ = std::min(bounds.minZ, z);
    object.vertices.push_back({x, z, -y});
    object.texCoords.push_back({LoadF32(r + 12), 1.0f - LoadF32(r + 16)});
  }

  const std::size_t facesAt = in_.position();
  const std::byte* faceData = in_.Take(m * 6, "faces");
  object.faces.reserve(m);
  std::size_t outOfRange = 0;
  for (std::size_t i = 0; i < m; ++i) {
    const std::byte* f = faceData + i * 6;
    const TFace face{LoadU16(f), LoadU16(f + 2), LoadU16(f + 4)};
    outOfRange += (face.a >= n) | (face.b >= n) | (face.c >= n);
    object.faces.push_back(face);
  }
  if (outOfRange > 0) {
    NoteProblem(facesAt, std::to_string(outOfRange) + " of the " + std::to_string(m) +
                             " faces of object " + std::to_string(object.pickName) +
                             " name vertices beyond its " + std::to_string(n) +
                             " vertices; those faces are not drawn");
  }

  const std::byte* normals = in_.Take(n * 12, "normals");
  object.normals.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::byte* p = normals + i * 12;
    object.normals.push_back({LoadF32(p), LoadF32(p + 4), LoadF32(p + 8)});
  }
  in_.Skip(m * 12, "per-face records");
  if (withExtra) in_.Skip(n * 12, "extra vectors");
}

void ModelReader::PlaceBone(const std::string& name, const TVector3& p) {
  for (const auto& object : model_.objects) {
    if (object->name != name) continue;
    for (TVector3& v : object->vertices) {
      v.x += p.x;
      v.y += p.z;
      v.z += -p.y;
    }
  }
}

void ModelReader::ReadSkeleton() {
  in_.Skip(4, "a SKEL chunk");
  struct Level {
    TVector3 position;
    std::int32_t childrenLeft;
    std::int32_t index;  // in the model's bones
  };
  // One bone record; its children are read by the loop below, not by
  // recursion, so a tree of any depth is read. Every level takes at least
  // 49 bytes of the file, which bounds the stack.
  auto readBone = [&](const TVector3& parent, std::int32_t parentIndex, Level& out) {
    if (in_.U32("a bone tag") != kTagBONE) return false;
    in_.Skip(8, "a bone record");
    const std::string name = ReadCountedString(in_, "a bone name");
    const TVector3 relative = ReadVector(in_, "a bone position");
    const TVector3 absolute{relative.x + parent.x, relative.y + parent.y, relative.z + parent.z};
    in_.Skip(16, "a bone rotation");
    PlaceBone(name, absolute);
    model_.bones.push_back({name, parentIndex, relative});
    const auto index = static_cast<std::int32_t>(model_.bones.size() - 1);
    out = {absolute, in_.I32("a bone's child count"), index};
    return true;
  };

  std::vector<Level> stack;
  Level root{};
  if (readBone({0, 0, 0}, -1, root) && root.childrenLeft > 0) stack.push_back(root);
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.childrenLeft <= 0) {
      stack.pop_back();
      continue;
    }
    --top.childrenLeft;
    const TVector3 parent = top.position;
    const std::int32_t parentIndex = top.index;
    Level child{};
    if (readBone(parent, parentIndex, child) && child.childrenLeft > 0) stack.push_back(child);
  }
}

void ModelReader::SetInfluencedVertex(std::int32_t objectIndex, std::int32_t vertexIndex,
                                      const TVector3& p) {
  if (objectIndex < 0 || static_cast<std::size_t>(objectIndex) >= model_.objects.size()) return;
  T3DObject& object = *model_.objects[static_cast<std::size_t>(objectIndex)];
  if (vertexIndex < 0 || static_cast<std::size_t>(vertexIndex) >= object.vertices.size()) return;
  TVector3& v = object.vertices[static_cast<std::size_t>(vertexIndex)];
  v = {(v.x + p.x) / 2, (v.y + p.z) / 2, (v.z - p.y) / 2};
}

void ModelReader::ReadInfluences() {
  in_.Skip(4, "an INFL chunk");
  const std::int32_t count = in_.I32("an influence count");
  if (count <= 0) return;
  struct Record {
    TVector3 offset;
    std::int32_t depth = 0;
    std::int32_t parent = 0;
  };
  std::vector<Record> records;
  // Each record takes at least 60 bytes, which bounds what the count may claim.
  records.reserve(std::min<std::size_t>(static_cast<std::size_t>(count), in_.remaining() / 60));
  std::unordered_map<std::string, std::int32_t> firstByName;

  for (std::int32_t i = 0; i < count; ++i) {
    const std::size_t recordAt = in_.position();
    const std::string name = ReadCountedString(in_, "a bone name");
    const std::string parentName = ReadCountedString(in_, "a parent bone name");
    records.push_back({ReadVector(in_, "a bone offset"), 0, i == 0 ? -1 : 0});
    Record& record = records.back();

    std::int32_t j = i;
    if (auto found = firstByName.find(parentName); found != firstByName.end()) j = found->second;
    record.depth = (j == i ? 0 : records[static_cast<std::size_t>(j)].depth) + 1;
    const bool applied = record.depth <= kMaxInfluenceDepth;
    if (!applied) {
      NoteProblem(recordAt, "the influence bones are nested deeper than " +
                                std::to_string(kMaxInfluenceDepth) +
                                " levels; the influences of the deeper bones are not applied");
    }
    if (i > 0) record.parent = j;
    if (j != i) {
      const TVector3& o = records[static_cast<std::size_t>(j)].offset;
      record.offset = {record.offset.x + o.x, record.offset.y + o.y, record.offset.z + o.z};
    }
    firstByName.emplace(name, i);

    TVector3 acc{0, 0, 0};
    std::int32_t k = applied ? record.parent : -1;
    for (std::int32_t step = 0; step < record.depth && k >= 0; ++step) {
      const TVector3& o = records[static_cast<std::size_t>(k)].offset;
      acc = {acc.x + o.x, acc.y + o.y, acc.z + o.z};
      k = records[static_cast<std::size_t>(k)].parent;
    }

    in_.Skip(36, "an influence matrix");
    const std::int32_t groups = in_.I32("an influence group count");
    for (std::int32_t g = 0; g < groups; ++g) {
      const std::int32_t objectIndex = in_.I32("an influence group");
      const std::int32_t entries = in_.I32("an influence group");
      for (std::int32_t e = 0; e < entries; ++e) {
        const std::byte* p = in_.Take(20, "an influence entry");
        const std::int32_t vertexIndex = static_cast<std::int32_t>(LoadU32(p));
        const TVector3 read{LoadF32(p + 8), LoadF32(p + 12), LoadF32(p + 16)};
        const TVector3 target{2 * acc.x + read.x + record.offset.x,
                              2 * acc.y + read.y + record.offset.y,
                              2 * acc.z + read.z + record.offset.z};
        if (applied) SetInfluencedVertex(objectIndex, vertexIndex, target);
      }
    }
  }
}

void ModelReader::ReadAttachments() {
  in_.Skip(4, "an ATCH chunk");
  const std::uint32_t count = in_.U32("an attachment count");
  auto& table = unit_.AttachmentTable;
  table.clear();
  // Each record takes at least 52 bytes.
  table.reserve(std::min<std::size_t>(count, in_.remaining() / 52) + 1);
  auto close = [&] {
    unit_.AttachmentCount = static_cast<std::int32_t>(table.size());
    table.emplace_back();
  };
  try {
    for (std::uint32_t i = 0; i < count; ++i) {
      TAttachPoint point;
      point.name = ReadCountedString(in_, "an attachment name");
      std::array<float, 9> matrix;
      const std::byte* p = in_.Take(36, "an attachment matrix");
      for (int k = 0; k < 9; ++k)
        matrix[static_cast<std::size_t>(k)] = LoadF32(p + 4 * k);
      point.position = ReadVector(in_, "an attachment position");
      point.rotation = MatrixToAngles(matrix);
      table.push_back(std::move(point));
    }
  } catch (...) {
    close();
    throw;
  }
  close();
}

std::string DescribeDamage(const std::string& displayName, const ModelReader::Damage& damage) {
  std::string text = "The mesh file \"" + displayName + "\" is damaged at byte " +
                     std::to_string(damage.fault.offset) + ": " + damage.fault.what + ".";
  if (damage.reach == ModelReader::Reach::kNothing) text += " Nothing could be read from it.";
  if (damage.reach == ModelReader::Reach::kUpToIt) text += " What was read before it is shown.";
  return text;
}

}  // namespace

bool T3DModel::Load(const std::filesystem::path& fileName, LoadContext& context) {
  LoadContext local = context;
  local.folder = fileName.parent_path();
  std::string error;
  auto file = FileBytes::Open(fileName, &error);
  if (!file) {
    // Reset as a load does, then fail without a message.
    LoadFromMemory({}, fileName.string(), local);
    return false;
  }
  return LoadFromMemory(file->bytes(), fileName.string(), local);
}

bool T3DModel::LoadFromMemory(std::span<const std::byte> bytes, const std::string& displayName,
                              LoadContext& context) {
  MeshUnitState& unit = context.unit;
  unit.AttachmentCount = 0;
  unit.AttachmentTable.assign(1, TAttachPoint{});
  unit.CubeMapRegenerate = true;
  unit.MeshBounds.firstVertex = true;
  unit.AnyBumpLoaded = false;
  unit.DamageOffset.reset();
  Clear();
  textures_ = context.textures;

  ModelReader reader(*this, context, bytes);
  const bool ok = reader.Run();
  if (reader.compressed()) {
    unit.DamageOffset = 0;
    context.notifier.ShowMessage({.caption = "Info", .text = "Cannot decode compressed content"});
  } else if (reader.damage()) {
    unit.DamageOffset = reader.damage()->fault.offset;
    context.notifier.ShowMessage(
        {.caption = "Info", .text = DescribeDamage(displayName, *reader.damage())});
  }
  if (ok) {
    const bool anyTexture = std::any_of(materials.begin(), materials.end(),
                                        [](const auto& m) { return m->hasTexture; });
    unit.LightingOn = !anyTexture;
  }
  materials.clear();
  return ok;
}

}  // namespace kelvane
