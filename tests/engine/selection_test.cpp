// The run's selection: loading from package properties, narrowing it at run time and the
// entries that drop out, the log lines and the product record.
#include "engine/selection.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/report_capture.h"
#include "package/vocabulary.h"
#include "services/product_state.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::Lines;

// Adds an entry with "ShouldInstall" set and the given property, if any.
void AddEntry(Package& package, uint8_t id = 0, std::u16string_view value = u"") {
  auto entry = std::make_unique<CatalogEntry>();
  entry->SetEntryType(kAppFile);
  entry->SetEntryFlags(kShouldInstall | kBlobCompressed);
  if (id != 0) entry->SetProperty(id, value);
  package.InsertEntry(std::move(entry), -1);
}

bool Selected(const Package& package, int index) {
  return package.GetEntry(index)->TestEntryFlags(kShouldInstall) != 0;
}

TEST(LoadSelectionTest, FeaturesAndLanguagesComeFromTheAllAndEnabledProperties) {
  Package package;
  package.SetProperty(kAllFeatures, u"A,B;C");
  package.SetProperty(kEnabledFeatures, u"b, Missing");
  package.SetProperty(kDisabledFeatures, u"A");
  package.SetProperty(kEnabledLanguages, u"fr;de");
  package.SetProperty(kDisabledLanguages, u"en");
  RunSelection selection;
  LoadSelection(package, selection);

  EXPECT_EQ(selection.features.EnabledText(), u"b");
  EXPECT_EQ(selection.features.DisabledText(), u"A,C");
  EXPECT_EQ(selection.secondary_features.EnabledText(), u"");
  EXPECT_EQ(selection.secondary_features.DisabledText(), u"A,B,C");
  // No "AllLanguages": every enabled name is taken.
  EXPECT_EQ(selection.languages.EnabledText(), u"de,fr");
  EXPECT_EQ(selection.languages.DisabledText(), u"");
}

TEST(LoadSelectionTest, LoadingReplacesWhatTheSetsHeld) {
  RunSelection selection;
  selection.features.Enable(u"Old");
  selection.languages.SetAll(u"xx");
  LoadSelection(Package(), selection);
  EXPECT_EQ(selection.features.EnabledText(), u"");
  EXPECT_EQ(selection.languages.DisabledText(), u"");
}

class RunTimeSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    features_.SetAll(u"A,B,C");
    features_.Enable(u"A,B");
    languages_.SetAll(u"fr,de,en");
    languages_.Enable(u"fr,de");
  }
  SelectionSet features_, languages_;
  Package package_;
  testing::ReportCapture report_;
};

TEST_F(RunTimeSelectionTest, DisablingAFeatureDropsOnlyEntriesNoItemOfWhichHolds) {
  AddEntry(package_, kFeatures, u"A");
  AddEntry(package_, kFeatures, u"a;B");
  AddEntry(package_, kFeatures, u"!A");
  AddEntry(package_, kFeatures, u"!B, A");
  AddEntry(package_, kLang, u"fr");
  AddEntry(package_, kFeatures, u" ;, ");
  AddEntry(package_);
  DisableFeatureAtRunTime(u"A", features_, package_);

  EXPECT_FALSE(Selected(package_, 0));
  EXPECT_TRUE(Selected(package_, 1));
  EXPECT_TRUE(Selected(package_, 2));
  EXPECT_FALSE(Selected(package_, 3));
  EXPECT_TRUE(Selected(package_, 4));
  EXPECT_TRUE(Selected(package_, 5));
  EXPECT_TRUE(Selected(package_, 6));
  EXPECT_EQ(package_.GetEntry(0)->EntryFlags(), kBlobCompressed);  // only the one bit goes
  EXPECT_EQ(features_.EnabledText(), u"B");
  EXPECT_EQ(report_.debug, (Lines{u"Dynamically disabling feature: A"}));
}

TEST_F(RunTimeSelectionTest, DisablingNeverSelectsAnEntryAgain) {
  AddEntry(package_, kFeatures, u"B");
  package_.GetEntry(0)->ClearEntryFlags(kShouldInstall);
  AddEntry(package_, kFeatures, u"!A");
  package_.GetEntry(1)->ClearEntryFlags(kShouldInstall);
  DisableFeatureAtRunTime(u"A", features_, package_);
  EXPECT_FALSE(Selected(package_, 0));
  EXPECT_FALSE(Selected(package_, 1));
}

