#include "tutor/core/tests/install_fixture.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "dbengine/sql/vxdb_query.h"
#include "dbengine/storage/components/vxdb_session.h"
#include "dbengine/storage/components/vxdb_table.h"
#include "tools/vxdb-create/vxdb_schema.h"
#include "tutor/core/ResourceNames.h"

namespace {

// CP1250 texts; the Polish letters where a test looks at them.
const std::map<std::string, std::string>& Messages() {
  static const std::map<std::string, std::string> M = {
      {"AppCaptionDemo", "Zorbelin 2 test"},
      {"MSG001", "Ekran jest za w\xB9ski."},
      {"MSG004", "Nie mo\xBFna usun\xB9\xE6 ostatniego ucznia."},
      {"MSG005", "Usun\xB9\xE6 ucznia?"},
      {"MSG006", "Usuwanie wy\xB3\xB9\x63zone."},
      {"MSG007", "Dodawanie wy\xB3\xB9\x63zone."},
      {"MSG008", "Nie uda\xB3o si\xEA zalogowa\xE6 ucznia."},
      {"MSG011", "Lista uczni\xF3w jest pusta."},
      {"MSG014", "Nie wybrano grupy."},
      {"MSG015", "Ten ucze\xF1 pracuje teraz na innym komputerze."},
      {"ERR001", "Ucze\xF1 jest ju\xBF zalogowany."},
      {"ERR002", "Nie znaleziono katalogu bazy danych: %s"},
      {"HQSite", "https://zorbelin.example.org/"},
      {"menu", "menu g\xB3\xF3wne"},
      {"help", "pomoc"},
      {"exercises", "\xE6wiczenia"},
      {"scenario", "kurs"},
      {"About", "O programie"},
      {"Information", "Informacja"},
      {"Confirm", "Potwierdzenie"},
      {"Warning", "Ostrze\xBF\x65nie"},
      {"Error", "B\xB3\xB9\x64"},
      {"OK", "OK"},
      {"Yes", "Tak"},
      {"No", "Nie"},
      {"Abort", "Przerwij"},
      {"Cancel", "Anuluj"},
  };
  return M;
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
  std::ofstream(Path, std::ios::binary) << Bytes;
}

// The picture members the host and the menu, tip, help and logon dialogs read, with their sizes.
std::vector<TTestMember> InterfacePictures() {
  std::vector<TTestMember> P;
  auto Add = [&](const std::string& Name, int W, int H, unsigned Color) {
    P.emplace_back(Name, MakeTestBmp(W, H, Color));
  };
  Add("main_bcg.bmp", 800, 600, 0x7D3200);
  const char* Buttons[] = {"BtlCourse", "BtlExercises", "BtlGames",  "BtlResults", "BtlOptions",
                           "BtnStudents", "BtnHelp",    "BtnAbout", "BtnSite",    "BtnExit"};
  unsigned Shade = 0x406080;
  int Index = 0;
  for (const char* B : Buttons) {
    const int W = Index < 5 ? 250 : 160, H = Index < 5 ? 60 : 46;  // large menu buttons, then standard ones
    Add(std::string(B) + "_up.bmp", W, H, Shade);
    Add(std::string(B) + "_down.bmp", W, H, Shade + 0x101010);
    Add(std::string(B) + "_over.bmp", W, H, Shade + 0x202020);
    Add(std::string(B) + "_disabled.bmp", W, H, 0x808080);
    Shade += 0x080808;
    ++Index;
  }
  for (int I = 0; I < 10; ++I) Add("MainHint" + std::to_string(I) + ".bmp", 380, 300, 0x203040 + 0x101010u * I);
  Add("MainHintX.bmp", 380, 300, 0x000000);
  Add("instruction_bcg.bmp", 540, 400, 0x7D3200);
  Add("popuphelp_bcg.bmp", 600, 450, 0x7D3200);
  Add("help_bcg.bmp", 800, 600, 0x7D3200);
  Add("students_bcg.bmp", 520, 360, 0x208020);
  for (const char* B : {"BtnOK", "BtnHelp", "BtnCancel"}) {
    Add(std::string(B) + "_up.bmp", 160, 46, 0x305070);
    Add(std::string(B) + "_down.bmp", 160, 46, 0x406080);
    Add(std::string(B) + "_over.bmp", 160, 46, 0x507090);
  }
  for (const char* B : {"NewStudentBtn", "DeleteStudentBtn", "HelpStudentBtn", "OKStudentBtn", "CancelStudentBtn"}) {
    Add(std::string(B) + "_up.bmp", 150, 46, 0x305070);
    Add(std::string(B) + "_down.bmp", 150, 46, 0x406080);
    Add(std::string(B) + "_over.bmp", 150, 46, 0x507090);
  }
  return P;
}

std::string MessagesText() {
  std::string T;
  for (const auto& [Id, Text] : Messages()) T += Id + "=" + Text + "\r\n";
  return T;
}

int gFixtureSessions = 0;

struct TFixtureDb {
  explicit TFixtureDb(const std::string& Dir) {
    Owner = std::make_unique<TComponent>(nullptr);
    Session = new TVXDBSession(Owner.get());
    Session->SetSessionName("InstallFixture" + std::to_string(++gFixtureSessions));
    Session->SetLanguageID(1045);
    Database = new TVXDBDatabase(Owner.get());
    Database->SetSessionName(Session->SessionName());
    Database->SetDatabaseName("fixture");
    Database->SetDirectory(Dir);
  }
  std::unique_ptr<TComponent> Owner;
  TVXDBSession* Session;
  TVXDBDatabase* Database;
};

}  // namespace

