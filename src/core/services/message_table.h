// The numbered bilingual message table and the language flag.
#pragma once

#include <string>
#include <string_view>

namespace torvwy::core {

/// Message numbers. The low numbers are the fixed entries the views draw with; the others are
/// the messages the system shows by meaning.
enum Msg : int {
  kMsgFontFace = 5,        ///< face name of the picture font
  kMsgFontPointSize = 6,   ///< point size of the picture font
  kMsgTestNameLabel = 10,  ///< "Test Name"
  kMsgTestCodeLabel = 11,  ///< "Test Code"
  kMsgNodeLabel = 12,      ///< "Node"
  kMsgInsetYTitle = 21,    ///< axis title: amplitude of the inset
  kMsgInsetXTitle = 23,    ///< axis title: time of the inset
  kMsgCountXTitle = 25,    ///< axis title: amplitude of a count plot
  kMsgInsetTitle = 38,     ///< title of the full-waveform inset
  kMsgTestInfoHeader = 60,
  kMsgSamplingHeader = 61,
  kMsgCursorHeader = 64,
  kMsgTestNameFormat = 67,  ///< takes the test name
  kMsgTestCodeFormat = 68,  ///< takes the test code
  kMsgNodeFormat = 69,      ///< takes the node name

  kMsgParameterFileUnreadable = 100,
  kMsgSamplingUnreadable,
  kMsgDataFileUnopenable,
  kMsgOutOfMemory,
  kMsgCalculationCancelled,
  kMsgNodeDataChanged,
  kMsgSamplingFileMissing,
  kMsgResultFileCreate,
  kMsgResultFileOpen,
  kMsgResultSaved,
  kMsgCountingCaption,
  kMsgEnvelopeCaption,
  kMsgPeakFileFilter,
  kMsgRangeFileFilter,
  kMsgRainflowFileFilter,
  kMsgListFileFilter,
  kMsgListBoxTitle,
  kMsgDataFileShort,
  kMsgUnknownFormat,
  kMsgBadName,
  kMsgBadValue,
  kMsgFileWrite,
  kMsgFileRead,
  kMsgNoCycles,
  kMsgFitRefused,
  kMsgResultFileDamaged,  ///< a result file ends early or holds impossible sizes
  kMsgNoValidDataFile,    ///< a statistics batch found no waveform of its code ranges
  kMsgLast
};

/// Language flag: 0 Chinese, any other value English.
constexpr int kLanguageChinese = 0;
constexpr int kLanguageEnglish = 1;

/// The numbered texts of one language (UTF-8). Unknown numbers give an empty text.
class MessageTable {
 public:
  explicit MessageTable(int language) : language_(language) {}
  int language() const { return language_; }
  bool chinese() const { return language_ == kLanguageChinese; }
  std::string_view operator[](int number) const;

 private:
  int language_;
};

/// The message table of `language`.
MessageTable LoadMessageTable(int language);

/// The language of the user interface: TORVWY_LANG=zh|en when set, else the profile's
/// "settings"/"Language" (0 Chinese, other English), else English.
int GetUILanguage();

/// Picks the Chinese or the English form of a literal pair by the language flag.
inline std::string_view Tr(int language, std::string_view chinese, std::string_view english) {
  return language == kLanguageChinese ? chinese : english;
}

}  // namespace torvwy::core
