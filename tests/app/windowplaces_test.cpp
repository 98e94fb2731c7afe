// Where the windows were: written when a window is hidden, read back by the next start, merged with
// what another running copy wrote, kept on the screen.
#include "app/windowplaces.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/tform1.h"
#include "common/fileio.h"
#include "support.h"

namespace {

class WindowPlacesTest : public ::testing::Test {
protected:
    apptest::ProgramFont font_;
    apptest::ScratchDir dir;
};

std::string placesFile() { return common::readWholeFile("materia/window.ini"); }

TEST_F(WindowPlacesTest, TheMainWindowOpensWhereItWasLeftMaximisedOrNot) {
    {
        TForm1 form;
        places::remember(&form);
        EXPECT_EQ(form.size(), QSize(462, 491)) << "nothing remembered yet: the first start's size";
        showWindow(&form);
        form.setGeometry(40, 50, 520, 500);
        form.close();
    }
    EXPECT_EQ(places::parse(placesFile()).at("Form1"), (places::Place{40, 50, 520, 500, false}));
    {
        TForm1 form;
        places::remember(&form);
        EXPECT_EQ(form.geometry(), QRect(40, 50, 520, 500));
        showWindow(&form);
        form.showMaximized();
        form.close();
    }
    // Maximised, the size it had before is kept for when it is made normal again.
    EXPECT_EQ(places::parse(placesFile()).at("Form1"), (places::Place{40, 50, 520, 500, true}));
    TForm1 form;
    places::remember(&form);
    showWindow(&form);
    EXPECT_TRUE(form.isMaximized());
    form.showNormal();
    EXPECT_EQ(form.size(), QSize(520, 500));
}

TEST_F(WindowPlacesTest, AnotherCopysWindowsStayAndAPlaceOffTheScreenComesBack) {
    // Written by a second copy of the program after this one read the file.
    QWidget window;
    window.setObjectName("Domein");
    places::remember(&window);
    dir.write("materia/window.ini", "UTF 1 2 300 200 0\r\ngarbage line\r\nFTP 1 2 -5 9 0\r\n");
    window.setGeometry(9000, 9000, 404, 270);
    showWindow(&window);
    const QRect area = window.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(window.geometry())) << "on screen, as every window is shown";
    window.hide();
    const places::Places saved = places::parse(placesFile());
    EXPECT_EQ(saved.size(), 2u) << "the damaged lines are dropped";
    EXPECT_EQ(saved.at("UTF"), (places::Place{1, 2, 300, 200, false}));
    EXPECT_EQ(saved.at("Domein").width, 404);
    EXPECT_EQ(places::format(saved), placesFile());

    // A folder that cannot be written keeps the window going, only its place is not kept.
    dir.remove("materia/window.ini");
    std::filesystem::remove_all(dir.path() + "/materia");
    showWindow(&window);
    window.hide();
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/materia/window.ini"));
}

}  // namespace
