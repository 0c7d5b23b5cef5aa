#include "export/gltf_export.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "base/vec3.h"
#include "mesh/model.h"
#include "overlays/track.h"
#include "session/content_session.h"
#include "textures/pixel_buffer.h"
#include "textures/png_encode.h"

namespace kelvane {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

// glTF's enumerations.
constexpr int kFloat = 5126;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kLinear = 9729;
constexpr int kRepeat = 10497;

// The viewer's alpha test passes alpha above this.
constexpr float kAlphaCutoff = 0.06f;

struct Quat {
  float x = 0, y = 0, z = 0, w = 1;
};

Quat Multiply(const Quat& a, const Quat& b) {
  return {
      a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
      a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Quat AxisAngle(float degrees, float x, float y, float z) {
  const float length = std::sqrt(x * x + y * y + z * z);
  if (length == 0.0f) return {};
  const float half = degrees * std::numbers::pi_v<float> / 360.0f;
  const float s = std::sin(half) / length;
  return {x * s, y * s, z * s, std::cos(half)};
}

std::array<float, 3> Rotate(const Quat& q, const std::array<float, 3>& v) {
  const Quat p{v[0], v[1], v[2], 0};
  const Quat r = Multiply(Multiply(q, p), Quat{-q.x, -q.y, -q.z, q.w});
  return {r.x, r.y, r.z};
}

// A rigid transform, composed the way the viewer multiplies its matrix.
struct Pose {
  std::array<float, 3> t{};
  Quat q;
  void Translate(float x, float y, float z) {
    const auto d = Rotate(q, {x, y, z});
    for (int i = 0; i < 3; ++i)
      t[i] += d[i];
  }
  void RotateBy(float degrees, float x, float y, float z) {
    q = Multiply(q, AxisAngle(degrees, x, y, z));
    const float n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    q = {q.x / n, q.y / n, q.z / n, q.w / n};
  }
};

// File axes (z up) to glTF's (y up), as the viewer turns positions.
std::array<float, 3> ToView(const TVector3& v) {
  return {v.x, v.z, -v.y};
}

void PutPose(Json& node, const Pose& pose) {
  if (pose.t != std::array<float, 3>{})
    node["translation"] = Json::array({pose.t[0], pose.t[1], pose.t[2]});
  if (pose.q.x != 0 || pose.q.y != 0 || pose.q.z != 0)
    node["rotation"] = Json::array({pose.q.x, pose.q.y, pose.q.z, pose.q.w});
}

// Where an attachment point puts what hangs from it, as a traincar places
// its parts: translate, then turn about y, z and x.
Pose AttachmentPose(const TAttachPoint& p) {
  Pose pose;
  const auto at = ToView(p.position);
  pose.Translate(at[0], at[1], at[2]);
  pose.RotateBy(-p.rotation.z, 0, 1, 0);
  pose.RotateBy(p.rotation.y, 0, 0, 1);
  pose.RotateBy(-p.rotation.x, 1, 0, 0);
  return pose;
}

using Vec3 = std::array<float, 3>;

// In place; false for a vector too short (or not finite) to have a direction.
bool Normalise(Vec3& v) {
  const float length = std::sqrt(Dot(v, v));
  if (!(length > 1e-12f) || !std::isfinite(length)) return false;
  for (float& c : v)
    c /= length;
  return true;
}

// Tangents along u with the sign of the bitangent along t (the picture's
// up), orthogonal to the normals: the frame a tangent-space normal map is
// painted in.
std::vector<std::array<float, 4>> Tangents(const T3DObject& object,
                                           const std::vector<Vec3>& normals,
                                           const std::vector<std::uint32_t>& indices) {
  const std::size_t n = normals.size();
  std::vector<Vec3> alongU(n, Vec3{}), alongT(n, Vec3{});
  for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
    const std::uint32_t c[3] = {indices[i], indices[i + 1], indices[i + 2]};
    auto at = [&](int k) {
      const TVector3& v = object.vertices[c[k]];
      return Vec3{v.x, v.y, v.z};
    };
    const Vec3 e1 = Sub(at(1), at(0)), e2 = Sub(at(2), at(0));
    const TTexCoord &t0 = object.texCoords[c[0]], &t1 = object.texCoords[c[1]],
                    &t2 = object.texCoords[c[2]];
    const float du1 = t1.u - t0.u, dt1 = t1.v - t0.v, du2 = t2.u - t0.u, dt2 = t2.v - t0.v;
    const float r = du1 * dt2 - du2 * dt1;
    if (r == 0.0f || !std::isfinite(r)) continue;
    for (int k = 0; k < 3; ++k) {
      for (int a = 0; a < 3; ++a) {
        alongU[c[k]][a] += (e1[a] * dt2 - e2[a] * dt1) / r;
        alongT[c[k]][a] += (e2[a] * du1 - e1[a] * du2) / r;
      }
    }
  }
  std::vector<std::array<float, 4>> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Vec3& nv = normals[i];
    Vec3 t = Sub(alongU[i], Scale(nv, Dot(nv, alongU[i])));
    if (!Normalise(t)) {
      // No u direction here: any direction across the normal will do.
      t = Cross(nv, std::fabs(nv[0]) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0});
      Normalise(t);
    }
    const float w = Dot(Cross(nv, t), alongT[i]) < 0.0f ? -1.0f : 1.0f;
    out[i] = {t[0], t[1], t[2], w};
  }
  return out;
}

