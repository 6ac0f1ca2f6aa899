// The binary face of the plug-in: its export table, what it imports, its version block and
// the answers of the simple exports.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "test_support.h"

using testing_support::plugin_path;
using testing_support::read_file;

namespace {

// The export names and imported DLL names read from the PE file itself.
struct PeTables {
  WORD machine = 0;
  WORD magic = 0;
  DWORD symbols = 0;  // entries of the COFF symbol table
  std::vector<std::string> exports;
  std::vector<std::string> imports;
};

// The DLL a user copies: the stripped 32-bit build in dist/, whichever build runs the tests.
std::string shipped_plugin() { return SHIPPED_PLUGIN; }

template <typename T>
T at(const std::string& image, size_t offset) {
  T value{};
  if (offset + sizeof(T) <= image.size()) std::memcpy(&value, image.data() + offset, sizeof(T));
  return value;
}

PeTables read_pe_tables(const std::string& path) {
  const std::string image = read_file(path);
  PeTables tables;
  const auto nt = at<LONG>(image, offsetof(IMAGE_DOS_HEADER, e_lfanew));
  const auto headers = at<IMAGE_NT_HEADERS32>(image, nt);
  if (headers.Signature != IMAGE_NT_SIGNATURE) return tables;
  tables.machine = headers.FileHeader.Machine;
  tables.magic = headers.OptionalHeader.Magic;
  tables.symbols = headers.FileHeader.NumberOfSymbols;
  // The tables below are read with the 32-bit layout only.
  if (tables.magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return tables;
  const size_t sections =
      nt + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + headers.FileHeader.SizeOfOptionalHeader;
  auto file_offset = [&](DWORD rva) -> size_t {
    for (WORD i = 0; i < headers.FileHeader.NumberOfSections; ++i) {
      const auto s = at<IMAGE_SECTION_HEADER>(image, sections + i * sizeof(IMAGE_SECTION_HEADER));
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize)
        return rva - s.VirtualAddress + s.PointerToRawData;
    }
    return image.size();
  };
  auto text_at = [&](DWORD rva) {
    const size_t offset = file_offset(rva);
    return offset < image.size() ? std::string(image.c_str() + offset) : std::string();
  };

  const auto& export_dir = headers.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (export_dir.VirtualAddress) {
    const auto exports = at<IMAGE_EXPORT_DIRECTORY>(image, file_offset(export_dir.VirtualAddress));
    for (DWORD i = 0; i < exports.NumberOfNames; ++i)
      tables.exports.push_back(
          text_at(at<DWORD>(image, file_offset(exports.AddressOfNames) + i * 4)));
  }
  const auto& import_dir = headers.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (size_t offset = file_offset(import_dir.VirtualAddress); offset < image.size();
       offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto descriptor = at<IMAGE_IMPORT_DESCRIPTOR>(image, offset);
    if (descriptor.Name == 0) break;
    std::string name = text_at(descriptor.Name);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    tables.imports.push_back(name);
  }
  return tables;
}

TEST(BinaryInterface, ShippedPluginIsAStripped32BitDll) {
  const PeTables tables = read_pe_tables(shipped_plugin());
  EXPECT_EQ(tables.machine, IMAGE_FILE_MACHINE_I386) << shipped_plugin();
  EXPECT_EQ(tables.magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_EQ(tables.symbols, 0u);
}

// The machine field of a module's PE header as the loader mapped it.
WORD machine_in_memory(HMODULE module) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->Signature == IMAGE_NT_SIGNATURE ? nt->FileHeader.Machine : 0;
}

// A lane that says it runs the 32-bit build must run 32-bit code: the runner declares what it
// runs (ISPELL_CLAIMED_MACHINE=i386 or amd64); without a declaration the claim is the machine the
// compiler targeted. The test executable and the plug-in it loads are read in memory.
TEST(BinaryInterface, RunningCodeIsTheClaimedMachine) {
  const char* declared = std::getenv("ISPELL_CLAIMED_MACHINE");
#if defined(_M_IX86) || defined(__i386__)
  const std::string claim = declared ? declared : "i386";
#else
  const std::string claim = declared ? declared : "amd64";
#endif
  const WORD expected = claim == "i386"    ? IMAGE_FILE_MACHINE_I386
                        : claim == "amd64" ? IMAGE_FILE_MACHINE_AMD64
                                           : 0;
  ASSERT_NE(expected, 0) << "unknown claim ISPELL_CLAIMED_MACHINE=" << claim;
  EXPECT_EQ(machine_in_memory(GetModuleHandleA(nullptr)), expected)
      << "the test executable is not " << claim;
  host::LoadedPlugin plugin(plugin_path());
  ASSERT_TRUE(plugin.ok()) << plugin.missing();
  EXPECT_EQ(machine_in_memory(plugin.module()), expected) << "the plug-in is not " << claim;
}

TEST(BinaryInterface, ExportsExactlyTheNineUndecoratedNames) {
  const PeTables tables = read_pe_tables(shipped_plugin());
  const std::set<std::string> names(tables.exports.begin(), tables.exports.end());
#define ISPELL_EXPORT_NAME(name, result, parameters) #name,
  EXPECT_EQ(names, (std::set<std::string>{ISPELL_PLUGIN_EXPORTS(ISPELL_EXPORT_NAME)}));
#undef ISPELL_EXPORT_NAME
}

TEST(BinaryInterface, ImportsOnlyWindowsOwnLibraries) {
  const PeTables tables = read_pe_tables(shipped_plugin());
  ASSERT_FALSE(tables.imports.empty());
  const std::set<std::string> windows = {
      "kernel32.dll", "user32.dll",   "gdi32.dll",  "advapi32.dll", "shell32.dll", "ole32.dll",
      "wininet.dll",  "comctl32.dll", "msvcrt.dll", "version.dll",  "ws2_32.dll"};
  for (const std::string& name : tables.imports)
    EXPECT_TRUE(windows.count(name)) << "imports " << name;
}

TEST(BinaryInterface, VersionBlock) {
  const std::string path = plugin_path();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00000002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00060000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00000002u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00060000u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  struct {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  EXPECT_EQ(translation->language, 0x0411);
  EXPECT_EQ(translation->code_page, 1200);

  auto text = [&](const char* name) {
    char* value = nullptr;
    UINT chars = 0;
    const std::string query = std::string("\\StringFileInfo\\041104b0\\") + name;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars))
      return std::string("<missing>");
    return std::string(value);
  };
  EXPECT_EQ(text("FileVersion"), "0, 2, 6, 0");
  EXPECT_EQ(text("ProductVersion"), "0, 2, 6, 0");
  EXPECT_EQ(text("FileDescription"), "ispellインストールplugin");
  EXPECT_EQ(text("ProductName"), "ispellインストールplugin");
}