std::string MakeTestBmp(int Width, int Height, unsigned Color, bool Corner) {
  const int Row = (Width * 3 + 3) & ~3;
  std::string B(54 + static_cast<std::size_t>(Row) * Height, '\0');
  auto Put32 = [&](std::size_t At, uint32_t V) { PutU32(B, At, V); };
  B[0] = 'B';
  B[1] = 'M';
  Put32(2, static_cast<uint32_t>(B.size()));
  Put32(10, 54);
  Put32(14, 40);
  Put32(18, static_cast<uint32_t>(Width));
  Put32(22, static_cast<uint32_t>(Height));
  B[26] = 1;
  B[28] = 24;
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width; ++X) {
      const std::size_t At = 54 + static_cast<std::size_t>(Y) * Row + X * 3;
      const bool Green = Corner && X == 0 && Y == 0;  // rows go bottom up: row 0 is the bottom row
      B[At] = static_cast<char>(Green ? 0 : (Color >> 16) & 0xFF);
      B[At + 1] = static_cast<char>(Green ? 0xFF : (Color >> 8) & 0xFF);
      B[At + 2] = static_cast<char>(Green ? 0 : Color & 0xFF);
    }
  return B;
}

std::string TInstallFolder::Message(const std::string& Id) {
  auto It = Messages().find(Id);
  return It == Messages().end() ? Id : It->second;
}