class Builder {
 public:
  Builder(const ContentSession& session, GltfAsset& asset) : session_(session), asset_(asset) {}

  void Build(const GltfExportOptions& options);

 private:
  std::size_t Align() {
    while (asset_.buffer.size() % 4 != 0)
      asset_.buffer.push_back(0);
    return asset_.buffer.size();
  }
  std::size_t View(std::size_t offset, std::size_t length, std::optional<int> target) {
    Json view{{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
    if (target) view["target"] = *target;
    views_.push_back(std::move(view));
    return views_.size() - 1;
  }
  template <typename T>
  std::size_t Append(const std::vector<T>& values) {
    const std::size_t offset = Align();
    const std::size_t bytes = values.size() * sizeof(T);
    asset_.buffer.resize(offset + bytes);
    std::memcpy(asset_.buffer.data() + offset, values.data(), bytes);
    return offset;
  }
  std::size_t Accessor(Json accessor) {
    accessors_.push_back(std::move(accessor));
    return accessors_.size() - 1;
  }
  // `file` names the picture when the session kept no record of it.
  std::optional<std::size_t> Texture(std::uint32_t name, const char* file = nullptr);
  std::size_t Material(const T3DObject& object, bool lit, bool withNormals);
  // The track under a traincar: a node holding a node per copy of each
  // part; none when no track is drawn.
  std::optional<std::size_t> Track(const GltfTrack& track);
  std::size_t TrackMesh(const TrackPart& part, std::optional<std::size_t> texture);
  std::size_t TrackMaterial(const TrackSurface& surface, std::optional<std::size_t> texture);
  std::optional<std::size_t> Mesh(const T3DObject& object, bool lit);
  // The accessor of a mesh's triangle corners, 16-bit where they fit.
  std::size_t Indices(const std::vector<std::uint32_t>& indices, std::size_t vertexCount);
  std::size_t Node(Json node) {
    nodes_.push_back(std::move(node));
    return nodes_.size() - 1;
  }

  const ContentSession& session_;
  GltfAsset& asset_;
  Json views_ = Json::array(), accessors_ = Json::array(), meshes_ = Json::array(),
       materials_ = Json::array(), textures_ = Json::array(), images_ = Json::array(),
       nodes_ = Json::array();
  std::unordered_map<std::uint32_t, std::optional<std::size_t>> textureOf_;
  // Pictures already in the buffer by content, so parts loaded twice share
  // one image.
  std::unordered_map<std::string, std::size_t> imageOf_;
};

std::optional<std::size_t> Builder::Texture(std::uint32_t name, const char* file) {
  if (auto it = textureOf_.find(name); it != textureOf_.end()) return it->second;
  std::optional<std::size_t> index;
  if (const PixelBuffer* picture = session_.Picture(name)) {
    std::vector<std::uint8_t> png = EncodePng(*picture);
    if (!png.empty()) {
      std::string key(reinterpret_cast<const char*>(png.data()), png.size());
      std::size_t image;
      if (auto found = imageOf_.find(key); found != imageOf_.end()) {
        image = found->second;
      } else {
        asset_.images.push_back(std::move(png));
        Json entry{{"mimeType", "image/png"}};
        if (file) entry["name"] = file;
        // Named after the file it was decoded from, when the session knows.
        for (const TextureRecord& record : session_.TextureRecords()) {
          if (std::find(record.names.begin(), record.names.end(), name) != record.names.end())
            entry["name"] = record.file.filename().string();
        }
        images_.push_back(std::move(entry));
        image = images_.size() - 1;
        imageOf_.emplace(std::move(key), image);
      }
      textures_.push_back(Json{{"sampler", 0}, {"source", image}});
      index = textures_.size() - 1;
    }
  }
  textureOf_.emplace(name, index);
  return index;
}

bool AnyAlphaBetween(const PixelBuffer& p, int low, int high) {
  for (std::size_t i = 3; i < p.pixels.size(); i += 4) {
    if (p.pixels[i] > low && p.pixels[i] < high) return true;
  }
  return false;
}

std::size_t Builder::Material(const T3DObject& object, bool lit, bool withNormals) {
  const TMaterial& m = object.material;
  Json pbr{{"metallicFactor", 0.0}, {"roughnessFactor", 1.0}};
  std::string alphaMode = "OPAQUE";
  std::optional<std::size_t> colourTexture;
  if (m.hasTexture) colourTexture = Texture(m.texture);
  if (colourTexture) {
    // The texture is drawn as it is, modulated by white.
    pbr["baseColorTexture"] = Json{{"index", *colourTexture}};
    const PixelBuffer* picture = session_.Picture(m.texture);
    if (picture && picture->HasAlpha()) {
      // Blending over an alpha test at 0.06: texels that are either cut or
      // whole are a mask; any texel in between is blended.
      const int cut = static_cast<int>(std::floor(kAlphaCutoff * 255.0f));
      if (AnyAlphaBetween(*picture, cut, 255)) {
        alphaMode = "BLEND";
      } else if (AnyAlphaBetween(*picture, -1, cut + 1)) {
        alphaMode = "MASK";
      }
    }
  } else {
    const auto& d = m.diffuse.colour;
    // Lit, the diffuse alpha (the opacity) blends; unlit, the colour is
    // sent without alpha.
    const float alpha = lit ? std::clamp(d[3], 0.0f, 1.0f) : 1.0f;
    pbr["baseColorFactor"] =
        Json::array({std::clamp(d[0], 0.0f, 1.0f), std::clamp(d[1], 0.0f, 1.0f),
                     std::clamp(d[2], 0.0f, 1.0f), alpha});
    if (alpha < 1.0f) alphaMode = "BLEND";
  }
  Json material{{"name", m.name}, {"pbrMetallicRoughness", std::move(pbr)}};
  // A normal map needs the normals (and tangents) of the surface.
  if (m.hasBump && withNormals) {
    if (auto bump = Texture(m.bumpTexture)) material["normalTexture"] = Json{{"index", *bump}};
  }
  if (alphaMode != "OPAQUE") material["alphaMode"] = alphaMode;
  if (alphaMode == "MASK") material["alphaCutoff"] = kAlphaCutoff;
  if (m.twoSided == 1) material["doubleSided"] = true;
  const auto& d = m.diffuse.colour;
  material["extras"] = Json{{"diffuse", Json::array({d[0], d[1], d[2], d[3]})},
                            {"kind", MaterialKind(m.name)},
                            {"lit", lit}};
  materials_.push_back(std::move(material));
  return materials_.size() - 1;
}

std::optional<std::size_t> Builder::Mesh(const T3DObject& object, bool lit) {
  const std::size_t n = object.vertices.size();
  std::vector<std::uint32_t> indices;
  indices.reserve(object.faces.size() * 3);
  for (std::size_t i = 0; i < object.faces.size(); ++i) {
    if (!object.FaceInRange(i)) continue;
    const TFace& f = object.faces[i];
    indices.insert(indices.end(), {f.a, f.b, f.c});
  }
  if (indices.empty() || n == 0) return std::nullopt;
  asset_.vertices += n;
  asset_.triangles += indices.size() / 3;

  Json attributes;
  {
    std::array<float, 3> lo{}, hi{};
    lo.fill(std::numeric_limits<float>::infinity());
    hi.fill(-std::numeric_limits<float>::infinity());
    for (const TVector3& v : object.vertices) {
      const std::array<float, 3> p{v.x, v.y, v.z};
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], p[k]);
        hi[k] = std::max(hi[k], p[k]);
      }
    }
    const std::size_t offset = Append(object.vertices);
    attributes["POSITION"] = Accessor(Json{{"bufferView", View(offset, n * 12, kArrayBuffer)},
                                           {"componentType", kFloat},
                                           {"count", n},
                                           {"type", "VEC3"},
                                           {"min", Json::array({lo[0], lo[1], lo[2]})},
                                           {"max", Json::array({hi[0], hi[1], hi[2]})}});
  }
  // Normals are kept in file axes; glTF wants them turned with the
  // positions and of unit length. A zero one leaves them all out.
  std::vector<Vec3> normals;
  if (object.normals.size() == n) {
    normals.resize(n);
    bool usable = true;
    for (std::size_t i = 0; i < n && usable; ++i) {
      auto v = ToView(object.normals[i]);
      const double length =
          std::sqrt(double{v[0]} * v[0] + double{v[1]} * v[1] + double{v[2]} * v[2]);
      usable = std::isfinite(length) && length > 1e-6;
      for (float& c : v)
        c = static_cast<float>(c / length);
      normals[i] = v;
    }
    if (!usable) normals.clear();
    if (usable) {
      const std::size_t offset = Append(normals);
      attributes["NORMAL"] = Accessor(Json{{"bufferView", View(offset, n * 12, kArrayBuffer)},
                                           {"componentType", kFloat},
                                           {"count", n},
                                           {"type", "VEC3"}});
    }
  }
  const TMaterial& m = object.material;
  const bool normalMap = m.hasBump && !normals.empty() && Texture(m.bumpTexture);
  const bool textured = (m.hasTexture && Texture(m.texture)) || normalMap;
  if (normalMap && object.texCoords.size() == n) {
    const auto tangents = Tangents(object, normals, indices);
    const std::size_t offset = Append(tangents);
    attributes["TANGENT"] = Accessor(Json{{"bufferView", View(offset, n * 16, kArrayBuffer)},
                                          {"componentType", kFloat},
                                          {"count", n},
                                          {"type", "VEC4"}});
  }
  if (textured && object.texCoords.size() == n) {
    // The viewer keeps v flipped for GL's bottom-up rows; glTF counts from
    // the top.
    std::vector<std::array<float, 2>> uvs(n);
    for (std::size_t i = 0; i < n; ++i)
      uvs[i] = {object.texCoords[i].u, 1.0f - object.texCoords[i].v};
    const std::size_t offset = Append(uvs);
    attributes["TEXCOORD_0"] = Accessor(Json{{"bufferView", View(offset, n * 8, kArrayBuffer)},
                                             {"componentType", kFloat},
                                             {"count", n},
                                             {"type", "VEC2"}});
  }
  Json primitive{{"attributes", std::move(attributes)},
                 {"indices", Indices(indices, n)},
                 {"material", Material(object, lit, !normals.empty())}};
  Json mesh{{"primitives", Json::array({std::move(primitive)})}};
  if (!object.name.empty()) mesh["name"] = object.name;
  meshes_.push_back(std::move(mesh));
  return meshes_.size() - 1;
}

