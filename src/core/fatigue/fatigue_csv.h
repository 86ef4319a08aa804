// The CSV files of the rainflow cycles: the range-mean, from-to and transition matrices and the
// damage over time.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "core/fatigue/class_matrix.h"
#include "core/fatigue/damage_history.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The matrix as CSV text: ',' separators, '.' decimals, LF line ends, every number the
/// shortest text that reads back to the same double (C locale, whatever the process locale).
///
///   range_from,range_to,-12.5..-10,-10..-7.5,...      header: a column per mean bin "from..to"
///   0,2.5,0,3,...                                     a row per range bin: its edges, its cells
///   2.5,5,1,0.5,...                                   (cycles; a residue half counts 0.5)
///
/// Row i holds the ranges (i w, (i + 1) w], column k the means (lo + k wm, lo + (k + 1) wm],
/// the first row and column closed below; the rows run from the smallest range up.
std::string RangeMeanMatrixCsv(const RangeMeanMatrix& matrix);

/// Writes RangeMeanMatrixCsv(matrix) as the file `target`, atomically (file-write message).
Status SaveRangeMeanMatrixCsv(const std::filesystem::path& target, const RangeMeanMatrix& matrix);

/// A from-to or transition matrix as CSV text, numbers and line ends as above:
///
///   from_from,from_to,-10..-8,-8..-6,...      header: a column per to class "from..to"
///   -10,-8,0,0.5,...                           a row per from class: its edges, its cells
///
/// Class k holds the values (e_k, e_k+1] of the edges e_k = k x 2A / M - A, the first closed
/// below; the rows and the columns run from -A up.
std::string ClassMatrixCsv(const ClassMatrix& matrix);

/// Writes ClassMatrixCsv(matrix) as the file `target`, atomically (file-write message).
Status SaveClassMatrixCsv(const std::filesystem::path& target, const ClassMatrix& matrix);

/// The damage over time as CSV text, numbers and line ends as above:
///
///   seconds,sample,range,mean,count,damage,cumulative,kind
///   0.0107421875,11,12,3,1,1.2e-09,1.2e-09,cycle      a closed cycle at its end sample
///   ...
///   3.9990234375,4095,,,2.5,3e-10,4.1e-07,residue     the residue: its half cycles x 0.5,
///                                                     no single range or mean
std::string DamageHistoryCsv(std::span<const DamageStep> steps);

/// Writes DamageHistoryCsv(steps) as the file `target`, atomically (file-write message).
Status SaveDamageHistoryCsv(const std::filesystem::path& target, std::span<const DamageStep> steps);

}  // namespace torvwy::core
