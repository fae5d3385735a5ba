// The library's messages in two languages: the Chinese texts as hosts have always received them,
// English texts beside them, and the default handlers choosing by the user's locale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/message_box.h"
#include "base/messages.h"
#include "base/progress.h"
#include "terrain3d/terrain3d.h"

namespace t3d {
namespace {

// Sets the locale variables for one test and restores them after.
class Locale {
 public:
  Locale(const char* all, const char* messages, const char* lang) {
    for (int k = 0; k < 3; ++k) {
      const char* old = std::getenv(kNames[k]);
      saved_[k] = old != nullptr ? old : "";
      had_[k] = old != nullptr;
    }
    Set(0, all);
    Set(1, messages);
    Set(2, lang);
  }
  ~Locale() {
    for (int k = 0; k < 3; ++k) Set(k, had_[k] ? saved_[k].c_str() : nullptr);
  }

 private:
  static void Set(int k, const char* value) {
    if (value != nullptr) ::setenv(kNames[k], value, 1);
    else ::unsetenv(kNames[k]);
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::string saved_[3];
  bool had_[3] = {};
};

bool IsAscii(const char* text) {
  for (const char* c = text; *c != '\0'; ++c)
    if (static_cast<unsigned char>(*c) > 127) return false;
  return true;
}

TEST(Messages, EveryMessageHasAnEnglishTextBesideItsChineseOne) {
  for (int id = 1; id <= 29; ++id) {
    ASSERT_NE(MessageText(id), nullptr) << id;
    const char* english = MessageTextEnglish(id);
    ASSERT_NE(english, nullptr) << id;
    EXPECT_GT(std::string(english).size(), 10u) << id;
    EXPECT_TRUE(IsAscii(english)) << id << ": " << english;
    EXPECT_FALSE(IsAscii(MessageText(id))) << id;  // the Chinese texts stay
  }
  EXPECT_STREQ(MessageText(6), "你所提供的数据已经超过本系统所能处理的范围!");
  EXPECT_STREQ(MessageTextEnglish(6), "The data you supplied is beyond what this system can handle!");
  EXPECT_STREQ(MessageTextEnglish(14),
               "Build a texture library from the current data, so that it can be used directly "
               "next time?");
  EXPECT_EQ(MessageTextEnglish(0), nullptr);
  EXPECT_EQ(MessageTextEnglish(30), nullptr);
  EXPECT_STREQ(kMessageCaption, "系统信息提示");
}

TEST(Messages, FixedTextsAndProgressTitlesHaveEnglishToo) {
  EXPECT_STREQ(EnglishOfText("创建BMP文件错!"), "Error creating the BMP file!");
  EXPECT_STREQ(EnglishOfText("写BMP文件错!"), "Error writing the BMP file!");
  EXPECT_STREQ(EnglishOfText("系统信息提示"), "System information");
  for (const char* title : {"场景输出进度", "正在生成晕渲图...", "高程/法向量计算处理进度:",
                            "分层设色处理进度:", "正在装入纹理数据...", "正在生成纹理库..."}) {
    const char* english = EnglishOfText(title);
    ASSERT_NE(english, nullptr) << title;
    EXPECT_TRUE(IsAscii(english)) << title;
  }
  EXPECT_STREQ(EnglishOfText("共有12块"), "12 tiles in all");
  EXPECT_STREQ(EnglishOfText("共有1块"), "1 tile in all");
  EXPECT_EQ(EnglishOfText("共有块"), nullptr);
  EXPECT_EQ(EnglishOfText("共有x2块"), nullptr);
  EXPECT_EQ(EnglishOfText("something else"), nullptr);
  EXPECT_EQ(EnglishOfText(nullptr), nullptr);
  // What a message box shows in English: the message's text, the fixed text's, or the text.
  EXPECT_STREQ(EnglishFor(10, "ignored"), "Error reading the texture data!");
  EXPECT_STREQ(EnglishFor(0, "写BMP文件错!"), "Error writing the BMP file!");
  EXPECT_STREQ(EnglishFor(0, "plain"), "plain");
}

TEST(Messages, TheLocaleComesFromLcAllThenLcMessagesThenLang) {
  {
    const Locale locale(nullptr, nullptr, nullptr);
    EXPECT_FALSE(UserReadsChinese());
  }
  {
    const Locale locale(nullptr, nullptr, "zh_CN.UTF-8");
    EXPECT_TRUE(UserReadsChinese());
  }
  {
    const Locale locale("C", nullptr, "zh_CN.UTF-8");  // LC_ALL wins
    EXPECT_FALSE(UserReadsChinese());
  }
  {
    const Locale locale("", "zh_TW.UTF-8", "en_GB.UTF-8");  // an empty LC_ALL counts as unset
    EXPECT_TRUE(UserReadsChinese());
  }
  {
    const Locale locale(nullptr, "de_DE.UTF-8", "zh_CN");
    EXPECT_FALSE(UserReadsChinese());
  }
}

TEST(Messages, TheDefaultHandlerPrintsEnglishWithTheNumberUnlessTheLocaleIsChinese) {
  SetMessageHandler(nullptr, nullptr);
  {
    const Locale locale(nullptr, nullptr, "en_US.UTF-8");
    testing::internal::CaptureStderr();
    EXPECT_EQ(AskMessage(MessageId::kSaveTextureLibrary), TN_IDNO);
    ShowMessage(MessageId::kDataTooLarge);
    ShowFixedMessage("创建BMP文件错!");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "terrain3d message 14: Build a texture library from the current data, so that it "
              "can be used directly next time? (answered: No)\n"
              "terrain3d message 6: The data you supplied is beyond what this system can handle!\n"
              "terrain3d: Error creating the BMP file!\n");
  }
  {
    const Locale locale(nullptr, nullptr, "zh_CN.UTF-8");
    testing::internal::CaptureStderr();
    ShowMessage(MessageId::kDataTooLarge);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[系统信息提示] 你所提供的数据已经超过本系统所能处理的范围!\n");
  }
}

// A handler receives the library's Chinese texts whatever the locale; tnGetEnglishText gives it
// the English ones.
int g_lastId = -1;
std::string g_lastText;
int TN_CALL Capture(void*, int id, unsigned, const char*, const char* text) {
  g_lastId = id;
  g_lastText = text;
  return TN_IDNO;
}

TEST(Messages, HandlersReceiveTheChineseTextsAndCanAskForTheEnglish) {
  const Locale locale(nullptr, nullptr, "en_US.UTF-8");
  SetMessageHandler(&Capture, nullptr);
  ShowMessage(MessageId::kTooFewBands);
  SetMessageHandler(nullptr, nullptr);
  EXPECT_EQ(g_lastId, 17);
  EXPECT_EQ(g_lastText, "纹理数据至少应含有3个波段!");
  EXPECT_STREQ(tnGetEnglishText(17, nullptr), "Texture data must have at least 3 bands!");
  EXPECT_STREQ(tnGetEnglishText(0, "正在生成纹理库..."), "Making the texture library...");
  EXPECT_STREQ(tnGetEnglishText(0, "共有4块"), "4 tiles in all");
  EXPECT_EQ(tnGetEnglishText(0, nullptr), nullptr);
  EXPECT_EQ(tnGetEnglishText(0, "unknown"), nullptr);
  EXPECT_EQ(tnGetEnglishText(30, nullptr), nullptr);
  EXPECT_EQ(tnGetEnglishText(-1, "场景输出进度"), nullptr);
}

TEST(Messages, TheDefaultProgressBarShowsTitlesInTheUsersLanguage) {
  {
    const Locale locale(nullptr, nullptr, "C.UTF-8");
    EXPECT_EQ(ProgressLine("场景输出进度", "共有6块"), "Scene output progress 6 tiles in all");
    EXPECT_EQ(ProgressLine("分层设色处理进度:", nullptr), "Height colouring:");
    EXPECT_EQ(ProgressLine("a title of the host's", ""), "a title of the host's");
  }
  {
    const Locale locale(nullptr, nullptr, "zh_CN.UTF-8");
    EXPECT_EQ(ProgressLine("场景输出进度", "共有6块"), "场景输出进度 共有6块");
  }
}

}  // namespace
}  // namespace t3d
