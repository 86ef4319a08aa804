// The two messages between the host and the analysis windows: 2025 (commands, sent) and 2125
// (notices and settings, posted), each carrying a code and a value.
#pragma once

#include <QEvent>
#include <QObject>
#include <QtGlobal>

namespace torvwy::ui {

inline constexpr QEvent::Type kHostCommandEvent = static_cast<QEvent::Type>(2025);
inline constexpr QEvent::Type kHostNoticeEvent = static_cast<QEvent::Type>(2125);

/// A 2025 or 2125 message: code (wParam) and value (lParam; an address for 2025/1010).
class HostMessage : public QEvent {
 public:
  HostMessage(QEvent::Type type, quint32 code, qintptr value)
      : QEvent(type), code_(code), value_(value) {}
  quint32 code() const { return code_; }
  qintptr value() const { return value_; }

 private:
  quint32 code_;
  qintptr value_;
};

/// Codes of message 2025.
namespace command {
inline constexpr quint32 kFirst = 1001;
inline constexpr quint32 kPrint = 1001;
inline constexpr quint32 kPrintPreview = 1002;
inline constexpr quint32 kCopyPicture = 1003;
inline constexpr quint32 kSavePicture = 1004;
inline constexpr quint32 kExport = 1005;
inline constexpr quint32 kReport = 1006;
inline constexpr quint32 kCloseRequest = 1008;  ///< a frame to its view: closing was postponed
inline constexpr quint32 kWindowGone = 1010;    ///< a frame to the host, value = its address
inline constexpr quint32 kSaveResult = 1013;
inline constexpr quint32 kHelp = 1014;
inline constexpr quint32 kCursor = 1016;
inline constexpr quint32 kGrid = 1017;
inline constexpr quint32 kZoom = 1020;
inline constexpr quint32 kMoveCursor = 1027;
inline constexpr quint32 kReadoutList = 1035;
inline constexpr quint32 kMarkStyle = 1036;
inline constexpr quint32 kFileStored = 1037;  ///< a view to the host: a file it may list
inline constexpr quint32 kReadColours = 1038;
inline constexpr quint32 kDisplaySetting = 1043;
inline constexpr quint32 kBookmark = 1044;
inline constexpr quint32 kBookmarkDialog = 1045;
/// Follow the node while it is recorded: 1 starts, 2 stops, other values toggle.
inline constexpr quint32 kFollow = 1046;
/// Rainflow: the range-mean matrix instead of the histogram: 1 shows, 2 hides, other values
/// toggle.
inline constexpr quint32 kMatrixView = 1047;
/// The count plots on a logarithmic axis: 1 on, 2 off, other values toggle.
inline constexpr quint32 kLogCounts = 1048;
/// The time-history viewer of the window's node.
inline constexpr quint32 kViewWaveform = 1049;
/// The counts of several nodes of the test in one picture (the node chooser first).
inline constexpr quint32 kOverlayNodes = 1050;
/// Rainflow: the from-to matrix instead of the histogram: 1 shows, 2 hides, other values toggle.
inline constexpr quint32 kFromToView = 1051;
inline constexpr quint32 kLast = 1051;
inline constexpr quint32 kPrinting = 1234;  ///< the statistics view to the host: 0 start, 1 end
}  // namespace command

/// Codes of message 2125.
namespace notice {
inline constexpr quint32 kCurveType = 110;
inline constexpr quint32 kPanelKey = 1003;
inline constexpr quint32 kPanelWidth = 2001;
inline constexpr quint32 kClosePermission = 2004;
inline constexpr quint32 kPanelCollapse = 2007;
inline constexpr quint32 kMarkStyle = 3012;
inline constexpr quint32 kZoomSlider = 3019;
inline constexpr quint32 kSortOrder = 3020;
inline constexpr quint32 kReload = 3024;
inline constexpr quint32 kSetup = 3027;
inline constexpr quint32 kInset = 3035;
inline constexpr quint32 kSeparately = 3040;
inline constexpr quint32 kOneWay = 3041;
inline constexpr quint32 kFittingEstimate = 3045;  ///< rainflow: the fitting life estimate
inline constexpr quint32 kActualEstimate = 3046;   ///< rainflow: the actual life estimate
inline constexpr quint32 kFollow = 3050;           ///< the panel's Follow box: 1 ticked, 2 unticked
}  // namespace notice

/// Sends 2025 synchronously; nothing happens when `to` is null.
void SendHostCommand(QObject* to, quint32 code, qintptr value = 0);
/// Posts 2125 (queued); nothing happens when `to` is null.
void PostHostNotice(QObject* to, quint32 code, qintptr value = 0);
/// Posts 2025 (queued), for the few commands that are posted (the close request notice).
void PostHostCommand(QObject* to, quint32 code, qintptr value = 0);

/// The host's main window, which receives 2025/1010, 1037 and 1234: one for the process, seen by
/// the host and the module it loads alike; the host clears it (null) before its window goes.
void SetHostWindow(QObject* window);
QObject* HostWindow();

}  // namespace torvwy::ui
