#include "tutor/OptionsReg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tutor/fmELog.h"
#include "tutor/tests/test_archive.h"

namespace {

TEST(OptionsRegTest, GlobalStoreLivesInTheUsersConfigFolderAndNamesItsStep) {
  TTempDir Dir;
  const char* Old = std::getenv("XDG_CONFIG_HOME");
  const std::string Saved = Old ? Old : "";
  setenv("XDG_CONFIG_HOME", Dir.Path().c_str(), 1);
  ASSERT_NE(ELogger, nullptr);
  ELogger->SetSection("before");
  TPrgReg* Reg = CreatePrgReg();
  EXPECT_EQ(Reg, PrgReg);
  EXPECT_EQ(ELogger->Section(), "TPrgReg.Create");
  EXPECT_EQ(Reg->FileName(), Dir.Path() + "/Velmora/VX2.ini");
  // Defaults at every read; what is written is read back by a fresh store.
  EXPECT_TRUE(PrgReg->ReadBool("DbOptions", "DBLocal", true));
  EXPECT_EQ(PrgReg->ReadString("DbOptions", "DBPath", "data"), "data");
  EXPECT_TRUE(PrgReg->WriteInteger("Options", "LastID_STUDENT", 42));
  CreatePrgReg();
  EXPECT_EQ(PrgReg->ReadInteger("Options", "LastID_STUDENT", -1), 42);
  FreePrgReg();
  EXPECT_EQ(PrgReg, nullptr);
  if (Old)
    setenv("XDG_CONFIG_HOME", Saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