TEST(SimpleExports, InfoIsOneStableRecord) {
  host::reset();
  host::LoadedPlugin plugin(plugin_path());
  ASSERT_TRUE(plugin.ok()) << plugin.missing();
  const PluginInfo* first = plugin.Info();
  const PluginInfo* second = plugin.Info();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first->name, "ispell");
  EXPECT_STREQ(first->description, "スペルチェッカーispellのミルダさんによる移植版です．");
  EXPECT_EQ(first->reserved1, 0);
  EXPECT_EQ(first->reserved2, 0);
  EXPECT_TRUE(plugin.Sets());
}

TEST(SimpleExports, FlagsStartFalseAndTheRequestFollowsTheNetworkSetting) {
  host::reset();
  host::LoadedPlugin plugin(plugin_path());
  ASSERT_TRUE(plugin.ok());
  EXPECT_FALSE(plugin.IsDefault());
  EXPECT_FALSE(plugin.Reboots());

  // Network on, no discovery yet: nothing can be requested.
  DownloadRequest request = plugin.GetDownloadData();
  EXPECT_FALSE(request.ok);
  EXPECT_EQ(request.count, 0);
  EXPECT_EQ(request.files, nullptr);

  // Network off: a valid, empty request.
  host::config().uses_network = false;
  request = plugin.GetDownloadData();
  EXPECT_TRUE(request.ok);
  EXPECT_EQ(request.count, 0);
  EXPECT_EQ(request.files, nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&request);
  EXPECT_EQ(bytes[1] | bytes[2] | bytes[3], 0) << "padding must be zero";
}

}  // namespace
