// The installation folder, data module and test host that the tests of the statistics, options,
// certificate and course screens share.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gui/stdctrls.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/app/tests/exercise_road_host.h"
#include "tutor/core/tests/install_fixture.h"

// Colours of the skinned buttons' up and disabled pictures in the test archive.
inline constexpr TColor kUpColour = static_cast<TColor>(0x305070);
inline constexpr TColor kDisabledColour = static_cast<TColor>(0x808080);

class CourseScreensTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the data module on the folder's database, logs the student on and makes the host.
  void OpenDataModule();
  // Pictures from the archive the build ships instead of the test archive; false when the build
  // has none.
  bool UseShippedPictures();
  void WriteBytes(const std::string& RelativePath, const std::string& Bytes) const;
  std::string ReadBytes(const std::string& RelativePath) const;
  // scenario.zlb beside the program with these members.
  void WriteScenarioArchive(const std::vector<std::pair<std::string, std::string>>& Scripts) const;
  static std::string Text(const TLabel* L);
  static std::string OutputPath(const std::string& Name);
  std::vector<std::string> Rows(const std::string& T, const std::string& F) const { return Folder->Rows(T, F); }

  std::unique_ptr<TInstallFolder> Folder;
  std::unique_ptr<TZLBArchive> Pictures;
  int Student = -1;
  TTestHost* Host = nullptr;
  std::vector<std::string> Messages;
};
