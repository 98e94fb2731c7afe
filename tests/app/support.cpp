// Shared by the window tests.
#include "support.h"

#include <filesystem>

#include <QApplication>

#include "app/startup.h"
#include "common/cp932.h"

namespace apptest {

namespace fs = std::filesystem;

void useProgramFont() { QApplication::setFont(programFont()); }

ScratchDir::ScratchDir() : previous_(fs::current_path().string()) {
    fs::create_directories(fs::path(path()) / "materia");
    fs::create_directories(fs::path(path()) / "logs");
    for (const char* f : {"setup.ini", "FTPSetting.dat", "DomeinList.dat", "CheckDomeinList.dat", "SERobotsList.dat"})
        fs::copy_file(fs::path(MUNYARO_SOURCE_DIR) / "materia" / f, fs::path(path()) / "materia" / f);
    fs::current_path(path());
}

// Leaves the directory before it is removed.
ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
}

std::string ScratchDir::write(const std::string& relative, const std::string& bytes) const {
    return dir_.file(relative, bytes);
}

void ScratchDir::remove(const std::string& relative) const { fs::remove(fs::path(path()) / relative); }

void writeExampleLists(const ScratchDir& dir) {
    dir.write("materia/DomeinList.dat", "mysite\r\n");
    dir.write("materia/SERobotsList.dat", "Bot/\r\n");
    dir.write("materia/CheckDomeinList.dat", "10.0.0.3\r\n");
}

std::string exampleLog() {
    return "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /index.html HTTP/1.1\" 200 2326 \"/links.html\" "
           "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"\r\n"
           "10.0.0.2 - - [10/Oct/2004:13:56:01 +0900] \"GET /robots.txt HTTP/1.0\" 404 210 \"-\" \"ExampleBot/1.0\"\r\n"
           "10.0.0.1 - - [10/Oct/2004:14:02:10 +0900] \"POST /cgi-bin/form.cgi HTTP/1.1\" 200 512 \"/index.html\" "
           "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"\r\n"
           "10.0.0.3 - - [10/Oct/2004:14:05:00 +0900] \"GET /favicon.ico HTTP/1.1\" 403 0 \"-\" "
           "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"\r\n";
}

std::string sjis(const char* utf8) { return common::cp932FromUtf8(utf8); }

}  // namespace apptest
