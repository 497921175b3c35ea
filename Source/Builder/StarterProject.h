#pragma once

#include "PathUtils.h"

#include <utility>
#include <vector>

// The files of a small, commented project that builds as it stands: the script, an icon, a
// licence and a folder of files, each with its path relative to the project's folder.
std::vector<std::pair<fs::path, std::vector<uint8_t>>> StarterProjectFiles(WideStringView Title);

inline constexpr const char* StarterProjectName = "Project.xml";
