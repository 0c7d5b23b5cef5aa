#pragma once

#include <cstdint>

#include "base/byte_cursor.h"

namespace kelvane {

inline constexpr std::uint32_t kTagJIRF = MakeTag("JIRF");
inline constexpr std::uint32_t kTagCFIL = MakeTag("CFIL");
inline constexpr std::uint32_t kTagIDXM = MakeTag("IDXM");
inline constexpr std::uint32_t kTagINFO = MakeTag("INFO");
inline constexpr std::uint32_t kTagCHNK = MakeTag("CHNK");
inline constexpr std::uint32_t kTagMATL = MakeTag("MATL");
inline constexpr std::uint32_t kTagGEOM = MakeTag("GEOM");
inline constexpr std::uint32_t kTagSKEL = MakeTag("SKEL");
inline constexpr std::uint32_t kTagINFL = MakeTag("INFL");
inline constexpr std::uint32_t kTagATCH = MakeTag("ATCH");
inline constexpr std::uint32_t kTagPMIN = MakeTag("PMIN");
inline constexpr std::uint32_t kTagNINF = MakeTag("NINF");
inline constexpr std::uint32_t kTagBONE = MakeTag("BONE");

}  // namespace kelvane
