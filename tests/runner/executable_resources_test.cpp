// What the built orvanta.exe carries for the system: its icon, its manifest and its subsystem.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#ifndef ORVANTA_EXE_PATH
#error ORVANTA_EXE_PATH must name the built orvanta.exe
#endif

namespace {

class DataModule {
 public:
  DataModule()
      : module_(::LoadLibraryExA(ORVANTA_EXE_PATH, nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~DataModule() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;

  HMODULE get() const { return module_; }

  std::string Resource(LPCWSTR type, LPCWSTR name) const {
    HRSRC found = ::FindResourceW(module_, name, type);
    if (found == nullptr) return std::string();
    HGLOBAL loaded = ::LoadResource(module_, found);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr) return std::string();
    return std::string(static_cast<const char*>(bytes), ::SizeofResource(module_, found));
  }

 private:
  HMODULE module_;
};

TEST(OrvantaExecutable, CarriesIconManifestAndGuiSubsystem) {
  DataModule exe;
  ASSERT_NE(exe.get(), nullptr) << "cannot open " << ORVANTA_EXE_PATH;

  // The window class loads icon resource 101; a group icon with several sizes serves every DPI.
  const std::string group = exe.Resource(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(101));
  ASSERT_GE(group.size(), 6u) << "no icon group 101";
  const unsigned count = static_cast<unsigned char>(group[4]) |
                         (static_cast<unsigned>(static_cast<unsigned char>(group[5])) << 8);
  EXPECT_GE(count, 4u) << "icon 101 should offer small and large sizes";

  const std::string manifest = exe.Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty()) << "no application manifest";
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2<"), std::string::npos);
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos)
      << "Windows 10 not listed as supported";

  // A GUI program: no console window of its own when started from Explorer.
  HANDLE file = ::CreateFileA(ORVANTA_EXE_PATH, GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS64 nt{};
  DWORD read = 0;
  const bool ok =
      ::ReadFile(file, &dos, sizeof(dos), &read, nullptr) && read == sizeof(dos) &&
      ::SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
      ::ReadFile(file, &nt, sizeof(nt), &read, nullptr) && read == sizeof(nt);
  ::CloseHandle(file);
  ASSERT_TRUE(ok);
  EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
}

}  // namespace
