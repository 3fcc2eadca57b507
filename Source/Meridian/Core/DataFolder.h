// Where the program's own read-only data (textures, models, fonts, the
// configuration) is read from.
//
// The entry point chooses the folder once, before anything is loaded
// (FindDataFolder, then SetDataFolder); every data file's name is then made
// with DataFile. The default, "./Data/", reads from the working folder, as a
// build or source folder has it. Main thread only.
#pragma once

#include <string>

namespace Meridian {

// folder gets a trailing '/' when it has none; empty restores "./Data/".
void SetDataFolder(const std::string& folder);
const std::string& GetDataFolder();
// The data folder followed by relative, e.g. DataFile("SkyRail/pixel.png").
std::string DataFile(const std::string& relative);

// The folder a program should use: "./Data/" when the working folder has a
// "Data/<marker>" folder, otherwise "<executable's folder>/../share/<name>/Data/"
// when that has one (an installed program), otherwise "./Data/" (so that
// loading fails with the usual log lines).
std::string FindDataFolder(const std::string& name, const std::string& marker);

}  // namespace Meridian
