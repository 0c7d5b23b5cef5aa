#include "traincar_info.h"

#include <nlohmann/json.hpp>
#include <system_error>

#include "assets/traincar.h"
#include "budget_json.h"
#include "json_number.h"
#include "mesh/model.h"
#include "mesh/model_budget.h"
#include "platform/notices.h"
#include "session/content_session.h"
#include "texture_inventory_json.h"

namespace kelvane {

namespace {

using Json = nlohmann::ordered_json;

Json Vec(const TVector3& v) {
  return Json::array({JsonFloat(v.x), JsonFloat(v.y), JsonFloat(v.z)});
}

}  // namespace

bool IsTraincarPath(const std::filesystem::path& path) {
  return ContentKindOf(path) == ContentKind::kTraincar;
}

int RunTraincarInfo(const std::filesystem::path& path, std::ostream& out) {
  // Textures are decoded only, for the inventory.
  SessionOptions options;
  options.recordTextures = true;
  ContentSession session(std::move(options));
  const OpenOutcome opened = session.Open(path);
  const bool composed = opened.loaded;
  const TraincarState& state = *session.Traincar();
  const T3DScene& scene = *session.Scene();

  Json messages = Json::array();
  for (const Notice& n : opened.messages)
    messages.push_back(Json{{"caption", n.caption}, {"text", n.text}});

  Json meshEntries = Json::array();
  for (int k = 0; k < state.MeshCount; ++k) {
    const TMeshEntry& e = state.MeshEntry[static_cast<std::size_t>(k)];
    meshEntries.push_back(
        Json{{"name", e.name}, {"file", e.file.string()}, {"attachment_line", e.attachmentLine}});
  }
  Json parts = Json::array();
  for (int i = 0; i < state.PartCount; ++i) {
    const TPartRecord& r = state.PartList[static_cast<std::size_t>(i)];
    parts.push_back(Json{{"kuid", r.kuid},
                         {"position", Vec(r.position)},
                         {"rotation", Vec(r.rotation)},
                         {"sub_attachment_line", r.subAttachmentLine}});
  }
  Json models = Json::array();
  AssetBudget total;
  for (std::size_t j = 0; j < scene.ModelCount(); ++j) {
    const ModelPlacement placement = PlaceModel(state, j);
    const char* source = placement.source == ModelPlacement::Source::Mesh   ? "mesh"
                         : placement.source == ModelPlacement::Source::Part ? "part"
                                                                            : "none";
    const AssetBudget budget = ModelBudget(scene.Model(j), session.TextureRecords());
    total += budget;
    models.push_back(Json{{"file", j < state.ModelFiles.size() ? state.ModelFiles[j].string() : ""},
                          {"placement", source},
                          {"index", placement.index},
                          {"face_count", scene.Model(j).FaceCount()},
                          {"budget", BudgetJson(budget)}});
  }

  Json result{{"file", path.string()},
              {"loaded", composed},
              {"messages", std::move(messages)},
              {"log", state.Memo1.lines},
              {"traincar", state.TrainCarMode},
              {"username", state.UserName},
              {"mesh_entries", std::move(meshEntries)},
              {"parts", std::move(parts)},
              {"models", std::move(models)},
              {"textures", TextureInventoryJson(session.TextureRecords())},
              {"budget", BudgetJson(total)}};
  out << result.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  return composed ? 0 : 1;
}

}  // namespace kelvane
