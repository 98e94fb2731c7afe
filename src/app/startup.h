// Start-up: the program's font and directory, the six windows, the start mode, the message loop.
#pragma once
#include <memory>
#include <string>

#include <QFont>

class QApplication;
class QWidget;
class TDomein;
class TFTP;
class TForm1;
class TForm2;
class TUTF;
class TVersionINFO;

// "ＭＳ Ｐゴシック" 9 pt where the system has it, else the free IPA P Gothic.
QFont programFont();

// The six windows, created once in this order and kept until the program ends.
struct Windows {
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TVersionINFO> versionInfo;
    std::unique_ptr<TDomein> domein;
    std::unique_ptr<TUTF> utf;
    std::unique_ptr<TFTP> ftp;
    Windows();
    ~Windows();  // the FTP dialog goes first, the main window last
};

// Creates the windows and runs each creation handler; an error there is shown and creation goes on.
std::unique_ptr<Windows> createWindows();

// The first line of materia/setup.ini (relative to the current directory), empty for an empty file.
// A file that cannot be read throws its open error.
std::string readStartMode();

// Shows the windows as the start mode asks: "ftp" the main window first, the FTP dialog always,
// "local" the open-local-log command at once. Other values add nothing.
void applyStartMode(Windows& windows, const std::string& mode);

// Puts dialog in front of over, centred on it unless not centre, and makes it the active window.
void bringForward(QWidget* dialog, QWidget* over, bool centre);

// The program's data folder (see common::locateDataDir), made at the first start of an installed
// program; a failure there is shown, and start-up goes on to report the missing files.
std::string prepareDataDir(const std::string& programDir);

// The whole start-up in dir (the data folder, made the current directory so that materia/ and logs/
// are the ones there wherever the program was started from) and the message loop; the exit status of
// the program. A logFile given is analysed at start instead of applying the start mode.
int startUp(QApplication& app, const std::string& dir, const std::string& logFile = {});
