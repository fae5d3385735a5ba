#include "base/messages.h"

#include "base/message_box.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace t3d {

const char* const kMessageCaption = "系统信息提示";
const char* const kMessageCaptionEnglish = "System information";

namespace {

// The string table, by id. Texts are UTF-8; index 0 is unused.
const char* const kMessages[] = {
    nullptr,
    "选择象素格式错误 !",
    "设置象素格式错误 !",
    "设置着色句柄错误 !",
    "创建着色句柄错误 !",
    "    你所选择的输出分辨率已超过了当前颜色模式所支持\n的最大分辨率!  请根据显卡的实际容量进行选择.",
    "你所提供的数据已经超过本系统所能处理的范围!",
    "本机上未安装DirectX 7.0!  缺省将采用OpenGL绘制.",
    "打开RIM文件错误!",
    "所选纹理数据与Dem数据分辨率不同!  是否继续?",
    "取纹理数据错误!",
    "当前显示模式应设置为高彩色或真彩色!",
    "线工作区范围与Dem数据范围不符!",
    "已经超过系统所允许显示的矢量工作区的数目!",
    "是否对当前数据建立纹理库, 以便下次能直接使用?",
    "非法纹理库文件!",
    "所选纹理库数据与Dem数据不匹配!",
    "纹理数据至少应含有3个波段!",
    "所选纹理库数据象素格式与指定格式不符!",
    "所选纹理库数据不能作为平地纹理!",
    "系统只处理注释型点数据, 请重新选择!",
    "当前硬件环境不支持16位纹理!",
    "当前使用的16位纹理数据只供显示, \n输出请装入24位纹理数据.",
    "绘制矢量数据要求当前显示模式为32位真彩色!",
    "数据在X/Y/Z上单位应保持一致.",
    "若在X/Y/Z上单位不一致,缺省缩放.",
    "区工作区范围与Dem数据范围不符!",
    "系统取指定道路纹理数据错误, 将采用缺省纹理.",
    "当前硬件环境不支持所选的纹理库数据! \n请根据原始数据重新生成纹理库.",
    "输出影像大小不能超过2G!",
};
constexpr int kMessageCount = int(sizeof(kMessages) / sizeof(kMessages[0]));

// The same table in English, by id.
const char* const kMessagesEnglish[] = {
    nullptr,
    "Error choosing the pixel format!",
    "Error setting the pixel format!",
    "Error making the rendering context current!",
    "Error creating the rendering context!",
    "The output resolution you chose is larger than the current colour mode supports!\n"
    "Please choose one your graphics card can hold.",
    "The data you supplied is beyond what this system can handle!",
    "DirectX 7.0 is not installed on this computer! OpenGL will be used by default.",
    "Error opening the RIM file!",
    "The texture data and the DEM differ in resolution! Continue?",
    "Error reading the texture data!",
    "The display mode should be set to high colour or true colour!",
    "The extent of the line workspace does not match the DEM's!",
    "There are more vector workspaces than the system can show!",
    "Build a texture library from the current data, so that it can be used directly next time?",
    "Invalid texture library file!",
    "The texture library does not match the DEM!",
    "Texture data must have at least 3 bands!",
    "The pixel format of the texture library differs from the one asked for!",
    "The texture library cannot be used as a flat-ground texture!",
    "The system handles annotation point data only; please choose again!",
    "The hardware does not support 16-bit textures!",
    "The 16-bit texture in use is for display only;\nload 24-bit texture data for output.",
    "Drawing vector data needs a 32-bit true-colour display mode!",
    "The data's X, Y and Z units should agree.",
    "When the X, Y and Z units differ, default scaling is used.",
    "The extent of the region workspace does not match the DEM's!",
    "Error reading the road texture; the default texture will be used.",
    "The hardware does not support the chosen texture library!\n"
    "Please make the texture library again from the original data.",
    "The output image cannot be larger than 2 GB!",
};
static_assert(sizeof(kMessagesEnglish) == sizeof(kMessages), "an English text for every message");

// The other fixed texts: file-writing notices, the caption and the progress titles.
struct FixedText {
  const char* chinese;
  const char* english;
};
const FixedText kFixedTexts[] = {
    {"创建BMP文件错!", "Error creating the BMP file!"},
    {"写BMP文件错!", "Error writing the BMP file!"},
    {"系统信息提示", "System information"},
    {"场景输出进度", "Scene output progress"},
    {"正在生成晕渲图...", "Making the hill shade..."},
    {"高程/法向量计算处理进度:", "Heights and normals:"},
    {"分层设色处理进度:", "Height colouring:"},
    {"正在装入纹理数据...", "Loading the texture data..."},
    {"正在生成纹理库...", "Making the texture library..."},
    {"洪水淹没分析进度:", "Flood analysis:"},
    {"恢复...", "Restoring..."},
    {"正在装入区数据...", "Loading region data..."},
    {"正在卸载区数据...:", "Unloading region data..."},
    {"正在装入道路数据...", "Loading road data..."},
};

// "共有N块": the tile count line of tiled outputs.
bool TileCountLine(const char* text, long& count) {
  static const char kBefore[] = "共有";
  static const char kAfter[] = "块";
  const size_t before = sizeof kBefore - 1, after = sizeof kAfter - 1, length = std::strlen(text);
  if (length <= before + after || std::strncmp(text, kBefore, before) != 0 ||
      std::strcmp(text + length - after, kAfter) != 0)
    return false;
  const std::string digits(text + before, length - before - after);
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) return false;
  count = std::strtol(digits.c_str(), nullptr, 10);
  return true;
}

}  // namespace

const char* MessageText(int id) {
  if (id <= 0 || id >= kMessageCount) return nullptr;
  return kMessages[id];
}

const char* MessageTextEnglish(int id) {
  if (id <= 0 || id >= kMessageCount) return nullptr;
  return kMessagesEnglish[id];
}

const char* EnglishOfText(const char* text) {
  if (text == nullptr) return nullptr;
  for (const FixedText& fixed : kFixedTexts)
    if (std::strcmp(text, fixed.chinese) == 0) return fixed.english;
  long count = 0;
  if (TileCountLine(text, count)) {
    thread_local std::string line;
    line = std::to_string(count) + (count == 1 ? " tile" : " tiles") + " in all";
    return line.c_str();
  }
  return nullptr;
}

const char* EnglishFor(int id, const char* text) {
  const char* english = id > 0 ? MessageTextEnglish(id) : EnglishOfText(text);
  return english != nullptr ? english : text;
}

bool UserReadsChinese() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return std::strncmp(value, "zh", 2) == 0;
  }
  return false;
}

void ShowMessage(MessageId id) {
  const char* text = MessageText(int(id));
  if (text == nullptr) return;
  ShowMessageBox(int(id), TN_MB_EXCLAMATION_OK, kMessageCaption, text);
}

int AskMessage(MessageId id) {
  const char* text = MessageText(int(id));
  if (text == nullptr) return TN_IDNO;
  return ShowMessageBox(int(id), TN_MB_QUESTION_YESNO, kMessageCaption, text);
}

void ShowFixedMessage(const char* text) {
  if (text == nullptr) return;
  ShowMessageBox(0, TN_MB_EXCLAMATION_OK, kMessageCaption, text);
}

}  // namespace t3d
