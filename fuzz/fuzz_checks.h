// What every fuzz target insists on: a clean error or a sound record, else abort.
#pragma once

#include <cstdlib>
#include <variant>

#include "core/files/result_file.h"
#include "core/services/message_table.h"

namespace torvwy::fuzz {

/// Aborts unless N is 1..2000, the cursor is N / 2 and the envelope fits the input.
template <typename Record>
void CheckSound(const Record& r, size_t input_size) {
  if (r.partitions < 1 || r.partitions > core::kMaxPartitions ||
      r.cursor_partition != r.partitions / 2 || r.envelope.size() * 8 > input_size) {
    std::abort();
  }
}

/// Aborts unless the reader failed with one of the two messages a bad file deserves.
inline void CheckError(const core::Error& error) {
  if (error.message != core::kMsgResultFileDamaged && error.message != core::kMsgResultFileOpen) {
    std::abort();
  }
}

template <typename Read>
void CheckRead(const Read& read, size_t input_size) {
  if (read) {
    CheckSound(read->result, input_size);
  } else {
    CheckError(read.error());
  }
}

}  // namespace torvwy::fuzz
