#include "base/messages.h"

#include "base/message_box.h"

namespace t3d {

const char* const kMessageCaption = "系统信息提示";

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

}  // namespace

const char* MessageText(int id) {
  if (id <= 0 || id >= kMessageCount) return nullptr;
  return kMessages[id];
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
