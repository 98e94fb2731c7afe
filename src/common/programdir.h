// The directory that holds the running program, and the folder of the program's data files.
#pragma once
#include <string>
#include <string_view>

namespace common {

// Absolute directory of the running executable, ending with "/".
std::string programDir();

// The folder holding materia/ (the lists, settings and start mode) and logs/ (downloads), ending
// with "/". Until start-up sets it, it is empty: paths are then relative to the current directory.
const std::string& dataDir();
void setDataDir(std::string dir);

// The path of a data file in materia/, for example materiaFile("setup.ini"): the one place that
// says where those files are.
std::string materiaFile(std::string_view name);

}  // namespace common
