#include "runner/automation/automation_test_fixture.h"

namespace tandrel {
namespace {

void addApp(sim::World& world, int32_t pid, std::optional<std::string> bundle,
            std::optional<std::string> name) {
  sim::AppState app;
  app.pid = pid;
  app.bundleIdentifier = std::move(bundle);
  app.localizedName = std::move(name);
  world.addApplication(std::move(app));
}

TEST_F(AutomationTest, LayoutSwitchersAreFoundByKeywordInEitherCase) {
  world.setHostPid(1);
  addApp(world, 1, "com.example.puntohost", "Punto Host");  // the host itself, never listed
  addApp(world, 2, "com.apple.Safari", "Safari");
  EXPECT_EQ(call("runningLayoutSwitchers"), MethodReply::Success(ValueList{}));

  addApp(world, 3, "ru.yandex.desktop.PUNTOSwitcher", "Punto Switcher");
  addApp(world, 4, std::nullopt, "Caramba Switcher");
  addApp(world, 5, "COM.Example.KeySwitcher", "");
  addApp(world, 6, "org.example.tool", "EveryLang");
  addApp(world, 7, "com.example.MahouApp", std::nullopt);
  addApp(world, 8, "com.example.MahouApp", std::nullopt);
  addApp(world, 9, "com.example.helper", "ДотSwitcher");  // keywords are whole ASCII words
  addApp(world, 10, "com.example.x", "MyDotSwitcherPro");
  EXPECT_EQ(call("runningLayoutSwitchers", ValueMap{{"extra", 1}}),
            MethodReply::Success(ValueList{
                "Punto Switcher", "Caramba Switcher", "com.example.keyswitcher", "EveryLang",
                "com.example.mahouapp", "com.example.mahouapp", "MyDotSwitcherPro"}));
}

}  // namespace
}  // namespace tandrel
