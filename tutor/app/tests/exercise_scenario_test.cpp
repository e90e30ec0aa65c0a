// The whole road in the real program, driven through real input: the menu's exercises button,
// a course lesson chosen with a double click, typed with three errors on an injected clock, the
// results screen, back to the selection and to the menu. Pictures of the lesson screen and the
// results screen are taken with the installation's own pictures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "controls/vxbutton.h"
#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "platform/gui/testing.h"
#include "tutor/app/MainForm.h"
#include "tutor/app/ResultsForm.h"
#include "tutor/app/SelectForm.h"
#include "tutor/app/StdLesson.h"
#include "tutor/app/TypingTable.h"
#include "tutor/app/tests/scenario.h"

namespace {

using namespace scenario;

uint32_t FakeNow = 5000;
uint32_t FakeTick() { return FakeNow; }

TEST(ExerciseScenario, LogonExercisesLessonResultsAndBackToTheMenu) {
  TInstallFolder Folder;
  for (const char* Name : {"interface.zlb", "keyboards.zlb", "sounds.zlb", "vx.zlb"}) {
    const std::string Built = std::string(VX_DIST_DIR) + "/" + Name;
    if (!std::filesystem::exists(Built)) GTEST_SKIP() << "the installation has not been built: " << Built;
    std::filesystem::copy_file(Built, Folder.Path() + Name, std::filesystem::copy_options::overwrite_existing);
  }
  std::filesystem::copy(std::string(VX_DIST_DIR) + "/help", Folder.Path() + "help",
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  std::filesystem::create_directories(Folder.Path() + "courses/full");
  std::ofstream(Folder.Path() + "courses/full/l_01.txt", std::ios::binary)
      << "#title=Lekcja pr\xF3\x62na\r\nasdf jkl;\r\nfdsa ;lkj\r\n";
  const int S = Folder.AddStudent("Ala", -1, "W");
  const std::string Out = VX_TEST_OUTPUT_DIR;
  TRunOptions O;
  O.Settings = {{"Options", "ShowLogonAtStartup", "0"},
                {"Options", "ShowHintAtStartup", "0"},
                {"Options", "LastID_STUDENT", std::to_string(S)},
                {"Options", "LastID_GROUP", "-1"}};
  O.Before = [] {
    RegisterExercisePages();
    SetTickSource(FakeTick);
  };
  auto Lesson = [] { return dynamic_cast<TStdLessonForm*>(VisibleForm("TStdLessonForm")); };
  auto Select = [] { return dynamic_cast<TSelectForm*>(VisibleForm("TSelectForm")); };
  auto Results = [] { return dynamic_cast<TResultsForm*>(VisibleForm("TResultsForm")); };
  O.Steps = {
      WaitForMenu(),
      {"exercises", nullptr, [] { ClickSkin(dynamic_cast<TMainForm*>(VisibleForm("TMainForm"))->ExercisesBtn); }},
      {"the selection", [Select] { return Select() != nullptr; },
       [Select, Out] {
         TSelectForm* F = Select();
         vxtest::Pump(8);
         SCN_CHECK(vxtest::SaveGrabPng(Application->MainForm(), Out + "/selection_installed.png"));
         F->ShowTab(1);
         vxtest::Pump(8);
         SCN_CHECK(vxtest::SaveGrabPng(Application->MainForm(), Out + "/selection_generator_installed.png"));
         F->ShowTab(0);
         SCN_CHECK_EQ(F->ListBox1->Count(), 1);
         const TRect R = F->ListBox1->ItemRect(0);
         vxtest::DoubleClick(F->ListBox1, R.Left + 5, (R.Top + R.Bottom) / 2);
       }},
      {"the lesson", [Lesson] { return Lesson() != nullptr; },
       [Lesson, Out] {
         TTypingTable* T = Lesson()->Table;
         SCN_CHECK(vxtest::HasFocus(T));
         auto Type = [T](const std::string& Keys) {
           for (char C : Keys) {
             FakeNow += 200;
             if (C == '\n') vxtest::KeyStroke(T, VK_RETURN, "\r");
             else if (C == ';') vxtest::KeyStroke(T, VK_OEM_1, ";");
             else vxtest::TypeText(T, std::string(1, C));
           }
         };
         Type("asxf jkz;\nfdsa ;l");
         Lesson()->Timer1Timer(nullptr);
         vxtest::Pump(8);
         SCN_CHECK(vxtest::SaveGrabPng(Application->MainForm(), Out + "/lesson_screen_installed.png"));
         Type("kq\n");
       }},
      {"the results", [Results] { return Results() != nullptr; },
       [Results, Out] {
         vxtest::Pump(8);
         SCN_CHECK(vxtest::SaveGrabPng(Application->MainForm(), Out + "/results_screen_installed.png"));
         TResultsForm* R = Results();
         SCN_CHECK_EQ(Cp1250ToUtf8(R->LabelAccuracy->Caption()), std::string("84,21 %"));
         SCN_CHECK_EQ(R->LabelErrors->Caption(), std::string("3"));
         SCN_CHECK_EQ(R->LabelDuration->Caption(), std::string("00 min, 04 sec"));
         ClickSkin(R->BtnClose);
       }},
      {"back at the selection", [Select] { return Select() != nullptr; },
       [Select] { ClickSkin(Select()->BtnMenu); }},
      WaitForMenu(),
      {"close", nullptr, [] { ClickSkin(dynamic_cast<TMainForm*>(VisibleForm("TMainForm"))->CloseBtn); }},
  };
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  const auto P = Folder.Rows("practice", "ID_STUDENT;COUNT;ERRORS;DESC;PARAMETERS;FILENAME");
  ASSERT_EQ(P.size(), 1u);
  EXPECT_EQ(Cp1250ToUtf8(P[0]), std::to_string(S) + "|19|3|Lekcja próbna|Lekcje kursu|l_01.txt");
  EXPECT_EQ(Folder.Rows("netstat", "ID_STUDENT").size(), 10u);
}

}  // namespace
