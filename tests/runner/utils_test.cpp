#include "runner/utils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/unique_handle.h"

namespace {

using Arguments = std::vector<std::string>;

struct SplitCase {
  const char* description;
  const wchar_t* commandLine;
  Arguments expected;
};

TEST(CollectArguments, SplitsLikeTheSystemAndDropsTheProgramName) {
  const SplitCase cases[] = {
      {"program name only", L"orvanta.exe", {}},
      {"quoted program path with a space", L"\"C:\\Program Files\\Orvanta\\orvanta.exe\"", {}},
      {"two plain arguments in order", L"orvanta.exe --first second", {"--first", "second"}},
      {"quoted argument keeps its space, loses its quotes",
       L"orvanta.exe \"hello world\" x",
       {"hello world", "x"}},
      {"empty quoted argument keeps its place", L"orvanta.exe a \"\" b", {"a", "", "b"}},
      {"Cyrillic and CJK letters",
       L"orvanta.exe \x041F\x0440\x0438\x0432\x0435\x0442 \x65E5\x672C",
       {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xE6\x97\xA5\xE6\x9C\xAC"}},
      {"emoji written as a surrogate pair", L"orvanta.exe \xD83D\xDE00", {"\xF0\x9F\x98\x80"}},
      {"unpaired high surrogate becomes empty, neighbours unaffected",
       L"orvanta.exe before a\xD800z after",
       {"before", "", "after"}},
      {"unpaired low surrogate becomes empty", L"orvanta.exe \xDC00", {""}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(CollectArgumentsFrom(c.commandLine), c.expected) << c.description;
  }
}

TEST(ToUtf8, EmptyForNullEmptyAndInvalidText) {
  EXPECT_EQ(ToUtf8(nullptr), "");
  EXPECT_EQ(ToUtf8(L""), "");
  EXPECT_EQ(ToUtf8(L"\xD83D"), "") << "high surrogate at the end";
  EXPECT_EQ(ToUtf8(L"ab\xDE00"), "") << "low surrogate without its pair";
  EXPECT_EQ(ToUtf8(L"plain"), "plain");
  // Two-, three- and four-byte forms in one text: the exact byte count matters.
  EXPECT_EQ(ToUtf8(L"\x00E9\x20AC\xD83D\xDE00"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

// The real entry reads the command line the system holds for the process, so the test starts
// a copy of itself with a crafted command line and lets the copy report what it collected.
constexpr char kReportVariable[] = "ORVANTA_RUNNER_TEST_ARGUMENTS_REPORT";

TEST(CollectArgumentsChild, ReportsTheProcessArguments) {
  char report_path[MAX_PATH] = {};
  if (::GetEnvironmentVariableA(kReportVariable, report_path, MAX_PATH) == 0) {
    GTEST_SKIP() << "runs only as the child of ReadsTheProcessCommandLine";
  }
  std::ofstream report(report_path, std::ios::binary);
  for (const std::string& argument : CollectArguments()) {
    report << argument << '\n';
  }
  ASSERT_TRUE(report.good());
}

TEST(CollectArguments, ReadsTheProcessCommandLine) {
  char temp_dir[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathA(MAX_PATH, temp_dir), 0u);
  char report_path[MAX_PATH] = {};
  ASSERT_NE(::GetTempFileNameA(temp_dir, "arg", 0, report_path), 0u);
  ASSERT_TRUE(::SetEnvironmentVariableA(kReportVariable, report_path));

  wchar_t self[MAX_PATH] = {};
  ASSERT_NE(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring command_line = L"\"" + std::wstring(self) +
                              L"\" --gtest_filter=CollectArgumentsChild.* \"with space\" \"\" "
                              L"\x041F\x0440\x0438";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const BOOL started = ::CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &info);
  ::SetEnvironmentVariableA(kReportVariable, nullptr);
  ASSERT_TRUE(started) << ::GetLastError();
  orvanta::ProcessHandles child = orvanta::ProcessHandles::Adopt(info);
  ASSERT_EQ(::WaitForSingleObject(child.process.Get(), 60000), WAIT_OBJECT_0);
  DWORD exit_code = 1;
  ASSERT_TRUE(::GetExitCodeProcess(child.process.Get(), &exit_code));
  EXPECT_EQ(exit_code, 0u);

  std::ifstream report(report_path, std::ios::binary);
  std::stringstream content;
  content << report.rdbuf();
  report.close();
  ::DeleteFileA(report_path);
  EXPECT_EQ(content.str(),
            "--gtest_filter=CollectArgumentsChild.*\nwith space\n\n\xD0\x9F\xD1\x80\xD0\xB8\n");
}

}  // namespace
