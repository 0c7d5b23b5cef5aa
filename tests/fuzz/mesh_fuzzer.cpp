// The model reader on arbitrary bytes: it must never read outside them,
// and whatever it keeps must be safe to draw.

#include <cstddef>
#include <cstdint>
#include <span>

#include "mesh/model.h"
#include "platform/notices.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kelvane::MeshUnitState unit;
  kelvane::RecordingNotifier notifier;
  kelvane::LoadContext context{unit, notifier};
  kelvane::T3DModel model;
  const std::span bytes(reinterpret_cast<const std::byte*>(data), size);
  const bool loaded = model.LoadFromMemory(bytes, "fuzz.im", context);
  if (notifier.notices.size() > 1) __builtin_trap();  // the user is told once at most
  if (!loaded && model.ObjectCount() != 0) __builtin_trap();
  if (unit.AttachmentTable.size() != static_cast<std::size_t>(unit.AttachmentCount) + 1) {
    __builtin_trap();
  }
  for (const auto& object : model.objects) {
    if (object->vertices.size() != object->texCoords.size() ||
        object->vertices.size() != object->normals.size() ||
        object->faces.size() != static_cast<std::size_t>(object->faceCount)) {
      __builtin_trap();
    }
    // Faces that pass FaceInRange must be drawable.
    for (std::size_t i = 0; i < object->faces.size(); ++i) {
      if (object->FaceInRange(i)) {
        volatile float x = object->vertices[object->faces[i].c].x;
        (void)x;
      }
    }
  }
  return 0;
}
