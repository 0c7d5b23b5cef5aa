#pragma once

#include <filesystem>

namespace kelvane {

// The processor a Windows executable is built for, from its PE header.
enum class WindowsMachine { kNotPe, kX86, kX64, kArm64, kOther };

// The machine field of the file's PE header; kNotPe when the file has no
// MZ stub leading to a "PE\0\0" signature.
WindowsMachine WindowsMachineOf(const std::filesystem::path& file);

// 32 or 64 for an ELF executable, by its class byte; 0 for anything else.
int ElfBits(const std::filesystem::path& file);

// True when the Wine installation of the `wine` program given can start
// 32-bit Windows programs: its loader is itself 32-bit, or a 32-bit loader
// or the 32-bit Windows libraries lie in the installation's lib folder
// (lib/wine/wine, lib/wine/i386-windows, lib/i386-linux-gnu/wine).
bool WineRuns32Bit(const std::filesystem::path& wine);

}  // namespace kelvane
