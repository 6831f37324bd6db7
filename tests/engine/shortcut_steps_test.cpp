// The shortcut steps on a real device: shortcuts written with their expanded texts, deleted
// at install and at removal, and the failures that stop a step or do not.
#include <gtest/gtest.h>

#include "engine/catalog_steps.h"
#include "engine/catalog_step_fixture.h"
#include "services/hresult.h"
#include "services/program_services.h"

namespace stowkit {
namespace {

using testing::Entry;

constexpr uint8_t kInstall = kShouldInstall;

std::u16string TargetOf(const std::u16string& shortcut) {
  WCHAR target[MAX_PATH] = {};
  if (!SHGetShortcutTarget(shortcut.c_str(), target, MAX_PATH)) return u"(none)";
  return target;
}

testing::EntryLayout Link(uint8_t flags, std::u16string name, std::u16string target) {
  return Entry(kShortcut, flags, {{kLinkName, std::move(name)}, {kLinkTarget, std::move(target)}});
}

class ShortcutStepsTest : public testing::CatalogStepTest {};

TEST_F(ShortcutStepsTest, ShortcutsAreWrittenWithTheirExpandedTexts) {
  ASSERT_EQ(CreateShortcut(u"\\Windows\\Start Menu\\Old.lnk", u"\\old.exe", u"", u""), 1);
  UsePackage({Entry(kShortcut, kInstall,
                    {{kLinkName, u"$(WINDIR)\\Start Menu\\Demo\\Demo"},
                     {kLinkTarget, u"$(APPDIR)\\demo.exe"},
                     {kLinkArgs, u"/s $(APPDIR)"},
                     {kLinkIcon, u"$(APPDIR)\\demo.exe,0"}}),
              Entry(kRemoveShortcut, kInstall, {{kLinkName, u"$(WINDIR)\\Start Menu\\Old"}}),
              Entry(kRemoveShortcut, kInstall, {{kLinkName, u"\\Windows\\Never.lnk"}})});
  EXPECT_EQ(CreateShortcuts(engine_), S_OK);
  EXPECT_EQ(TargetOf(u"\\Windows\\Start Menu\\Demo\\Demo.lnk"),
            u"\"\\Program Files\\Demo\\demo.exe\" /s \\Program Files\\Demo");
  EXPECT_FALSE(Exists(u"\\Windows\\Start Menu\\Old.lnk"));
  EXPECT_EQ(PropertyOf(0, kLinkName), u"\\Windows\\Start Menu\\Demo\\Demo");
  EXPECT_EQ(PropertyOf(0, kLinkArgs), u"/s \\Program Files\\Demo");
  EXPECT_EQ(PropertyOf(0, kLinkIcon), u"\\Program Files\\Demo\\demo.exe,0");
  EXPECT_EQ(capture_.detail,
            (testing::Lines{u"\\Windows\\Start Menu\\Demo\\Demo -> \\Program Files\\Demo\\demo.exe",
                            u"\\Windows\\Start Menu\\Old", u"\\Windows\\Never.lnk"}));
}

TEST_F(ShortcutStepsTest, AShortcutThatCannotBeWrittenOrExpandedStopsTheStep) {
  Put("Windows/Blocker", "a file where a folder should go");
  UsePackage({Link(kInstall, u"\\Windows\\Blocker\\Demo", u"\\demo.exe"),
              Link(kInstall, u"\\Windows\\Later", u"\\later.exe")});
  HRESULT hr = CreateShortcuts(engine_);
  EXPECT_LT(hr, 0);
  EXPECT_EQ(engine_.last_error_text,
            ItemError(UiStringId::kShortcutCreateError, u"\\Windows\\Blocker\\Demo -> \\demo.exe", uint32_t(hr)));
  EXPECT_EQ(DetailCount(engine_.last_error_text), 1);
  EXPECT_FALSE(Exists(u"\\Windows\\Later.lnk"));

  capture_.detail.clear();
  UsePackage({Link(kInstall, u"$(WINDIR)\\Demo", u"$(NOPE)\\demo.exe"),
              Link(kInstall, u"\\Windows\\Later", u"\\later.exe")});
  EXPECT_EQ(CreateShortcuts(engine_), kGenericFailure);
  EXPECT_EQ(capture_.detail,
            (testing::Lines{u"\\Windows\\Demo -> $(NOPE)\\demo.exe",
                            u"Unresolved macro in $(NOPE)\\demo.exe: $(NOPE)"}));
  EXPECT_EQ(PropertyOf(0, kLinkName), u"$(WINDIR)\\Demo");  // nothing stored
  EXPECT_FALSE(Exists(u"\\Windows\\Later.lnk"));
}

// No honest input makes a shortcut that is there undeletable; the fault stands in for it.
TEST_F(ShortcutStepsTest, AnUndeletableShortcutIsReportedAtInstallAndStopsARemoval) {
  ASSERT_EQ(CreateShortcut(u"\\Windows\\Stuck.lnk", u"\\stuck.exe", u"", u""), 1);
  Faults("delete@\\Windows\\Stuck.lnk=5");
  UsePackage({Entry(kRemoveShortcut, kInstall, {{kLinkName, u"\\Windows\\Stuck"}}),
              Link(kInstall, u"\\Windows\\New", u"\\new.exe")});
  EXPECT_EQ(CreateShortcuts(engine_), S_OK);
  std::u16string error = ItemError(UiStringId::kShortcutDeleteError, u"\\Windows\\Stuck", ERROR_ACCESS_DENIED);
  EXPECT_EQ(DetailsOf(UiStringId::kShortcutDeleteError), (testing::Lines{error}));
  EXPECT_TRUE(Exists(u"\\Windows\\New.lnk"));

  engine_.mode = kModeFullRemove;
  capture_.detail.clear();
  UsePackage({Link(kInstall, u"\\Windows\\Stuck", u"\\stuck.exe"),
              Link(kInstall, u"\\Windows\\New", u"\\new.exe")});
  EXPECT_EQ(RemoveShortcuts(engine_), HResultFromError(ERROR_ACCESS_DENIED));
  EXPECT_EQ(engine_.last_error_text, error);
  EXPECT_TRUE(DetailsOf(UiStringId::kShortcutDeleteError).empty()) << "at removal the message is no Detail line";
  EXPECT_TRUE(Exists(u"\\Windows\\New.lnk"));  // the step ended before it
}

TEST_F(ShortcutStepsTest, RemovalDeletesShortcutsAndPassesOverMissingOnes) {
  ASSERT_EQ(CreateShortcut(u"\\Windows\\Start Menu\\Demo.lnk", u"\\demo.exe", u"", u""), 1);
  ASSERT_EQ(CreateShortcut(u"\\Windows\\Kept.lnk", u"\\kept.exe", u"", u""), 1);
  engine_.mode = kModeMinorRemove;
  UsePackage({Link(kInstall, u"$(WINDIR)\\Start Menu\\Demo", u"\\demo.exe"),
              Link(kInstall, u"\\Windows\\Gone", u"\\gone.exe"),
              Link(kInstall, u"\\No Such Folder\\Gone", u"\\gone.exe"),
              Link(kInstall | kKeepOnMinorRemove, u"\\Windows\\Kept", u"\\kept.exe")});
  EXPECT_EQ(RemoveShortcuts(engine_), S_OK);
  EXPECT_FALSE(Exists(u"\\Windows\\Start Menu\\Demo.lnk"));
  EXPECT_TRUE(Exists(u"\\Windows\\Kept.lnk"));
  EXPECT_TRUE(DetailsOf(UiStringId::kShortcutDeleteError).empty());

  UsePackage({Link(kInstall, u"$(NOPE)\\Demo", u"\\demo.exe")});
  EXPECT_EQ(RemoveShortcuts(engine_), kGenericFailure);
}

}  // namespace
}  // namespace stowkit
