#include "app/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "text/text.h"

namespace {

class MessagesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    UiLanguage = LanguageEnglish;
    SetMessageBoxFunction(nullptr);
    WindowTitle[0] = 0;
  }
};

TEST_F(MessagesTest, TextsInBothLanguages) {
  UiLanguage = LanguageJapanese;
  EXPECT_EQ(std::u16string(GetMessageText(MessageConfirmInstall)), u"アップデートを行いますか\uFF1F");
  EXPECT_EQ(std::u16string(GetMessageText(MessageBrowserCaption)), u"\u300Cルーメン・トレイル\u300D Updater ver 1.01");
  EXPECT_EQ(std::u16string(GetMessageText(MessageErrorTitle)), u"エラー");
  UiLanguage = LanguageEnglish;
  EXPECT_EQ(std::u16string(GetMessageText(MessageConfirmInstall)), u"Install the update?");
  EXPECT_EQ(std::u16string(GetMessageText(MessageBrowserCaption)), u"\"ルーメン・トレイル\" Updater ver 1.01");
}

TEST_F(MessagesTest, OutOfRangeIsEmptyAndOtherLanguagesFallBackToEnglish) {
  for (int language : {LanguageJapanese, LanguageEnglish}) {
    UiLanguage = language;
    for (int number : {19, -1, 1000}) {
      ASSERT_NE(GetMessageText(number), nullptr);
      EXPECT_EQ(std::u16string(GetMessageText(number)), u"");
    }
  }
  for (int language : {0, 3, 4, 5, -1}) {
    UiLanguage = language;
    EXPECT_EQ(std::u16string(GetMessageText(MessageComplete)), u"Installation complete.") << language;
  }
}

TEST_F(MessagesTest, EveryMessageExistsInBothAndOnlyMessageThreeHasALineFeed) {
  for (int number = 0; number <= 18; ++number) {
    UiLanguage = LanguageEnglish;
    std::u16string english = GetMessageText(number);
    UiLanguage = LanguageJapanese;
    std::u16string japanese = GetMessageText(number);
    EXPECT_FALSE(english.empty());
    EXPECT_FALSE(japanese.empty());
    EXPECT_NE(english, japanese) << number;
    size_t expected = number == MessageAskForFolder ? 1 : 0;
    EXPECT_EQ(std::count(english.begin(), english.end(), u'\n'), expected) << number;
    EXPECT_EQ(std::count(japanese.begin(), japanese.end(), u'\n'), expected) << number;
  }
}

TEST_F(MessagesTest, StatusLineFormatTakesTheFileName) {
  char16_t line[64];
  UiLanguage = LanguageEnglish;
  ASSERT_GT(FormatWide(line, 64, GetMessageText(MessageInstallingFormat), u"data\\a.pak"), 0);
  EXPECT_EQ(std::u16string(line), u"Installing \"data\\a.pak\".");
  UiLanguage = LanguageJapanese;
  ASSERT_GT(FormatWide(line, 64, GetMessageText(MessageInstallingFormat), u"a.pak"), 0);
  EXPECT_EQ(std::u16string(line), u"\"a.pak\"をインストール中");
}

struct Box {
  void* owner;
  std::u16string text, caption;
  uint32_t style;
};
std::vector<Box> boxes;
int answer;
int RecordBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t style) {
  boxes.push_back({owner, text, caption, style});
  return answer;
}

TEST_F(MessagesTest, BoxesUseTheTitleAndTheirStyles) {
  boxes.clear();
  SetMessageBoxFunction(RecordBox);
  FormatWide(WindowTitle, TitleCapacity, u"%s", u"Title");
  answer = 1;
  ShowWarningBox(u"w");
  ShowInfoBox(u"i");
  int owner;
  for (int a : {AnswerYes, 7, 2, 0, -1}) {
    answer = a;
    EXPECT_EQ(AskQuestion(&owner, u"q"), a == AnswerYes);
  }
  ASSERT_EQ(boxes.size(), 7u);
  EXPECT_EQ(boxes[0].style, 0x30u);
  EXPECT_EQ(boxes[0].caption, u"Title");
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[1].style, 0x40u);
  EXPECT_EQ(boxes[2].style, 0x124u);
  EXPECT_EQ(boxes[2].owner, &owner);
}

}  // namespace
