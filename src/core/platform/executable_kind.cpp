#include "platform/executable_kind.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <system_error>

namespace kelvane {

namespace {

std::uint32_t Little(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes; i-- > 0;)
    v = (v << 8) | p[i];
  return v;
}

bool ReadAt(std::ifstream& in, std::uint32_t offset, unsigned char* out, std::streamsize count) {
  in.clear();
  in.seekg(offset);
  return static_cast<bool>(in.read(reinterpret_cast<char*>(out), count));
}

}  // namespace

WindowsMachine WindowsMachineOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::array<unsigned char, 64> stub{};
  if (!ReadAt(in, 0, stub.data(), stub.size()) || stub[0] != 'M' || stub[1] != 'Z')
    return WindowsMachine::kNotPe;
  const std::uint32_t header = Little(stub.data() + 0x3C, 4);
  std::array<unsigned char, 6> pe{};
  if (!ReadAt(in, header, pe.data(), pe.size()) || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 ||
      pe[3] != 0)
    return WindowsMachine::kNotPe;
  switch (Little(pe.data() + 4, 2)) {
    case 0x014C:
      return WindowsMachine::kX86;
    case 0x8664:
      return WindowsMachine::kX64;
    case 0xAA64:
      return WindowsMachine::kArm64;
    default:
      return WindowsMachine::kOther;
  }
}

int ElfBits(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::array<unsigned char, 5> head{};
  if (!ReadAt(in, 0, head.data(), head.size()) || head[0] != 0x7F || head[1] != 'E' ||
      head[2] != 'L' || head[3] != 'F')
    return 0;
  return head[4] == 1 ? 32 : head[4] == 2 ? 64 : 0;
}

bool WineRuns32Bit(const std::filesystem::path& wine) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(wine, ec);
  const std::filesystem::path program = ec ? wine : real;
  if (ElfBits(program) == 32) return true;
  const std::filesystem::path lib = program.parent_path().parent_path() / "lib";
  if (ElfBits(lib / "wine" / "wine") == 32) return true;
  for (const auto& folder : {lib / "wine" / "i386-windows", lib / "i386-linux-gnu" / "wine"}) {
    if (std::filesystem::is_directory(folder, ec)) return true;
  }
  return false;
}

}  // namespace kelvane
