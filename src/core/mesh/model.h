#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/vector3.h"

namespace kelvane {

class ContentFiles;
class MaterialTextureLoader;
class Notifier;
struct ObjectDrawArrays;

// OpenGL enumerations the model keeps; the reader itself never calls OpenGL.
namespace gl_enum {
constexpr std::uint32_t kTriangles = 0x0004;
constexpr std::uint32_t kFront = 0x0404;
constexpr std::uint32_t kAmbient = 0x1200;
constexpr std::uint32_t kDiffuse = 0x1201;
constexpr std::uint32_t kSpecular = 0x1202;
constexpr std::uint32_t kEmission = 0x1600;
}  // namespace gl_enum

constexpr std::size_t kMaxNameLength = 255;

struct TTexCoord {
  float u = 0.0f;
  float v = 0.0f;
};

struct TFace {
  std::uint32_t a = 0;
  std::uint32_t b = 0;
  std::uint32_t c = 0;
};

struct TMaterialProperties {
  std::array<float, 4> colour{};  // red, green, blue, alpha
  std::uint32_t face = gl_enum::kFront;
  std::uint32_t parameter = 0;
};

struct TMaterial {
  bool hasAlpha = false;
  bool hasTexture = false;
  std::uint32_t texture = 0;
  bool hasBump = false;
  std::uint32_t bumpTexture = 0;
  bool hasReflection = false;
  std::uint32_t reflectionTexture = 0;
  TMaterialProperties ambient{{}, gl_enum::kFront, gl_enum::kAmbient};
  TMaterialProperties emission{{}, gl_enum::kFront, gl_enum::kEmission};
  TMaterialProperties specular{{}, gl_enum::kFront, gl_enum::kSpecular};
  TMaterialProperties diffuse{{}, gl_enum::kFront, gl_enum::kDiffuse};
  float opacity = 0.0f;
  float reflectionAmount = 0.0f;
  std::string name;  // lower case
  std::string primaryTextureName;
  std::string bumpTextureName;
  std::string reflectionTextureName;
  float shininess = 0.0f;
  std::int32_t textureCount = 0;
  std::int32_t textureType = 0;
  std::int32_t twoSided = 0;  // 1: no back-face culling

  // Emission and opacity stay as they are: an object's material keeps an
  // emission of zero and an opacity of zero.
  void Assign(const TMaterial& source);
};

enum class TransformKind { Rotate, Translate, Scale };

struct TTransform {
  TransformKind kind = TransformKind::Rotate;
  bool active = true;
  float x = 0.0f, y = 0.0f, z = 0.0f, angle = 0.0f;
};

struct TTransformList {
  bool enabled = true;
  std::vector<TTransform> items;
};

struct T3DObject {
  bool transparent = false;
  std::string name;
  TMaterial material;
  std::int32_t vertexCount = 0;
  std::int32_t faceCount = 0;
  std::int32_t pickName = 0;
  std::uint32_t primitive = gl_enum::kTriangles;
  TTransformList transforms;
  std::vector<TVector3> vertices;  // viewer axes
  std::vector<TVector3> normals;   // file axes
  std::vector<TTexCoord> texCoords;
  std::vector<TFace> faces;

  // True when every corner of face `i` names an existing vertex. Drawing
  // skips the faces that do not.
  bool FaceInRange(std::size_t i) const {
    const TFace& f = faces[i];
    const std::size_t n = vertices.size();
    return f.a < n && f.b < n && f.c < n;
  }

