// Placeholder until the reader lands.
#include "core/services/message_table.h"
#include "recording/recording.h"

namespace torvwy::recording {

core::Result<RecordingHandle> OpenHdf5Recording(const std::filesystem::path& path,
                                                const RecordingOptions&) {
  return core::Fail(core::kMsgFileRead, path.string() + ": this kind of file can't be read yet");
}

}  // namespace torvwy::recording
