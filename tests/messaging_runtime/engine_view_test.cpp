// The engine, view controller and view wrappers against the stand-in runtime.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "messaging/flutter_engine.h"
#include "messaging/flutter_view_controller.h"
#include "messaging/runtime_project.h"
#include "tests/support/standin_runtime.h"
#include "tests/support/test_environment.h"

namespace {

using orvanta_test::JsonNumber;
using orvanta_test::PumpMessages;
using orvanta_test::StateJson;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class EngineViewTest : public testing::Test {
 protected:
  orvanta_test::ScopedTempFolder temp_{"runtime"};
};

TEST_F(EngineViewTest, NextFrameCallbackRunsOnceAndOnlyTheLatestOne) {
  flutter::FlutterViewController controller(100, 100, RuntimeProject(L"data"));
  flutter::FlutterEngine* engine = controller.GetEngine();
  int first = 0, second = 0, rearmed = 0;
  engine->SetNextFrameCallback([&] { ++first; });
  auto held = std::make_shared<int>();
  const std::weak_ptr<int> heldByCallback = held;
  engine->SetNextFrameCallback([&second, held = std::move(held)] { ++second; });
  EXPECT_EQ(second, 0);  // only after a frame, on the UI thread's queue
  PumpMessages();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  EXPECT_TRUE(heldByCallback.expired()) << "a callback that ran is kept";
  EXPECT_FALSE(Contains(StateJson(), "\"first_frame_ms\":null"));

  controller.ForceRedraw();
  PumpMessages();
  EXPECT_EQ(second, 1);
  EXPECT_EQ(JsonNumber(StateJson(), "next_frame_callbacks"), 1);

  // A callback that asks for the next frame again keeps its successor.
  engine->SetNextFrameCallback([&] {
    ++first;
    engine->SetNextFrameCallback([&] { ++rearmed; });
  });
  controller.ForceRedraw();
  PumpMessages();
  controller.ForceRedraw();
  PumpMessages();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(rearmed, 1);
}

TEST_F(EngineViewTest, RefusedViewControllerLeavesTheEngineWithoutAView) {
  orvanta_test::ScopedEnvironment fail("ORVANTA_STANDIN_FAIL_VIEW", "1");
  CaptureStderr();
  flutter::FlutterViewController controller(100, 100, RuntimeProject(L"data"));
  EXPECT_EQ(GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_EQ(controller.GetView(), nullptr);
  ASSERT_NE(controller.GetEngine(), nullptr);
  EXPECT_NE(controller.GetEngine()->GetPluginRegistrar("UrlLauncherWindows"), nullptr);
  // Controller operations on the refused controller are no-ops, not runtime calls.
  controller.ForceRedraw();
  EXPECT_FALSE(controller.HandleTopLevelWindowProc(nullptr, WM_SIZE, 0, 0).has_value());
}

TEST_F(EngineViewTest, HandedOverEngineIsEndedByTheRuntimeNeverByTheWrapper) {
  long long destroy_calls = JsonNumber(StateJson(), "engine_destroy_calls");
  long long ended = JsonNumber(StateJson(), "engines_ended");
  HWND view = nullptr;
  {
    flutter::FlutterViewController controller(300, 200, RuntimeProject(L"data"));
    ASSERT_NE(controller.GetView(), nullptr);
    view = controller.GetView()->GetHWND();
    ASSERT_TRUE(IsWindow(view));
    RECT client = {};
    GetClientRect(view, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(view, WM_FONTCHANGE, 0, 0).has_value());
  }
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(JsonNumber(StateJson(), "engine_destroy_calls"), destroy_calls);
  EXPECT_EQ(JsonNumber(StateJson(), "engines_ended"), ended + 1);

  // An engine wrapper that keeps its engine ends it itself; after a hand-over it does not.
  { flutter::FlutterEngine owner(RuntimeProject(L"data")); }
  EXPECT_EQ(JsonNumber(StateJson(), "engine_destroy_calls"), destroy_calls + 1);
  EXPECT_EQ(JsonNumber(StateJson(), "engines_ended"), ended + 2);
  FlutterDesktopEngineRef handed = nullptr;
  {
    flutter::FlutterEngine wrapper(RuntimeProject(L"data"));
    handed = wrapper.HandOverEngine();
    ASSERT_NE(handed, nullptr);
    EXPECT_NE(wrapper.GetPluginRegistrar("ScreenRetrieverPlugin"), nullptr);
  }
  EXPECT_EQ(JsonNumber(StateJson(), "engine_destroy_calls"), destroy_calls + 1);
  EXPECT_EQ(JsonNumber(StateJson(), "engines_ended"), ended + 2);
  EXPECT_TRUE(FlutterDesktopEngineDestroy(handed));
  EXPECT_EQ(JsonNumber(StateJson(), "engines_ended"), ended + 3);
}

}  // namespace
