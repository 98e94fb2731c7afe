// Where each window was last: size, place and whether it was maximised, kept in materia/window.ini
// (one line a window: "Form1 x y width height maximised"), so that the program opens as it was left.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <string_view>

class QWidget;

namespace places {

inline constexpr const char* kFile = "window.ini";  // in materia/ (common::materiaFile)

// A window's normal (not maximised) client area on the screen, and its state.
struct Place {
    int x = 0, y = 0, width = 0, height = 0;
    bool maximised = false;
    friend bool operator==(const Place&, const Place&) = default;
};
using Places = std::map<std::string, Place, std::less<>>;

// The lines that read as a place; any other line is left out (a damaged file is a fresh start).
Places parse(std::string_view text);
std::string format(const Places& places);

// Rewrites a settings file that two running copies of the program may both write: under the
// directory's lock, change gets the file as it is now (empty when there is none) and its answer
// replaces the file atomically. Errors propagate.
void rewriteLocked(const std::string& file, const std::function<std::string(const std::string&)>& change);

// Sets the window to its remembered place, if any, and from then on remembers where it is whenever
// it is hidden (closed) and when the program ends. keepOnScreen still applies when it is shown.
void remember(QWidget* window);
// Writes the window's place now (a window never shown is not written).
void save(QWidget* window);

}  // namespace places