TInstallFolder::TInstallFolder(const TInstallOptions& Options) : FPath(FDir.Path() + "/") {
  std::vector<TTestMember> Interface = InterfacePictures();
  Interface.emplace_back(vx::res::kMessagesMember, MessagesText());
  Interface.emplace_back(vx::res::kTranslationMember,
                         "[MainForm]\r\n[HintForm]\r\nPrevButton.Caption=Poprzednia\r\nNextButton.Caption=Nast\xEApna\r\n"
                         "ShowAtStartupCheckBox.Caption=Pokazuj przy starcie\r\nHintForm.Caption=Porada\r\n"
                         "[HelpForm]\r\n[LogonForm]\r\n");
  WriteFile(FPath + vx::res::kInterfaceArchive, MakeArchive(Interface, false));
  WriteFile(FPath + vx::res::kVxArchive,
            MakeArchive({{vx::res::kLevelsMember, "[levels]\r\n"}, {vx::res::kWordsMember, "ala\r\nma\r\nkota\r\n"}}, false));
  WriteFile(FPath + vx::res::kKeyboardsArchive, MakeArchive({{vx::res::kKeyboardsMember, ""}}, false));
  // The bomber's configuration and one town: the host loads the town list at start-up.
  WriteFile(FPath + vx::res::kBomberArchive,
            MakeArchive({{vx::res::kBomberConfigMember,
                          "TownLibMask=bomber\\towns\\*.zlb\r\nTownInfoFile=info.txt\r\nDefTown=town1.zlb\r\n"},
                         {vx::res::kBomberLevelsMember, ""}},
                        false));
  WriteFile(FPath + "bomber/towns/town1.zlb", MakeArchive({{"info.txt", "name=Miasto\r\nGround=480\r\n"}}, false));
  if (Options.Hints) {
    std::vector<TTestMember> Tips;
    for (int I = 1; I <= Options.Tips; ++I)
      Tips.emplace_back("tip" + std::to_string(I) + ".htm",
                        "<html><body><p>Porada numer " + std::to_string(I) + "</p></body></html>");
    WriteFile(FPath + vx::res::kHintsArchive, MakeArchive(Tips, false));
  }
  if (Options.Help) {
    WriteFile(FPath + "help/index.htm", "<html><body><h1>Pomoc</h1><p>Spis tre\xB6\x63i</p></body></html>");
    WriteFile(FPath + "help/about.htm", "<html><body><p>Zorbelin 2</p></body></html>");
    WriteFile(FPath + "help/help_logon.htm", "<html><body><p>Logowanie</p></body></html>");
  }
  if (Options.Data) {
    TVXDatabaseOptions D;
    D.SharedGroup = Options.SharedGroup;
    CreateVXDatabase(DataPath(), D);
    for (const auto& [Param, Value] : Options.Config) {
      std::vector<std::string> S = {"DELETE FROM config WHERE PARAM = '" + Param + "'"};
      if (!Value.empty()) S.push_back("INSERT INTO config (PARAM, [VALUE]) VALUES ('" + Param + "', '" + Value + "')");
      Exec(S);
    }
  }
}

TInstallFolder::~TInstallFolder() = default;

void TInstallFolder::Exec(const std::vector<std::string>& Statements) const {
  TFixtureDb F(DataPath());
  auto* Q = new TVXDBQuery(F.Owner.get());
  Q->SetSessionName(F.Session->SessionName());
  Q->SetDatabaseName("fixture");
  for (const std::string& S : Statements) {
    Q->SQL()->SetText(S);
    Q->ExecSQL();
  }
  Q->Close();
  F.Database->Close();
}

int TInstallFolder::AddStudent(const std::string& Name, int Group, const std::string& Sex, int Course) const {
  TFixtureDb F(DataPath());
  auto* T = new TVXDBTable(F.Owner.get());
  T->SetSessionName(F.Session->SessionName());
  T->SetDatabaseName("fixture");
  T->SetTableName("student.DAT");
  T->Open();
  T->AppendRecord({Variant(), Group, Name, Course, Sex});
  const int Id = T->FieldByName("ID_STUDENT")->AsInteger();
  T->Close();
  F.Database->Close();
  return Id;
}

std::vector<std::string> TInstallFolder::Rows(const std::string& Table, const std::string& Fields) const {
  TFixtureDb F(DataPath());
  auto* T = new TVXDBTable(F.Owner.get());
  T->SetSessionName(F.Session->SessionName());
  T->SetDatabaseName("fixture");
  T->SetTableName(Table + ".DAT");
  T->SetReadOnly(true);
  T->Open();
  std::vector<TField*> List;
  T->GetFieldList(List, Fields);
  std::vector<std::string> R;
  for (T->First(); !T->Eof(); T->Next()) {
    std::string Row;
    for (std::size_t I = 0; I < List.size(); ++I) Row += (I ? "|" : "") + List[I]->AsString();
    R.push_back(Row);
  }
  T->Close();
  F.Database->Close();
  return R;
}