TEST_F(RunTimeSelectionTest, AFeatureThatIsNotEnabledChangesNothingAndLogsNothing) {
  AddEntry(package_, kFeatures, u"C");  // out of step with the selection: left as it is
  DisableFeatureAtRunTime(u"C;Unknown", features_, package_);
  EXPECT_TRUE(Selected(package_, 0));
  EXPECT_EQ(features_.EnabledText(), u"A,B");
  EXPECT_TRUE(report_.debug.empty());
}

// An empty list "is enabled": it disables nothing, but the line is logged and the catalog
// filtered again, which drops entries out of step with the selection.
TEST_F(RunTimeSelectionTest, AnEmptyListFiltersTheCatalogAgain) {
  AddEntry(package_, kFeatures, u"C");
  AddEntry(package_, kLang, u"en");
  DisableFeatureAtRunTime(u" ; ", features_, package_);
  EXPECT_FALSE(Selected(package_, 0));
  EXPECT_EQ(features_.EnabledText(), u"A,B");
  EXPECT_EQ(report_.debug, (Lines{u"Dynamically disabling feature:  ; "}));
  DisableLanguageAtRunTime(u"", languages_, package_);
  EXPECT_FALSE(Selected(package_, 1));
}

TEST_F(RunTimeSelectionTest, AFeatureListIsDisabledWhenAnyOfItIsEnabled) {
  AddEntry(package_, kFeatures, u"A,B");
  AddEntry(package_, kFeatures, u"C");
  DisableFeatureAtRunTime(u"c, b;A", features_, package_);
  EXPECT_FALSE(Selected(package_, 0));
  EXPECT_FALSE(Selected(package_, 1));
  EXPECT_EQ(features_.EnabledText(), u"");
  EXPECT_EQ(report_.debug, (Lines{u"Dynamically disabling feature: c, b;A"}));
}

TEST_F(RunTimeSelectionTest, DisablingALanguageDropsEntriesWithNoEnabledLanguage) {
  AddEntry(package_, kLang, u"fr;de");
  AddEntry(package_, kLang, u"FR");
  AddEntry(package_, kLang, u"");
  AddEntry(package_, kFeatures, u"A");
  AddEntry(package_, kLang, u"en");
  package_.GetEntry(4)->ClearEntryFlags(kShouldInstall);
  DisableLanguageAtRunTime(u"fr", languages_, package_);

  EXPECT_TRUE(Selected(package_, 0));
  EXPECT_FALSE(Selected(package_, 1));
  EXPECT_TRUE(Selected(package_, 2));
  EXPECT_TRUE(Selected(package_, 3));
  EXPECT_FALSE(Selected(package_, 4));
  EXPECT_EQ(languages_.EnabledText(), u"de");
  EXPECT_TRUE(report_.debug.empty());
}

TEST_F(RunTimeSelectionTest, ALanguageThatIsNotEnabledChangesNothing) {
  AddEntry(package_, kLang, u"en");  // out of step with the selection: left as it is
  DisableLanguageAtRunTime(u"en", languages_, package_);
  EXPECT_TRUE(Selected(package_, 0));
  EXPECT_EQ(languages_.EnabledText(), u"de,fr");
}

TEST(SelectionTextTest, FeatureSelectionIsLoggedAsFourLines) {
  SelectionSet features;
  features.SetAll(u"A,B;C");
  features.Enable(u"b");
  testing::ReportCapture report;
  LogFeatureSelection(features);
  EXPECT_EQ(report.debug, (Lines{u"Enabled Features:", u"b", u"Disabled Features:", u"A,C"}));
}

TEST(SelectionTextTest, TheProductRecordGetsTheEnabledNames) {
  testing::TempDevice device;
  Package package;
  package.SetProperty(kAllFeatures, u"Core, Help;Samples");
  package.SetProperty(kEnabledFeatures, u"help,CORE");
  package.SetProperty(kAllLanguages, u"fr,de");
  RunSelection selection;
  LoadSelection(package, selection);
  RecordSelection(u"Notes", selection);

  std::u16string text;
  ASSERT_EQ(GetStateString(u"Notes", kStateFeatures, text), 1);
  EXPECT_EQ(text, u"CORE,help");
  ASSERT_EQ(GetStateString(u"Notes", kStateLanguages, text), 1);
  EXPECT_EQ(text, u"");
}

}  // namespace
}  // namespace stowkit
