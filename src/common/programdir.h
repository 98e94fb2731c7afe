// The directory that holds the running program, where materia/ and logs/ live.
#pragma once
#include <string>

namespace common {

// Absolute directory of the running executable, ending with "/".
std::string programDir();

}  // namespace common
