// Shared by the window tests: the program's font, a scratch program directory and the worked example.
#pragma once
#include <string>

#include "support/modalboxes.h"
#include "support/tempdir.h"

namespace apptest {

// The program's font, as start-up sets it.
void useProgramFont();
// As the first member of a fixture: the font is set before any window of the fixture is made.
struct ProgramFont {
    ProgramFont() { useProgramFont(); }
};

// A fresh directory made the current one for the test's lifetime, with materia/ holding the three
// lists (and the shipped setup and FTP settings) and an empty logs/.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return dir_.path(); }
    // Writes bytes to a path relative to the directory; returns the full path.
    std::string write(const std::string& relative, const std::string& bytes) const;
    void remove(const std::string& relative) const;

private:
    std::string previous_;
    TempDir dir_;
};

// The lists of the worked example: own domain "mysite", robot string "Bot/", watched "10.0.0.3".
void writeExampleLists(const ScratchDir& dir);
// The four lines of the worked example, CR LF after each.
std::string exampleLog();

// UTF-8 text written in the tests as the code page 932 bytes the program holds.
std::string sjis(const char* utf8);

}  // namespace apptest
