// Where the UI program's files lie and how it is entered: what the engine is created from.
//
// A plain value; the UI window keeps its own copy. The three paths are the base folder with
// "\flutter_assets", "\icudtl.dat" and "\app.so" appended as they are, so a relative base
// folder gives relative paths that the runtime resolves itself.
#ifndef ORVANTA_MESSAGING_RUNTIME_PROJECT_H_
#define ORVANTA_MESSAGING_RUNTIME_PROJECT_H_

#include <cstdint>
#include <string>
#include <vector>

class RuntimeProject {
 public:
  explicit RuntimeProject(const std::wstring& base_folder);

  std::wstring assetsPath;
  std::wstring icuDataPath;
  std::wstring aotLibraryPath;
  std::string entrypoint;                        // empty: the UI program's default
  std::vector<std::string> entrypointArguments;  // UTF-8, handed to the UI program in order
  int32_t extraOption1 = 0;
  int32_t extraOption2 = 0;
};

#endif  // ORVANTA_MESSAGING_RUNTIME_PROJECT_H_
