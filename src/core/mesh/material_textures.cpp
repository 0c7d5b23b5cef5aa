#include "mesh/material_textures.h"

#include <cmath>

#include "base/text.h"
#include "platform/content_path.h"
#include "textures/material_texture_loader.h"

namespace kelvane {

std::int32_t RoundHalfEven(double value) {
  return static_cast<std::int32_t>(std::nearbyint(value));  // default rounding: ties to even
}

TextureDescription ParseTextureDescription(std::string_view text) {
  TextureDescription d;
  bool havePrimary = false, haveAlpha = false;
  std::size_t start = 0;
  while (start < text.size()) {
    // Lines end at CR LF, LF or a lone CR.
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = AsciiLower(text.substr(start, end - start));
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;

    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    if (!havePrimary && line.find("primary=") != std::string::npos) {
      d.primary = BareTextureName(line.substr(equals + 1));
      havePrimary = true;
    }
    if (!haveAlpha && line.find("alpha=") != std::string::npos) {
      d.alpha = BareTextureName(line.substr(equals + 1));
      haveAlpha = true;
    }
  }
  return d;
}

TextureDescription ReadTextureDescription(const std::filesystem::path& file) {
  return ParseTextureDescription(DiskContentFiles().ReadText(file));
}

const ContentFiles& MaterialTextures::Files() const {
  return context_.files ? *context_.files : DiskContentFiles();
}

void MaterialTextures::BeginMaterial(const std::string& lowerCaseName) {
  kind_ = MaterialKind(lowerCaseName);
  if (context_.textures) context_.textures->ClearTextureHasAlpha();
}

void MaterialTextures::EndMaterial(TMaterial& material) {
  if (context_.textures) material.hasAlpha = context_.textures->TextureHasAlpha();
}

void MaterialTextures::Apply(TMaterial& material, std::int32_t type, bool loaded,
                             std::uint32_t name) {
  if (type == kTexturePrimary) {
    material.hasTexture = loaded;
    if (loaded) material.texture = name;
  } else if (type == kTextureReflection) {
    material.hasReflection = loaded;
    if (loaded) material.reflectionTexture = name;
  } else {
    material.hasBump = loaded;
    if (loaded) {
      material.bumpTexture = name;
      context_.unit.AnyBumpLoaded = true;
    }
  }
}

void MaterialTextures::Entry(TMaterial& material, std::int32_t type, const std::string& fileName) {
  const std::string name = AsciiLower(BareTextureName(fileName));
  if (type == kTexturePrimary) material.primaryTextureName = name;
  if (type == kTextureBump) material.bumpTextureName = name;
  if (type == kTextureReflection) material.reflectionTextureName = name;
  if (!context_.textures) return;

  const float opacity = material.opacity;
  const std::uint32_t reused = model_.FindTexture(name, type, opacity);
  if (reused != 0 && opacity == 1.0f) {
    if (type == kTexturePrimary) {
      material.hasTexture = true;
      material.texture = reused;
    } else if (type == kTextureBump) {
      if (!context_.trainCarComposing) {
        material.hasBump = true;
        material.bumpTexture = reused;
      }
    } else {
      material.hasReflection = true;
      material.reflectionTexture = reused;
    }
    return;
  }
  // Only kinds above 4 (or an alpha that replaced the kind) take a bump
  // map; for the others the bump file is not even touched.
  if (type == kTextureBump && kind_ <= 4) return;

  if (auto direct = Files().Find(context_.folder, name)) {
    LoadDirect(material, type, *direct);
  } else if (auto described = Files().Find(context_.folder, name + ".txt")) {
    LoadDescribed(material, type, *described);
  }
}

bool MaterialTextures::LoadDirect(TMaterial& material, std::int32_t type,
                                  const std::filesystem::path& file) {
  MaterialTextureLoader& loader = *context_.textures;
  const float opacity = material.opacity;
  std::uint32_t name = 0;
  bool loaded = false;
  if (type == kTexturePrimary) {
    name = material.texture;
    if (kind_ == 6) {
      loaded = loader.LoadTexture(file, name, true, 255);
    } else if (opacity != 1.0f) {
      const std::int32_t alpha = RoundHalfEven(std::sqrt(static_cast<double>(opacity)) * 255.0);
      kind_ = alpha;
      loaded = loader.LoadTexture(file, name, true, alpha);
    } else {
      loaded = loader.LoadTexture(file, name, false, kind_);
    }
  } else if (type == kTextureReflection) {
    name = material.reflectionTexture;
    loaded = loader.LoadTexture(file, name, false, kind_);
  } else {
    name = material.bumpTexture;
    loaded = loader.LoadTexture(file, name, true, 255);
  }
  if (loaded) Files().ClearReadOnly(file);
  Apply(material, type, loaded, name);
  return loaded;
}

void MaterialTextures::LoadDescribed(TMaterial& material, std::int32_t type,
                                     const std::filesystem::path& descriptionFile) {
  MaterialTextureLoader& loader = *context_.textures;
  const TextureDescription d = ParseTextureDescription(Files().ReadText(descriptionFile));
  if (d.alpha != d.primary) {
    if (auto alphaFile = Files().Find(context_.folder, d.alpha)) {
      std::uint32_t held = material.texture;
      if (loader.LoadAlphaTexture(*alphaFile, held, false, kind_)) {
        Files().ClearReadOnly(*alphaFile);
      }
    }
  }
  auto primaryFile = Files().Find(context_.folder, d.primary);
  if (!primaryFile) return;
  const float opacity = material.opacity;
  std::uint32_t name = 0;
  bool loaded = false;
  if (type == kTexturePrimary) {
    name = material.texture;
    if ((kind_ == 6 || d.alpha.empty()) && opacity == 1.0f) {
      loaded = loader.LoadTexture(*primaryFile, name, false, 255);
    } else if (opacity != 1.0f) {
      const std::int32_t alpha = RoundHalfEven(255.0 * static_cast<double>(opacity));
      kind_ = alpha;
      loaded = loader.LoadTexture(*primaryFile, name, true, alpha);
    } else {
      loaded = loader.LoadTexture(*primaryFile, name, false, kind_);
    }
  } else if (type == kTextureReflection) {
    name = material.reflectionTexture;
    loaded = loader.LoadTexture(*primaryFile, name, false, kind_);
  } else {
    name = material.bumpTexture;
    loaded = loader.LoadTexture(*primaryFile, name, true, 255);
  }
  if (loaded) Files().ClearReadOnly(*primaryFile);
  Apply(material, type, loaded, name);
}

}  // namespace kelvane
