#include "info_command.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>

#include "budget_json.h"
#include "egl_context.h"
#include "json_number.h"
#include "mesh/attachment_reader.h"
#include "mesh/model.h"
#include "mesh/model_budget.h"
#include "mesh/texture_inventory.h"
#include "platform/notices.h"
#include "session/content_session.h"
#include "texture_inventory_json.h"
#include "textures/texture_upload.h"

namespace kelvane {

namespace {

using Json = nlohmann::ordered_json;

Json Vec(const TVector3& v) {
  return Json::array({JsonFloat(v.x), JsonFloat(v.y), JsonFloat(v.z)});
}

Json Colour(const TMaterialProperties& p) {
  Json out = Json::array();
  for (float c : p.colour)
    out.push_back(JsonFloat(c));
  return out;
}

Json MaterialJson(const TMaterial& m) {
  return Json{{"name", m.name},
              {"kind", MaterialKind(m.name)},
              {"two_sided", m.twoSided},
              {"opacity", JsonFloat(m.opacity)},
              {"ambient", Colour(m.ambient)},
              {"diffuse", Colour(m.diffuse)},
              {"specular", Colour(m.specular)},
              {"emission", Colour(m.emission)},
              {"shininess", JsonFloat(m.shininess)},
              {"primary", m.primaryTextureName},
              {"bump", m.bumpTextureName},
              {"reflection", m.reflectionTextureName},
              {"reflection_amount", JsonFloat(m.reflectionAmount)},
              {"has_texture", m.hasTexture},
              {"has_bump", m.hasBump},
              {"has_reflection", m.hasReflection},
              {"has_alpha", m.hasAlpha}};
}

Json ObjectJson(const T3DObject& o, bool geometry) {
  Json out{{"name", o.name},
           {"vertex_count", o.vertexCount},
           {"face_count", o.faceCount},
           {"transparent", o.transparent},
           {"material", MaterialJson(o.material)}};
  if (geometry) {
    Json positions = Json::array(), uvs = Json::array(), normals = Json::array(),
         faces = Json::array();
    for (const auto& v : o.vertices)
      positions.push_back(Vec(v));
    for (const auto& t : o.texCoords)
      uvs.push_back(Json::array({JsonFloat(t.u), JsonFloat(t.v)}));
    for (const auto& n : o.normals)
      normals.push_back(Vec(n));
    for (const auto& f : o.faces)
      faces.push_back(Json::array({f.a, f.b, f.c}));
    out["positions"] = std::move(positions);
    out["uvs"] = std::move(uvs);
    out["normals"] = std::move(normals);
    out["faces"] = std::move(faces);
  }
  return out;
}

}  // namespace

int RunInfo(const InfoOptions& options, std::ostream& out) {
  std::optional<HeadlessGlContext> gl = HeadlessGlContext::Create(1, 1, nullptr);
  SessionOptions sessionOptions;
  if (gl) {
    sessionOptions.uploader = [](TextureLoaderState& state) {
      return std::make_unique<GlTextureUploader>(state);
    };
  }
  sessionOptions.recordTextures = true;
  // Declared after the context, so its textures go while it is current.
  ContentSession session(std::move(sessionOptions));
  const std::string file = options.path.string();
  const OpenOutcome opened = session.Open(options.path);
  const bool loaded = opened.loaded;
  const MeshUnitState unit = session.Unit() ? *session.Unit() : MeshUnitState{};
  const T3DModel* model = session.CurrentModel();

  Json objects = Json::array();
  if (model) {
    for (const auto& object : model->objects)
      objects.push_back(ObjectJson(*object, options.geometry));
  }

  Json bounds = nullptr;
  if (!unit.MeshBounds.firstVertex) {
    const TMeshBounds& b = unit.MeshBounds;
    bounds = Json{{"min", Vec({b.minX, b.minY, b.minZ})}, {"max", Vec({b.maxX, b.maxY, b.maxZ})}};
  }

  Json attachments = Json::array();
  for (std::int32_t i = 0; i < unit.AttachmentCount; ++i) {
    const TAttachPoint& p = unit.AttachmentTable[static_cast<std::size_t>(i)];
    attachments.push_back(
        Json{{"name", p.name}, {"position", Vec(p.position)}, {"rotation", Vec(p.rotation)}});
  }

  // The attachment reader's outcome apart from the messages: the viewer
  // runs it only while composing a traincar, never for a single mesh.
  Json lines = nullptr;
  Json attachmentErrors = Json::array();
  try {
    TMesh mesh;
    mesh.SetFileName(file);
    mesh.SetActive(true);
    AttachmentList list = ListAttachments(mesh);
    lines = std::move(list.lines);
    for (auto& problem : list.problems)
      attachmentErrors.push_back(std::move(problem));
  } catch (const MeshError& error) {
    attachmentErrors.push_back(error.what());
  }

  Json messages = Json::array();
  for (const Notice& n : opened.messages) {
    messages.push_back(Json{{"caption", n.caption}, {"text", n.text}});
  }

  Json result{{"file", file},
              {"loaded", loaded},
              {"messages", std::move(messages)},
              {"objects", std::move(objects)},
              {"bounds", std::move(bounds)},
              {"face_count", model ? model->FaceCount() : 0},
              {"lighting", unit.LightingOn},
              {"any_bump", unit.AnyBumpLoaded},
              {"texture_upload", gl ? "opengl" : "decode-only"},
              {"attachments", std::move(attachments)},
              {"textures", TextureInventoryJson(session.TextureRecords())},
              {"budget",
               BudgetJson(model ? ModelBudget(*model, session.TextureRecords()) : AssetBudget{})}};
  if (!lines.is_null()) result["attachment_lines"] = std::move(lines);
  result["attachment_errors"] = std::move(attachmentErrors);
  out << result.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  return loaded ? 0 : 1;
}

}  // namespace kelvane
