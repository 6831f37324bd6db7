// The self-registration steps with real device libraries: one that registers itself in the
// registry, and one without the entry points.
#include <gtest/gtest.h>

#include "engine/catalog_steps.h"
#include "engine/catalog_step_fixture.h"
#include "services/hresult.h"
#include "services/program_services.h"
#include "services/registry_services.h"

namespace stowkit {
namespace {

using testing::Entry;

constexpr uint8_t kInstall = kShouldInstall;
constexpr HRESULT kNoEntryPoint = HResultFromError(ERROR_PROC_NOT_FOUND);

std::u16string RegisteredState() {
  std::u16string state;
  if (!GetRegString(HKEY_LOCAL_MACHINE, u"Software\\StowkitTests\\SelfRegister", u"State", state)) {
    return u"(none)";
  }
  return state;
}

class RegistrationStepsTest : public testing::CatalogStepTest {
 protected:
  void SetUp() override {
    device_.Install(testing::LibPath("libself_register.so"), "Windows/selfreg.dll");
    device_.Install(testing::LibPath("libplain.so"), "Windows/plain.dll");
  }
};

TEST_F(RegistrationStepsTest, SelfRegisteringLibrariesAreRegisteredEvenWithoutABlob) {
  UsePackage({Entry(kAppFile, kInstall, {{kDst, u"$(WINDIR)\\plain.dll"}}),  // not SelfRegister
              Entry(kAppFile, kInstall | kIgnoreBlob, {{kDst, u"$(WINDIR)\\selfreg.dll"}},
                    kSelfRegister)});
  EXPECT_EQ(RegisterFiles(engine_), S_OK);
  EXPECT_EQ(RegisteredState(), u"registered");
  EXPECT_EQ(PropertyOf(1, kDst), u"\\Windows\\selfreg.dll");
  EXPECT_EQ(capture_.detail, (testing::Lines{u"\\Windows\\selfreg.dll"}));
}

TEST_F(RegistrationStepsTest, EveryFailureIsReportedAndFailsTheStepAtItsEnd) {
  UsePackage({Entry(kAppFile, kInstall, {{kDst, u"$(WINDIR)\\plain.dll"}}, kSelfRegister),
              Entry(kAppFile, kInstall, {{kDst, u"$(NOPE)\\x.dll"}}, kSelfRegister),
              Entry(kAppFile, kInstall, {{kDst, u"$(WINDIR)\\selfreg.dll"}}, kSelfRegister)});
  EXPECT_EQ(RegisterFiles(engine_), kGenericFailure);
  EXPECT_EQ(RegisteredState(), u"registered");  // the last one was still registered
  EXPECT_EQ(DetailsOf(UiStringId::kRegisterError), (testing::Lines{ItemError(UiStringId::kRegisterError, u"\\Windows\\plain.dll",
                                                     uint32_t(kNoEntryPoint))}));
  EXPECT_EQ(DetailCount(u"Unresolved macro in $(NOPE)\\x.dll: $(NOPE)"), 1);
}

TEST_F(RegistrationStepsTest, RemovalUnregistersAndReportsButNeverFails) {
  ASSERT_EQ(RegisterServer(u"\\Windows\\selfreg.dll"), S_OK);
  engine_.mode = kModeFullRemove;
  UsePackage({Entry(kAppFile, kInstall | kIgnoreBlob, {{kDst, u"\\Windows\\selfreg.dll"}},
                    kSelfRegister),
              Entry(kAppFile, kInstall | kIgnoreBlob, {{kDst, u"\\Windows\\gone.dll"}},
                    kSelfRegister),
              Entry(kAppFile, kInstall | kIgnoreBlob, {{kDst, u"\\Windows\\plain.dll"}},
                    kSelfRegister)});
  EXPECT_EQ(UnregisterFiles(engine_), S_OK);
  EXPECT_EQ(RegisteredState(), u"(none)");
  // A library that cannot be loaded because it is missing (126, which is neither "file" nor
  // "path not found") is reported too.
  EXPECT_EQ(DetailsOf(UiStringId::kUnregisterError),
            (testing::Lines{ItemError(UiStringId::kUnregisterError, u"\\Windows\\gone.dll",
                                      uint32_t(HResultFromError(ERROR_MOD_NOT_FOUND))),
                            ItemError(UiStringId::kUnregisterError, u"\\Windows\\plain.dll", uint32_t(kNoEntryPoint))}));
}

}  // namespace
}  // namespace stowkit