std::size_t Builder::Indices(const std::vector<std::uint32_t>& indices, std::size_t vertexCount) {
  if (vertexCount <= 65536) {
    std::vector<std::uint16_t> small(indices.begin(), indices.end());
    const std::size_t offset = Append(small);
    return Accessor(Json{{"bufferView", View(offset, small.size() * 2, kElementArrayBuffer)},
                         {"componentType", kUnsignedShort},
                         {"count", small.size()},
                         {"type", "SCALAR"}});
  }
  const std::size_t offset = Append(indices);
  return Accessor(Json{{"bufferView", View(offset, indices.size() * 4, kElementArrayBuffer)},
                       {"componentType", kUnsignedInt},
                       {"count", indices.size()},
                       {"type", "SCALAR"}});
}

std::size_t Builder::TrackMaterial(const TrackSurface& surface,
                                   std::optional<std::size_t> texture) {
  // glTF multiplies the texture by the factor, as GL modulates it by the
  // colour.
  Json pbr{{"baseColorFactor",
            Json::array({surface.colour[0], surface.colour[1], surface.colour[2], 1.0f})},
           {"metallicFactor", 0.0},
           {"roughnessFactor", 1.0}};
  if (texture) pbr["baseColorTexture"] = Json{{"index", *texture}};
  // The track is drawn without culling.
  materials_.push_back(Json{
      {"name", surface.name}, {"pbrMetallicRoughness", std::move(pbr)}, {"doubleSided", true}});
  return materials_.size() - 1;
}

