#include "common/programdir.h"

#include <gtest/gtest.h>

TEST(DataDir, DataFilesAreNamedInMateriaOfTheDataFolder) {
    EXPECT_EQ(common::materiaFile("setup.ini"), "materia/setup.ini");  // unset: the current directory
    common::setDataDir("/home/u/.local/share/munyaro");
    EXPECT_EQ(common::dataDir(), "/home/u/.local/share/munyaro/");
    EXPECT_EQ(common::materiaFile("DomeinList.dat"), "/home/u/.local/share/munyaro/materia/DomeinList.dat");
    common::setDataDir("/opt/m/");
    EXPECT_EQ(common::materiaFile("x"), "/opt/m/materia/x");
    common::setDataDir("");
    EXPECT_EQ(common::materiaFile("x"), "materia/x");
}

TEST(ProgramDir, IsTheTestsOwnFolder) {
    EXPECT_EQ(common::programDir(), std::string(MUNYARO_BIN_DIR) + "/");
}
