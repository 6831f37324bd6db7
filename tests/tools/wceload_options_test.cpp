// The CAB installer stand-in's command line.
#include "wceload_options.h"

#include <gtest/gtest.h>

namespace stowkit::cab {
namespace {

TEST(WceloadOptionsTest, SwitchesAndTheCab) {
  WceloadOptions options;
  std::u16string reason;
  ASSERT_TRUE(ParseWceloadOptions(
      {u"/NOUI", u"-delete", u"0", u"/askdest", u"/nouninstall", u"\\Temp\\a b.cab"}, options,
      reason));
  EXPECT_TRUE(options.silent);
  EXPECT_FALSE(options.delete_cab);
  EXPECT_FALSE(options.uninstallable);
  EXPECT_EQ(options.cab, u"\\Temp\\a b.cab");

  ASSERT_TRUE(ParseWceloadOptions({u"/delete", u"2", u"a.cab"}, options, reason));
  EXPECT_TRUE(options.delete_cab);
  EXPECT_FALSE(options.silent);
  ASSERT_TRUE(ParseWceloadOptions({u"/silent", u"/nodelete", u"a.cab"}, options, reason));
  EXPECT_TRUE(options.silent);
  EXPECT_FALSE(options.delete_cab);
}

TEST(WceloadOptionsTest, WhatItDoesNotUnderstandIsRefused) {
  WceloadOptions options;
  std::u16string reason;
  EXPECT_FALSE(ParseWceloadOptions({u"/quiet", u"a.cab"}, options, reason));
  EXPECT_EQ(reason, u"unknown switch '/quiet'");
  EXPECT_FALSE(ParseWceloadOptions({u"a.cab", u"/delete"}, options, reason));
  EXPECT_FALSE(ParseWceloadOptions({u"/delete", u"a.cab"}, options, reason));
  EXPECT_EQ(reason, u"/delete needs a number: 0 keeps the CAB, 1 deletes it");
  EXPECT_FALSE(ParseWceloadOptions({u"a.cab", u"b.cab"}, options, reason));
  EXPECT_FALSE(ParseWceloadOptions({u"/noui"}, options, reason));
  EXPECT_EQ(reason, u"no CAB file given");
}

}  // namespace
}  // namespace stowkit::cab