std::size_t Builder::TrackMesh(const TrackPart& part, std::optional<std::size_t> texture) {
  Json primitives = Json::array();
  for (const TrackSurface& surface : part.surfaces) {
    const std::size_t n = surface.corners.size();
    std::vector<Vec3> positions(n), normals(n);
    std::vector<std::array<float, 2>> uvs;
    Vec3 lo, hi;
    lo.fill(std::numeric_limits<float>::infinity());
    hi.fill(-std::numeric_limits<float>::infinity());
    for (std::size_t i = 0; i < n; ++i) {
      const TrackCorner& c = surface.corners[i];
      positions[i] = {c.x, c.y, c.z};
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], positions[i][k]);
        hi[k] = std::max(hi[k], positions[i][k]);
      }
      // GL's v counts from the picture's bottom row.
      if (texture) uvs.push_back({c.u, 1.0f - c.v});
    }
    // Each face flat, facing the way its corners turn.
    for (std::size_t i = 0; i + 2 < n; i += 3) {
      Vec3 normal = Cross(Sub(positions[i + 1], positions[i]), Sub(positions[i + 2], positions[i]));
      if (!Normalise(normal)) normal = {0, 1, 0};
      normals[i] = normals[i + 1] = normals[i + 2] = normal;
    }
    asset_.vertices += n;
    asset_.triangles += n / 3;
    Json attributes;
    attributes["POSITION"] =
        Accessor(Json{{"bufferView", View(Append(positions), n * 12, kArrayBuffer)},
                      {"componentType", kFloat},
                      {"count", n},
                      {"type", "VEC3"},
                      {"min", Json::array({lo[0], lo[1], lo[2]})},
                      {"max", Json::array({hi[0], hi[1], hi[2]})}});
    attributes["NORMAL"] =
        Accessor(Json{{"bufferView", View(Append(normals), n * 12, kArrayBuffer)},
                      {"componentType", kFloat},
                      {"count", n},
                      {"type", "VEC3"}});
    if (texture) {
      attributes["TEXCOORD_0"] =
          Accessor(Json{{"bufferView", View(Append(uvs), n * 8, kArrayBuffer)},
                        {"componentType", kFloat},
                        {"count", n},
                        {"type", "VEC2"}});
    }
    std::vector<std::uint32_t> indices(n);
    for (std::size_t i = 0; i < n; ++i)
      indices[i] = static_cast<std::uint32_t>(i);
    primitives.push_back(Json{{"attributes", std::move(attributes)},
                              {"indices", Indices(indices, n)},
                              {"material", TrackMaterial(surface, texture)}});
  }
  meshes_.push_back(Json{{"name", part.name}, {"primitives", std::move(primitives)}});
  return meshes_.size() - 1;
}

