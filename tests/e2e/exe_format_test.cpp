// The shipped program as a file: a 32-bit Windows GUI executable that needs no DLL beyond those
// Windows ships. It runs no Wine, so it also checks the 32-bit build on machines that cannot
// execute 32-bit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

struct PeFile {
  std::vector<std::uint8_t> bytes;

  std::uint32_t U16(std::size_t at) const { return bytes.at(at) | bytes.at(at + 1) << 8; }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }

  std::size_t Pe() const { return U32(0x3C); }
  std::size_t Optional() const { return Pe() + 24; }

  // File offset of a relative virtual address, through the section table.
  std::size_t Offset(std::uint32_t rva) const {
    std::size_t sections = Optional() + U16(Pe() + 20);
    for (std::uint32_t i = 0; i < U16(Pe() + 6); ++i) {
      std::size_t s = sections + 40 * i;
      std::uint32_t va = U32(s + 12), size = std::max(U32(s + 8), U32(s + 16));
      if (rva >= va && rva < va + size) return rva - va + U32(s + 20);
    }
    throw std::out_of_range("address outside every section");
  }

  std::set<std::string> ImportedDlls() const {
    std::set<std::string> dlls;
    std::uint32_t table = U32(Optional() + 96 + 8);  // data directory 1 (PE32 layout)
    for (std::size_t d = Offset(table); U32(d + 12) != 0; d += 20) {
      std::string name;
      for (std::size_t at = Offset(U32(d + 12)); bytes.at(at); ++at)
        name += static_cast<char>(std::tolower(bytes[at]));
      dlls.insert(name);
    }
    return dlls;
  }
};

TEST(ExeFormat, ThirtyTwoBitGuiProgramNeedingOnlyWindowsDlls) {
  std::ifstream in(QUINTORB_EXE_32, std::ios::binary);
  if (!in) GTEST_SKIP() << "not built: " << QUINTORB_EXE_32 << " (cmake --build --preset mingw)";
  PeFile pe{{std::istreambuf_iterator<char>(in), {}}};
  ASSERT_EQ(pe.U16(0), 0x5A4Du);                  // "MZ"
  ASSERT_EQ(pe.U32(pe.Pe()), 0x00004550u);        // "PE\0\0"
  EXPECT_EQ(pe.U16(pe.Pe() + 4), 0x014Cu);        // i386
  EXPECT_EQ(pe.U16(pe.Optional()), 0x010Bu);      // PE32, not PE32+
  EXPECT_EQ(pe.U16(pe.Optional() + 68), 2u);      // Windows GUI subsystem
  const std::set<std::string> windowsDlls = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                             "shell32.dll", "msvcrt.dll"};
  for (const std::string& dll : pe.ImportedDlls())
    EXPECT_TRUE(windowsDlls.count(dll)) << dll << " is not a DLL that Windows ships";
  // The icon resource is there: the resource directory is not empty.
  EXPECT_NE(pe.U32(pe.Optional() + 96 + 16), 0u);
}

}  // namespace
