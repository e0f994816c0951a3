#include "messaging/runtime_project.h"

RuntimeProject::RuntimeProject(const std::wstring& base_folder)
    : assetsPath(base_folder + L"\\flutter_assets"),
      icuDataPath(base_folder + L"\\icudtl.dat"),
      aotLibraryPath(base_folder + L"\\app.so") {}