std::optional<std::size_t> Builder::Track(const GltfTrack& track) {
  const TrackState* state = session_.Track();
  // A track image goes in only where its picture was kept.
  const bool ballast = state && state->BallastLoaded && session_.Picture(state->BallastTexture);
  const bool ground = state && state->GroundLoaded && session_.Picture(state->GroundTexture);
  const std::vector<TrackPart> parts = BuildTrack(track.gauge, track.spacing, ballast, ground);
  if (parts.empty()) return std::nullopt;
  Json children = Json::array();
  for (const TrackPart& part : parts) {
    std::optional<std::size_t> texture;
    if (part.textured && part.kind == TrackPartKind::Ballast)
      texture = Texture(state->BallastTexture, kBallastTextureFile);
    if (part.textured && part.kind == TrackPartKind::Ground)
      texture = Texture(state->GroundTexture, kGroundTextureFile);
    const std::size_t mesh = TrackMesh(part, texture);
    for (const auto& at : part.offsets) {
      Json node{{"name", part.name}, {"mesh", mesh}};
      if (at != std::array<float, 3>{}) node["translation"] = Json::array({at[0], at[1], at[2]});
      children.push_back(Node(std::move(node)));
    }
  }
  // Drawn in the view's axes, which are glTF's: no transform.
  return Node(Json{{"name", "track"}, {"children", std::move(children)}});
}

