#include "tutor/app/tests/course_screens_fixture.h"

#include <fstream>
#include <iterator>

#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "platform/gui/testing.h"
#include "tutor/OptionsReg.h"
#include "tutor/app/SkinParts.h"
#include "tutor/core/DataModule.h"
#include "tutor/translations.h"

namespace {

// Pictures of the screens: plain backgrounds, and buttons whose up and disabled states differ.
std::string TestPictures() {
  std::vector<TTestMember> P;
  for (const char* Page : {"stat_bcg", "options_bcg", "certificate_bcg", "studing_bcg", "scenario_bcg"})
    P.emplace_back(std::string(Page) + ".bmp", MakeTestBmp(800, 600, 0x7D3200, false));
  for (const char* B : {"BtnLeft", "BtnRight", "BtnOK", "BtnHelp", "BtnCancel", "BtnPrint", "BtnStart", "BtnMenu",
                        "BtnCourses"}) {
    const std::string N = B;
    const int W = N == "BtnLeft" || N == "BtnRight" ? 60 : 160;
    P.emplace_back(std::string(B) + "_up.bmp", MakeTestBmp(W, 46, 0x305070));
    P.emplace_back(std::string(B) + "_down.bmp", MakeTestBmp(W, 46, 0x406080));
    P.emplace_back(std::string(B) + "_over.bmp", MakeTestBmp(W, 46, 0x305070));
    P.emplace_back(std::string(B) + "_disabled.bmp", MakeTestBmp(W, 46, 0x808080));
  }
  for (const char* T : {"BtpStSum", "BtpStCpm", "BtpStAcc", "BtpExerop", "BtpKeyb", "BtpScreen"}) {
    const int W = std::string(T).starts_with("BtpSt") ? 200 : 170;
    P.emplace_back(std::string(T) + "_out.bmp", MakeTestBmp(W, 44, 0x605040));
    P.emplace_back(std::string(T) + "_check.bmp", MakeTestBmp(W, 44, 0x40A0F0));
    P.emplace_back(std::string(T) + "_over.bmp", MakeTestBmp(W, 44, 0x706050));
    P.emplace_back(std::string(T) + "_overcheck.bmp", MakeTestBmp(W, 44, 0x50B0F0));
  }
  return MakeArchive(P, false);
}

}  // namespace

void CourseScreensTest::SetUp() {
  TInstallOptions O;
  O.SharedGroup = "1";
  Folder = std::make_unique<TInstallFolder>(O);
  SetProgramFolder(Folder->Path());
  FreePrgReg();
  PrgReg = new TPrgReg(Folder->IniPath());
  Translations->Lines().SetText(
      "results=wyniki\ncpm= zn./min\nSpace=Spacja\nEnter=Enter\nopcje=opcje\nscenario=kursy\ncertificate=certyfikat\n"
      "MSG012=Pe\xB3ny ekran?\nMSG013=Okno?\nCERT01a=uko\xF1\x63zy\xB3\nCERT02a=Pan\nCERT03a=osi\xB9gn\xB9\xB3\n"
      "CERT01b=uko\xF1\x63zy\xB3\x61\nCERT02b=Pani\nCERT03b=osi\xB9gn\xEA\xB3\x61\n");
  WriteBytes("pictures.zlb", TestPictures());
  Pictures = std::make_unique<TZLBArchive>();
  Pictures->OpenArchive(Folder->Path() + "pictures.zlb");
  SetScreenArchive(Pictures.get());
  WriteScenarioArchive({{"INDEX_01.SCN", "#TITLE=Kurs pierwszy\r\n#NOTE=courses/k1/note.htm\r\n@1~Lekcja 1\r\n"
                                          "1~Strona~HTML|courses/k1/w1.htm\r\n"}});
  Student = Folder->AddStudent("Ala", 1, "W", 1);
  ScreenMessageHook = [this](const std::string& T) { Messages.push_back(T); };
  ScreenQuestionHook = [this](const std::string& T) {
    Messages.push_back(T);
    return true;
  };
}

void CourseScreensTest::OpenDataModule() {
  DM = new TDM(nullptr);
  DM->DBLocal = false;
  DM->DBPath = Folder->DataPath();
  DM->Open();
  ASSERT_EQ(DM->Logon(1, Student), 0);
  RegisterPageFactory(TPageId::Main, [] { return new TForm(nullptr); });
  Host = new TTestHost(nullptr);
  Host->Show();
  vxtest::Pump();
}

void CourseScreensTest::TearDown() {
  delete Host;
  Host = nullptr;
  vxtest::Pump();
  if (DM) {
    DM->Close();
    delete DM;
    DM = nullptr;
  }
  ScreenMessageHook = nullptr;
  ScreenQuestionHook = nullptr;
  SetScreenArchive(nullptr);
  Pictures.reset();
  FreePrgReg();
  SetProgramFolder("");
}

bool CourseScreensTest::UseShippedPictures() {
  const std::string Shipped = std::string(VX_DIST_DIR) + "/interface.zlb";
  if (!FileExists(Shipped)) return false;
  Pictures = std::make_unique<TZLBArchive>();
  Pictures->OpenArchive(Shipped);
  SetScreenArchive(Pictures.get());
  return true;
}

void CourseScreensTest::WriteBytes(const std::string& RelativePath, const std::string& Bytes) const {
  const std::string P = Folder->Path() + RelativePath;
  ForceDirectories(ExtractFilePath(P));
  std::ofstream(P, std::ios::binary | std::ios::trunc) << Bytes;
}

std::string CourseScreensTest::ReadBytes(const std::string& RelativePath) const {
  std::ifstream In(Folder->Path() + RelativePath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

void CourseScreensTest::WriteScenarioArchive(const std::vector<std::pair<std::string, std::string>>& Scripts) const {
  std::vector<TTestMember> M;
  for (const auto& [Name, Text] : Scripts) M.emplace_back(Name, Text);
  WriteBytes("scenario.zlb", MakeArchive(M, false));
}

std::string CourseScreensTest::Text(const TLabel* L) { return Cp1250ToUtf8(L->Caption()); }

std::string CourseScreensTest::OutputPath(const std::string& Name) { return std::string(VX_TEST_OUTPUT_DIR) + "/" + Name; }
