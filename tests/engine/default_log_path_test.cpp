// The log file a run takes when its command line named none.
#include "engine/default_log_path.h"

#include <gtest/gtest.h>

#include "engine/run_mode.h"
#include "package/vocabulary.h"

namespace stowkit {
namespace {

class DefaultLogPathTest : public ::testing::Test {
 protected:
  DefaultLogPathTest() {
    package_.SetProperty(kAppName, u"Foo");
    macros_.SetMacro(u"MYDOCUMENTS", u"\\My Documents");
    macros_.SetMacro(u"NOWHERE", u"");
  }
  Package package_;
  MacroTable macros_;
};

TEST_F(DefaultLogPathTest, WithoutLogDstInstallsLogInTheRootAndRemovalsToo) {
  EXPECT_EQ(DefaultLogPath(package_, u"Foo", kModeFullInstall, macros_), u"\\Stowkit_log_Foo.txt");
  EXPECT_EQ(DefaultLogPath(package_, u"Foo", kModeFullRemove, macros_), u"\\Unstowkit_log_Foo.txt");
}

TEST_F(DefaultLogPathTest, InstallsLogInTheExpandedLogDst) {
  package_.SetProperty(kLogDst, u"$(mydocuments)\\Logs\\");
  EXPECT_EQ(DefaultLogPath(package_, u"Foo", kModeFullInstall, macros_),
            u"\\My Documents\\Logs\\Stowkit_log_Foo.txt");
  EXPECT_EQ(DefaultLogPath(package_, u"Foo", kModePatchInstall, macros_),
            u"\\My Documents\\Logs\\Stowkit_log_Foo.txt");
}

TEST_F(DefaultLogPathTest, RemovalsIgnoreLogDst) {
  package_.SetProperty(kLogDst, u"\\Logs");
  EXPECT_EQ(DefaultLogPath(package_, u"Foo", kModeFullRemove, macros_), u"\\Unstowkit_log_Foo.txt");
  EXPECT_EQ(DefaultLogPath(package_, u"Foo", kModeMinorRemove, macros_), u"\\Unstowkit_log_Foo.txt");
}

TEST_F(DefaultLogPathTest, ALogDstThatDoesNotExpandOrExpandsToNothingGivesTheRoot) {
  package_.SetProperty(kLogDst, u"$(UNDEFINED)\\Logs");
  EXPECT_EQ(DefaultLogPath(package_, u"Foo", kModeFullInstall, macros_), u"\\Stowkit_log_Foo.txt");
  package_.SetProperty(kLogDst, u"$(NOWHERE)");
  EXPECT_EQ(DefaultLogPath(package_, u"Foo", kModeFullInstall, macros_), u"\\Stowkit_log_Foo.txt");
}

}  // namespace
}  // namespace stowkit
