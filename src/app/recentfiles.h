// The logs opened last, newest first, kept in a file of their own beside the other data files.
#pragma once
#include <string>
#include <vector>

namespace recent {

inline constexpr std::size_t kMax = 8;
inline constexpr const char* kFile = "RecentFiles.dat";  // in materia/ (common::materiaFile)

// The paths in the file, one a line; a missing or unreadable file is an empty list.
std::vector<std::string> load(const std::string& file);
// path moved (or put) to the front; an older copy is dropped and the list cut to kMax.
std::vector<std::string> add(std::vector<std::string> list, const std::string& path);
// Another window may have changed the file since this one read it: these change the list as the file
// holds it now (common::updateSharedFile: locked, never half written) and return the list saved.
// Errors propagate.
std::vector<std::string> remember(const std::string& file, const std::string& path);
std::vector<std::string> forget(const std::string& file, const std::string& path);

}  // namespace recent
