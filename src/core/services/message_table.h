// The numbered bilingual message table and the text of an error.
#pragma once

#include <string>
#include <string_view>

#include "core/services/language.h"
#include "core/services/result.h"

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

/// The numbered texts of one language (UTF-8). Unknown numbers give an empty text.
class MessageTable {
 public:
  explicit MessageTable(Language language) : language_(language) {}
  Language language() const { return language_; }
  bool chinese() const { return language_ == Language::kChinese; }
  std::string_view operator[](int number) const;

 private:
  Language language_;
};

/// The message table of `language`.
MessageTable LoadMessageTable(Language language);

/// The text a person is shown for an error: its message in `language`, a blank, then its
/// detail (either part may be empty) with its control characters escaped, so that it is one
/// line whatever the names in it hold.
std::string ErrorText(const Error& error, Language language);

}  // namespace torvwy::core
