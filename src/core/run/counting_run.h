// The counting run: one run that counts a node by any entry of the method table, on one thread or
// several, and returns the complete result file record, for every face alike.
#pragma once

#include "core/data/counting_node.h"
#include "core/files/result_file.h"
#include "core/run/counting_plan.h"
#include "core/services/language.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The captions of a run in `language`, from the message table.
PassCaptions CountingCaptions(Language language);

/// Counts `node` as `plan` (checked by PlanCounting, settled by SettlePlan against the node)
/// says, with the plan's method:
///
///   open the waveform -> [envelope pass, automatic A only] -> A (AmplitudeRangeOf)
///     -> counters (method.make; one per chunk with plan.threads other than 1)
///     -> block pass (the envelope on the way when A was known) -> joins -> result
///
/// Returns the complete result file record: the method's result, the test, code and node
/// names, the sampling record and the record's whole blocks, ready to be shown, drawn, saved or
/// handed over. The result is the same for every thread count. The progress runs over the
/// counted blocks (times the method's progress share) with the plan's captions; a cancel stops
/// the count after the block at which it is seen and returns the partial counts with
/// `cancelled` set (see RefuseCancelledPass); a cancel during the envelope pass, before any
/// count, fails with kMsgCalculationCancelled. Fails for a record shorter than one block (a
/// sample-exact record: than two samples), an amplitude range that N partitions can't be made
/// of, a range outside the record, a file that can't be read, a counter whose storage fails.
Result<AnyResultFile> RunCounting(const CountingPlan& plan, const CountingNode& node,
                                  Progress& progress);

}  // namespace torvwy::core
