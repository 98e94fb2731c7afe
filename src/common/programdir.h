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

// Where the program keeps its data. Beside the program when its folder holds a materia/ that may be
// written (a build tree, a portable copy), as always; otherwise (installed) the user's own folder,
// userDataDir(). The installation itself is never written to. Throws userDataDir's error.
std::string locateDataDir(const std::string& programDir);

// The same for a program that only reads the data (munyaro-cli): the shipped files until the window
// program's first start has made the user's folder; it creates nothing.
std::string locateDataDirForReading(const std::string& programDir);

// The user's home folder: $HOME when it is an absolute path, else the password database's. Throws
// "ホームフォルダがわかりません: ..." when neither has one.
std::string homeDir();

// $XDG_DATA_HOME/munyaro/, or homeDir() + .local/share/munyaro/ when that is unset or not absolute.
// Throws homeDir's error.
std::string userDataDir();

// The data files shipped with the program: share/munyaro/ of its installation, or, for a copy whose
// materia/ beside it may not be written (read-only media), the program's own folder.
std::string shippedDataDir(const std::string& programDir);

// Makes dir a data folder at the first start: materia/ and logs/ copied from shipped (files readable
// by the user only, folders created 0700). A dir that has its materia/ already is left as it is,
// so a later start never overwrites what the user changed. materia/ appears at once and whole, so an
// interrupted first start is done again at the next one. Throws the create or open error.
void createDataDir(const std::string& dir, const std::string& shipped);

// The path of a data file in materia/, for example materiaFile("setup.ini"): the one place that
// says where those files are.
std::string materiaFile(std::string_view name);
// The folder materia/ itself, without a final "/".
std::string materiaDir();

}  // namespace common
