// What the built orvanta.exe carries for the system: its icon, its manifest and its subsystem.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/test_environment.h"

#ifndef ORVANTA_EXE_PATH
#error ORVANTA_EXE_PATH must name the built orvanta.exe
#endif

namespace {

std::string Resource(HMODULE module, LPCWSTR type, LPCWSTR name) {
  HRSRC found = ::FindResourceW(module, name, type);
  HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::string();
  return std::string(static_cast<const char*>(bytes), ::SizeofResource(module, found));
}

TEST(OrvantaExecutable, CarriesIconManifestAndGuiSubsystem) {
  HMODULE exe = ::LoadLibraryExA(ORVANTA_EXE_PATH, nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(exe, nullptr) << "cannot open " << ORVANTA_EXE_PATH;

  // The window class loads icon resource 101; a group icon with several sizes serves every DPI.
  const std::string group = Resource(exe, MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(101));
  ASSERT_GE(group.size(), 6u) << "no icon group 101";
  EXPECT_GE(static_cast<unsigned char>(group[4]) | (static_cast<unsigned char>(group[5]) << 8), 4)
      << "icon 101 should offer small and large sizes";

  const std::string manifest = Resource(exe, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  ::FreeLibrary(exe);
  ASSERT_FALSE(manifest.empty()) << "no application manifest";
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2<"), std::string::npos);
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos)
      << "Windows 10 not listed as supported";

  // A GUI program: no console window of its own when started from Explorer.
  const std::string image = orvanta_test::ReadFileBytes(ORVANTA_EXE_PATH);
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS64 nt{};
  ASSERT_GE(image.size(), sizeof(dos));
  std::memcpy(&dos, image.data(), sizeof(dos));
  ASSERT_GE(image.size(), dos.e_lfanew + sizeof(nt));
  std::memcpy(&nt, image.data() + dos.e_lfanew, sizeof(nt));
  EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
}

}  // namespace
