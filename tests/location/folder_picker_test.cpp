// The fallback folder browser's texts fill fixed arrays: one that does not
// fit is refused and the text before stays.
#include "location/folder_picker.h"

#include <gtest/gtest.h>

#include <string>

TEST(CFolderBrowser, TakesTextsThatFitOnly) {
  CFolderBrowser browser(nullptr);
  EXPECT_TRUE(browser.SetCaption(std::u16string(127, u'c').c_str()) && browser.SetPrompt(std::u16string(511, u'p').c_str()));
  EXPECT_FALSE(browser.SetCaption(std::u16string(128, u'c').c_str()) || browser.SetPrompt(std::u16string(512, u'p').c_str()));
}
