// Shared by the window tests.
#include "support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <QApplication>
#include <QTimer>

#include "app/startup.h"
#include "common/cp932.h"

namespace apptest {

namespace fs = std::filesystem;

void useProgramFont() { QApplication::setFont(programFont()); }

ScratchDir::ScratchDir() : previous_(fs::current_path().string()) {
    std::string pattern = (fs::temp_directory_path() / "munyaro-app-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
    fs::create_directories(fs::path(path_) / "materia");
    fs::create_directories(fs::path(path_) / "logs");
    for (const char* f : {"setup.ini", "FTPSetting.dat", "DomeinList.dat", "CheckDomeinList.dat", "SERobotsList.dat"})
        fs::copy_file(fs::path(MUNYARO_SOURCE_DIR) / "materia" / f, fs::path(path_) / "materia" / f);
    fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::remove_all(path_, ec);
}

std::string ScratchDir::write(const std::string& relative, const std::string& bytes) const {
    const fs::path p = fs::path(path_) / relative;
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
    return p.string();
}

void ScratchDir::remove(const std::string& relative) const { fs::remove(fs::path(path_) / relative); }

void whileModal(const std::function<void()>& action, const std::function<void(QWidget*)>& handle) {
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) handle(modal);
    });
    timer.start();
    action();
    timer.stop();
}

std::vector<SeenBox> boxesShownBy(const std::function<void()>& action) {
    std::vector<SeenBox> seen;
    whileModal(action, [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        seen.push_back({box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())});
        box->done(QMessageBox::Ok);
    });
    return seen;
}

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