void Builder::Build(const GltfExportOptions& options) {
  const T3DScene* scene = session_.Scene();
  Json roots = Json::array();
  const bool traincar = session_.Kind() == ContentKind::kTraincar;
  const std::vector<fs::path> files = session_.MeshFiles();
  // Room for every attribute at once, so the buffer is never moved.
  std::size_t room = 0;
  for (std::size_t i = 0; scene && i < scene->ModelCount(); ++i) {
    for (const auto& object : scene->Model(i).objects)
      room += object->vertices.size() * (12 + 12 + 16 + 8 + 4) + object->faces.size() * 12 + 16;
  }
  asset_.buffer.reserve(room);
  for (std::size_t i = 0; scene && i < scene->ModelCount(); ++i) {
    const T3DModel& model = scene->Model(i);
    // A textured material turns the lights off for the whole model, and a
    // traincar is drawn unlit.
    const bool lit =
        !traincar && std::none_of(model.objects.begin(), model.objects.end(),
                                  [](const auto& o) { return o->material.hasTexture; });
    Json children = Json::array();
    for (const auto& object : model.objects) {
      Json node;
      if (!object->name.empty()) node["name"] = object->name;
      if (auto mesh = Mesh(*object, lit)) node["mesh"] = *mesh;
      children.push_back(Node(std::move(node)));
    }
    for (const TAttachPoint& point : session_.Attachments(model)) {
      Json node{{"name", point.name}};
      PutPose(node, AttachmentPose(point));
      children.push_back(Node(std::move(node)));
    }
    // Bones after everything else, so a child's index is known when its
    // parent lists it: parents come first in the model's list.
    std::vector<std::size_t> boneNode(model.bones.size());
    for (std::size_t b = 0; b < model.bones.size(); ++b) {
      const TBone& bone = model.bones[b];
      Json node{{"name", bone.name}};
      Pose pose;
      const auto at = ToView(bone.position);
      pose.Translate(at[0], at[1], at[2]);
      PutPose(node, pose);
      boneNode[b] = Node(std::move(node));
      if (bone.parent >= 0 && static_cast<std::size_t>(bone.parent) < b) {
        Json& parent = nodes_[boneNode[static_cast<std::size_t>(bone.parent)]];
        if (!parent.contains("children")) parent["children"] = Json::array();
        parent["children"].push_back(boneNode[b]);
      } else {
        children.push_back(boneNode[b]);
      }
    }
    Json node;
    node["name"] = i < files.size() ? files[i].filename().string() : "model";
    Pose pose;
    for (const PlacementStep& step : model.placement) {
      if (step.kind == PlacementStep::Kind::Translate) {
        pose.Translate(step.x, step.y, step.z);
      } else {
        pose.RotateBy(step.angle, step.x, step.y, step.z);
      }
    }
    PutPose(node, pose);
    if (!children.empty()) node["children"] = std::move(children);
    roots.push_back(Node(std::move(node)));
  }
  if (traincar && options.track) {
    if (auto track = Track(*options.track)) roots.push_back(*track);
  }

  Json& doc = asset_.document;
  doc["asset"] = Json{{"version", "2.0"}, {"generator", options.generator}};
  doc["scene"] = 0;
  doc["scenes"] = Json::array({Json{{"nodes", std::move(roots)}}});
  doc["nodes"] = std::move(nodes_);
  if (!meshes_.empty()) doc["meshes"] = std::move(meshes_);
  if (!materials_.empty()) doc["materials"] = std::move(materials_);
  if (!textures_.empty()) {
    doc["textures"] = std::move(textures_);
    doc["images"] = std::move(images_);
    doc["samplers"] = Json::array({Json{
        {"magFilter", kLinear}, {"minFilter", kLinear}, {"wrapS", kRepeat}, {"wrapT", kRepeat}}});
  }
  if (!accessors_.empty()) doc["accessors"] = std::move(accessors_);
  Align();
  if (!views_.empty()) doc["bufferViews"] = std::move(views_);
  if (!asset_.buffer.empty())
    doc["buffers"] = Json::array({Json{{"byteLength", asset_.buffer.size()}}});
}

}  // namespace

GltfAsset BuildGltf(const ContentSession& session, const GltfExportOptions& options) {
  GltfAsset asset;
  Builder(session, asset).Build(options);
  return asset;
}

}  // namespace kelvane
