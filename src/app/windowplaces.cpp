// Where each window was last.
#include "app/windowplaces.h"

#include <charconv>
#include <sstream>

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include "common/apperror.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "common/stringlist.h"

namespace places {

namespace {

// Sizes beyond any screen are no place a window was left at.
constexpr int kLimit = 100000;

bool number(std::string_view field, int& out) {
    const char* end = field.data() + field.size();
    const auto [p, error] = std::from_chars(field.data(), end, out);
    return error == std::errc() && p == end && out > -kLimit && out < kLimit;
}

// Writes the window's place when it is hidden, and when the program ends while it is shown.
class Keeper : public QObject {
public:
    explicit Keeper(QWidget* window) : QObject(window), window_(window) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            if (window_->isVisible()) save(window_);
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Hide && !window_->isMinimized()) save(window_);
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* window_;
};

}  // namespace

Places parse(std::string_view text) {
    Places out;
    for (const std::string& line : common::splitLines(text)) {
        std::istringstream in(line);
        std::string name, fields[5];
        in >> name >> fields[0] >> fields[1] >> fields[2] >> fields[3] >> fields[4];
        Place p;
        int maximised = 0;
        if (name.empty() || !number(fields[0], p.x) || !number(fields[1], p.y) || !number(fields[2], p.width) ||
            !number(fields[3], p.height) || !number(fields[4], maximised) || p.width <= 0 || p.height <= 0 ||
            (maximised != 0 && maximised != 1))
            continue;
        p.maximised = maximised == 1;
        out[name] = p;
    }
    return out;
}

std::string format(const Places& places) {
    std::string out;
    for (const auto& [name, p] : places)
        out += name + ' ' + std::to_string(p.x) + ' ' + std::to_string(p.y) + ' ' + std::to_string(p.width) + ' ' +
               std::to_string(p.height) + ' ' + (p.maximised ? '1' : '0') + "\r\n";
    return out;
}

void rewriteLocked(const std::string& file, const std::function<std::string(const std::string&)>& change) {
    const common::FileLock lock(file);
    std::string current;
    try {
        current = common::readWholeFile(file);
    } catch (const common::AppError&) {
        // None yet (or unreadable): it is written afresh.
    }
    common::writeFileAtomic(file, change(current));
}

void remember(QWidget* window) {
    const std::string name = window->objectName().toStdString();
    Places known;
    try {
        known = parse(common::readWholeFile(common::materiaFile(kFile)));
    } catch (const common::AppError&) {
    }
    if (const auto it = known.find(name); it != known.end()) {
        const Place& p = it->second;
        window->setGeometry(p.x, p.y, p.width, p.height);  // a fixed-size window keeps its size
        if (p.maximised) window->setWindowState(window->windowState() | Qt::WindowMaximized);
    }
    window->installEventFilter(new Keeper(window));
}

void save(QWidget* window) {
    const std::string name = window->objectName().toStdString();
    const bool maximised = window->isMaximized();
    const QRect normal = maximised || window->isMinimized() ? window->normalGeometry() : window->geometry();
    if (normal.isEmpty() || name.empty() || name.find_first_of(" \t\r\n") != std::string::npos) return;
    const Place place{normal.x(), normal.y(), normal.width(), normal.height(), maximised};
    // Where the window was is a convenience: a data folder that cannot be written must not stop anything.
    try {
        rewriteLocked(common::materiaFile(kFile), [&](const std::string& current) {
            Places all = parse(current);
            all[name] = place;
            return format(all);
        });
    } catch (const common::AppError&) {
    }
}

}  // namespace places
