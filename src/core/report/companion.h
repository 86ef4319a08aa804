// Finding and starting the companion programs: TorvRpt, TorvEpt, ldexp and TorvImgEpt.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/services/result.h"

namespace torvwy::core {

inline constexpr std::string_view kReportProgram = "TorvRpt";
inline constexpr std::string_view kExportProgram = "TorvEpt";
inline constexpr std::string_view kListProgram = "ldexp";
inline constexpr std::string_view kImageProgram = "TorvImgEpt";

/// The companion `name`: the host folder (GetHostFolder) first, then the folder of the running
/// executable. Fails with the file-read message ("companion program TorvRpt not found in ...")
/// when neither holds an executable file of that name.
Result<std::filesystem::path> FindCompanion(std::string_view name);

/// Starts the companion `name` with `arguments` as they are (a list: no shell, no quoting), in
/// the host folder as working folder, and returns its process id without waiting for it (a
/// detached thread reaps it when it ends). Fails
/// when the companion can't be found or started.
Result<int> LaunchCompanion(std::string_view name, const std::vector<std::string>& arguments = {});

/// The picture file handed to the image export program: "TorvImg.bmp" in the work folder.
std::filesystem::path ImageExportPicturePath();

/// The name argument of the image export: the name without the double quotes a shell command
/// line would have around it ("\"a b\"" gives a b).
std::string ImageExportNameArgument(std::string_view name);

/// Starts the image export program with the picture file and the name.
Result<int> LaunchImageExport(const std::filesystem::path& picture, std::string_view name);

}  // namespace torvwy::core
