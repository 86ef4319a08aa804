// The texts of the message table in both languages.
#include "core/services/message_table.h"

#include "core/services/text.h"

namespace torvwy::core {
namespace {

struct Entry {
  int number;
  const char* chinese;
  const char* english;
};

constexpr Entry kEntries[] = {
    {kMsgFontFace, "WenQuanYi Micro Hei", "WenQuanYi Micro Hei"},
    {kMsgFontPointSize, "9", "9"},
    {kMsgTestNameLabel, "试验名称", "Test Name"},
    {kMsgTestCodeLabel, "试验号", "Test Code"},
    {kMsgNodeLabel, "测点号", "Node"},
    {kMsgInsetYTitle, "幅值", "Amplitude"},
    {kMsgInsetXTitle, "时间", "Time"},
    {kMsgCountXTitle, "幅值", "Amplitude"},
    {kMsgInsetTitle, "全程波形", "Full Waveform"},
    {kMsgTestInfoHeader, "试验信息:", "Test Information:"},
    {kMsgSamplingHeader, "采样参数:", "Sampling Parameters:"},
    {kMsgCursorHeader, "光标读数:", "Cursor Reading:"},
    {kMsgTestNameFormat, "  试验名称: %s", "  Test Name: %s"},
    {kMsgTestCodeFormat, "  试验号: %s", "  Test Code: %s"},
    {kMsgNodeFormat, "  测点号: %s", "  Node: %s"},
    {kMsgParameterFileUnreadable, "无法读取分析参数文件!",
     "The analysis parameter file can't be read!"},
    {kMsgSamplingUnreadable, "无法读取采样参数!", "The sampling parameters can't be read!"},
    {kMsgDataFileUnopenable, "无法打开数据文件!", "The data file can't be opened!"},
    {kMsgOutOfMemory, "内存不足!", "Out of memory!"},
    {kMsgCalculationCancelled, "计算已被取消!", "The calculation was cancelled!"},
    {kMsgNodeDataChanged, "测点数据已改变!", "The node's data have changed!"},
    {kMsgSamplingFileMissing, "采样参数文件不存在!", "The sampling parameter file is missing!"},
    {kMsgResultFileCreate, "无法创建结果文件!", "The result file can't be created!"},
    {kMsgResultFileOpen, "无法打开结果文件!", "The result file can't be opened!"},
    {kMsgResultSaved, "结果已保存", "Result saved"},
    {kMsgCountingCaption, "正在计数...", "Counting..."},
    {kMsgEnvelopeCaption, "正在读取波形概貌...", "Reading the waveform overview..."},
    {kMsgPeakFileFilter, "峰值计数结果文件 (*.PCM)|*.PCM||",
     "Peak Counting Result (*.PCM)|*.PCM||"},
    {kMsgRangeFileFilter, "变程计数结果文件 (*.DCM)|*.DCM||",
     "Varied-Distance Counting Result (*.DCM)|*.DCM||"},
    {kMsgRainflowFileFilter, "雨流法计数结果文件 (*.RFL)|*.RFL||",
     "Rainflow Counting Result (*.RFL)|*.RFL||"},
    {kMsgListFileFilter, "文本文件 (*.txt)|*.txt|Excel文件 (*.xls)|*.xls||",
     "Text File (*.txt)|*.txt|Excel File (*.xls)|*.xls||"},
    {kMsgListBoxTitle, "读数列表", "Readout List"},
    {kMsgDataFileShort, "数据文件比记录长度短!", "The data file is shorter than its record!"},
    {kMsgUnknownFormat, "未知的采样数据格式!", "Unknown sample format!"},
    {kMsgBadName, "名称不能包含路径分隔符或\"..\"!",
     "A name may not hold a path separator or \"..\"!"},
    {kMsgBadValue, "参数值不正确!", "Invalid value!"},
    {kMsgFileWrite, "无法写入文件!", "The file can't be written!"},
    {kMsgFileRead, "无法读取文件!", "The file can't be read!"},
    {kMsgNoCycles, "没有计到循环, 无法估计疲劳寿命!", "No cycle was counted: no life estimate!"},
    {kMsgFitRefused, "非零分区少于两个, 无法拟合!",
     "Fewer than two non-empty partitions: the fit is not possible!"},
    {kMsgResultFileDamaged, "结果文件已损坏!", "The result file is damaged!"},
    {kMsgNoValidDataFile, "No Valid Data File", "No Valid Data File"},
};

}  // namespace

std::string_view MessageTable::operator[](int number) const {
  for (const Entry& entry : kEntries) {
    if (entry.number == number) return chinese() ? entry.chinese : entry.english;
  }
  return {};
}

MessageTable LoadMessageTable(Language language) { return MessageTable(language); }

std::string ErrorText(const Error& error, Language language) {
  std::string text(LoadMessageTable(language)[error.message]);
  if (!error.detail.empty()) {
    if (!text.empty()) text += ' ';
    // A file name may hold a line break or an escape sequence; the message stays one line.
    text += EscapeControlCharacters(error.detail);
  }
  return text;
}

}  // namespace torvwy::core