  // What the drawing derived from this object's geometry once (index lists,
  // per-vertex bump and reflection coordinates); built on first draw.
  mutable std::shared_ptr<ObjectDrawArrays> drawArrays;
};

// A bone of the file's skeleton, kept for export; the reader has already
// moved the objects it names.
struct TBone {
  std::string name;
  std::int32_t parent = -1;  // index into the model's bones; -1 for the root
  TVector3 position;         // relative to the parent, file axes
};

struct TAttachPoint {
  TVector3 position;  // file axes
  TVector3 rotation;  // degrees about x, y, z
  std::string name;
};

struct TMeshBounds {
  float maxX = 0.0f, maxY = 0.0f, maxZ = 0.0f;
  float minX = 0.0f, minY = 0.0f, minZ = 0.0f;
  bool firstVertex = true;  // no vertex seen yet
};

// The model unit's state: what the last load found, and drawing marks that
// loading resets. One instance per program, owned by the viewer.
struct MeshUnitState {
  std::vector<TAttachPoint> AttachmentTable = std::vector<TAttachPoint>(1);
  std::int32_t AttachmentCount = 0;
  TMeshBounds MeshBounds;
  bool LightingOn = true;
  bool AnyBumpLoaded = false;
  bool CubeMapRegenerate = true;
  float LastOpacity = 0.0f;  // of the last material record read
  // Where the last load found the file damaged (0 for compressed content).
  std::optional<std::size_t> DamageOffset;
};

// What a load needs from its surroundings.
struct LoadContext {
  MeshUnitState& unit;
  Notifier& notifier;
  bool trainCarComposing = false;
  // Without a loader, texture names are read and no image is looked for.
  MaterialTextureLoader* textures = nullptr;
  // Where texture images are looked for; Load() uses the mesh's folder.
  std::filesystem::path folder;
  // How they are found and read; the disk when not given.
  const ContentFiles* files = nullptr;
};

// One step of a model's placement, applied in order on top of the view.
struct PlacementStep {
  enum class Kind { Translate, Rotate } kind = Kind::Translate;
  float angle = 0.0f;  // degrees, for Rotate
  float x = 0.0f, y = 0.0f, z = 0.0f;
  bool operator==(const PlacementStep&) const = default;
};

class T3DModel {
 public:
  T3DModel() = default;
  T3DModel(const T3DModel&) = delete;
  T3DModel& operator=(const T3DModel&) = delete;
  ~T3DModel() { Clear(); }

  // Reads a mesh file. False when it cannot be opened or is not a mesh;
  // a damaged mesh loads what precedes the damage and says so once.
  bool Load(const std::filesystem::path& fileName, LoadContext& context);
  // Same, from bytes already in memory; `displayName` names them in messages.
  bool LoadFromMemory(std::span<const std::byte> bytes, const std::string& displayName,
                      LoadContext& context);

  // Deletes the objects and the textures their materials hold.
  void Clear();

  // The texture an earlier object of this model holds for `name` as a
  // texture of `type` (1 primary, with equal opacity; 8 bump; 9
  // reflection), or 0.
  std::uint32_t FindTexture(const std::string& name, std::int32_t type, float opacity) const;
  // Each object's primary texture name, in object order, empty ones too.
  void ListTextureNames(std::vector<std::string>& list) const;

  std::size_t ObjectCount() const { return objects.size(); }
  std::size_t MaterialCount() const { return materials.size(); }
  std::int64_t FaceCount() const;

  std::vector<std::unique_ptr<TMaterial>> materials;  // only while loading
  std::vector<std::unique_ptr<T3DObject>> objects;
  // The skeleton in reading order, parents before their children.
  std::vector<TBone> bones;
  // Where a traincar's composition put this model, in view axes; empty for
  // a mesh on its own.
  std::vector<PlacementStep> placement;

 private:
  MaterialTextureLoader* textures_ = nullptr;  // deletes what the objects hold
};

class T3DScene {
 public:
  T3DModel& AddModel();
  std::size_t ModelCount() const { return models_.size(); }
  T3DModel& Model(std::size_t i) { return *models_[i]; }
  const T3DModel& Model(std::size_t i) const { return *models_[i]; }

 private:
  std::vector<std::unique_ptr<T3DModel>> models_;
};

// Degrees about x, y, z from a 3x3 rotation matrix m0..m8 in file order.
TVector3 MatrixToAngles(const std::array<float, 9>& m);

// The kind of a material from markers in its lower-cased name.
int MaterialKind(const std::string& lowerCaseName);

}  // namespace kelvane
