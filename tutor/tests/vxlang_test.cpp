// The form translator: texts of a form's component tree from its section of translation.txt.
#include "tutor/VxLang.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/tests/gui_fixture.h"
#include "tutor/tests/test_archive.h"

namespace {

const char* const TranslationTxt =
    "[OtherForm]\r\n"
    "EnterBtn.Caption=Wrong section\r\n"
    "\r\n"
    "[LogonForm]\r\n"
    "enterbtn.caption=&Wejd\x9F\r\n"
    "EnterBtn.Hint=Zaloguj si\xEA\r\n"
    "Panel1.Button2.Caption=Drugi\r\n"
    "GroupList.Items= a , b ,c ,\r\n"
    "NameEdit.MaxLength=12\r\n"
    "NameEdit.Width=oops\r\n"
    "LogonForm.Caption=Logowanie\r\n"
    "EmptyLabel.Caption=\r\n"
    "Ghost.Caption=Nobody\r\n"
    "EnterBtn.Flavour=sweet\r\n";

class VxLangTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ArchiveFile = Dir.Write("interface.zlb", MakeArchive({TTestMember("translation.txt", TranslationTxt)}, true));
    Archive = new TZLBArchive(Application);
    Archive->OpenArchive(ArchiveFile);

    Form = new TForm(Application);
    Form->SetName("LogonForm");
    Form->SetCaption("Logon");
    EnterBtn = new TButton(Form);
    EnterBtn->SetName("EnterBtn");
    EnterBtn->SetParent(Form);
    EnterBtn->SetCaption("Enter");
    Panel1 = new TPanel(Form);
    Panel1->SetName("Panel1");
    Panel1->SetParent(Form);
    // Owned by the panel, so the path walks into the panel's components.
    Button2 = new TButton(Panel1);
    Button2->SetName("Button2");
    Button2->SetParent(Panel1);
    Button2->SetCaption("Second");
    GroupList = new TListBox(Form);
    GroupList->SetName("GroupList");
    GroupList->SetParent(Form);
    GroupList->Items()->Add("old");
    NameEdit = new TEdit(Form);
    NameEdit->SetName("NameEdit");
    NameEdit->SetParent(Form);
    NameEdit->SetMaxLength(5);
    EmptyLabel = new TLabel(Form);
    EmptyLabel->SetName("EmptyLabel");
    EmptyLabel->SetParent(Form);
    EmptyLabel->SetCaption("kept");

    Lang = new TVxLanguage(Form);
    Lang->SetLoading(true);
    Lang->SetArchive(Archive);
    Lang->SetLanguageFile("translation.txt");
    Lang->SetAutoTranslate(true);
  }
  void AddPaths(const std::vector<std::string>& Paths) {
    for (const auto& P : Paths) Lang->Properties()->Add(P);
  }

  TTempDir Dir;
  std::string ArchiveFile;
  TZLBArchive* Archive = nullptr;
  TForm* Form = nullptr;
  TButton* EnterBtn = nullptr;
  TPanel* Panel1 = nullptr;
  TButton* Button2 = nullptr;
  TListBox* GroupList = nullptr;
  TEdit* NameEdit = nullptr;
  TLabel* EmptyLabel = nullptr;
  TVxLanguage* Lang = nullptr;
};

std::vector<std::string> Items(TStrings* S) {
  std::vector<std::string> V;
  for (int i = 0; i < S->Count(); ++i) V.push_back(S->Strings(i));
  return V;
}

TEST_F(VxLangTest, EndOfLoadingTranslatesTheFormsSectionByPath) {
  AddPaths({"EnterBtn.Caption", "EnterBtn.Hint", "  Panel1.Button2.Caption  ", "GroupList.Items",
            "NameEdit.MaxLength", "LogonForm.Caption", "EmptyLabel.Caption", "Ghost.Caption", "EnterBtn.Flavour",
            "", "   "});
  EXPECT_EQ(Lang->Section(), "LogonForm");  // the owning form's name
  std::vector<std::string> Seen;
  Lang->OnBeforeTranslation = [&](TObject* S) { Seen.push_back(S == Lang ? "before" : "?"); };
  Lang->OnAfterTranslation = [&](TObject* S) { Seen.push_back(S == Lang ? "after" : "?"); };
  Lang->OnTranslate = [&](TObject*, TComponent* C, std::string& Value, const std::string& Old,
                          const std::string& Path) { Seen.push_back(C->Name() + "|" + Old + "|" + Value + "|" + Path); };
  EXPECT_EQ(EnterBtn->Caption(), "Enter");  // nothing happens before loading ends
  Lang->SetLoading(false);

  EXPECT_EQ(EnterBtn->Caption(), "&Wejd\x9F");
  EXPECT_EQ(EnterBtn->Hint(), "Zaloguj si\xEA");
  EXPECT_EQ(Button2->Caption(), "Drugi");
  EXPECT_EQ(Items(GroupList->Items()), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(NameEdit->MaxLength(), 12);
  EXPECT_EQ(Form->Caption(), "Logowanie");  // the form's own name names the form itself
  EXPECT_EQ(EmptyLabel->Caption(), "kept");  // empty value: unchanged
  // Unknown components and properties are skipped; OnTranslate sees every path that resolved.
  EXPECT_EQ(Seen, (std::vector<std::string>{
                      "before", "EnterBtn|Enter|&Wejd\x9F|EnterBtn.Caption", "EnterBtn||Zaloguj si\xEA|EnterBtn.Hint",
                      "Button2|Second|Drugi|Panel1.Button2.Caption", "GroupList|old|a , b ,c ,|GroupList.Items",
                      "NameEdit|5|12|NameEdit.MaxLength", "LogonForm|Logon|Logowanie|LogonForm.Caption",
                      "EnterBtn||sweet|EnterBtn.Flavour", "after"}));
}

TEST_F(VxLangTest, WithoutAutoTranslateLoadingEndsQuietlyAndTranslateRunsOnDemand) {
  AddPaths({"EnterBtn.Caption"});
  Lang->SetAutoTranslate(false);
  Lang->SetLoading(false);
  EXPECT_EQ(EnterBtn->Caption(), "Enter");
  Lang->Translate();
  EXPECT_EQ(EnterBtn->Caption(), "&Wejd\x9F");
}

TEST_F(VxLangTest, OnTranslateMayChangeTheValue) {
  AddPaths({"EnterBtn.Caption"});
  Lang->OnTranslate = [](TObject*, TComponent*, std::string& Value, const std::string&, const std::string&) {
    Value = "[" + Value + "]";
  };
  Lang->Translate();
  EXPECT_EQ(EnterBtn->Caption(), "[&Wejd\x9F]");
}

TEST_F(VxLangTest, AnInvalidIntegerRaisesTheConversionError) {
  AddPaths({"EnterBtn.Caption", "NameEdit.Width"});
  const int Width = NameEdit->Width();
  EXPECT_THROW(Lang->Translate(), EConvertError);
  EXPECT_EQ(NameEdit->Width(), Width);
  EXPECT_EQ(EnterBtn->Caption(), "&Wejd\x9F");  // lines before the bad one were applied
}

TEST_F(VxLangTest, MissingLanguageFileTranslatesNothingAndShowsNoError) {
  AddPaths({"EnterBtn.Caption", "Panel1.Button2.Caption"});
  struct TCase {
    const char* What;
    std::function<void()> Arrange;
  };
  const std::vector<TCase> Cases = {
      {"no such member", [&] { Lang->SetLanguageFile("language.txt"); }},
      {"no member name", [&] { Lang->SetLanguageFile(""); }},
      {"archive closed", [&] { Archive->CloseArchive(); }},
      {"no archive", [&] { Lang->SetArchive(nullptr); }},
      {"section missing", [&] { Lang->SetSection("NoSuchForm"); }},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    Archive->OpenArchive(ArchiveFile);
    Lang->SetArchive(Archive);
    Lang->SetLanguageFile("translation.txt");
    Lang->SetSection("");
    C.Arrange();
    int Events = 0;
    Lang->OnBeforeTranslation = [&](TObject*) { ++Events; };
    Lang->OnAfterTranslation = [&](TObject*) { ++Events; };
    EXPECT_NO_THROW(Lang->Translate());
    EXPECT_EQ(Events, 2);
    EXPECT_EQ(EnterBtn->Caption(), "Enter");
    EXPECT_EQ(Button2->Caption(), "Second");
  }
}

TEST_F(VxLangTest, SeparatorSplitsListValuesAndBlankRestoresTheComma) {
  const std::string Txt = "[LogonForm]\r\nGroupList.Items=x ; y;z;;  \r\nGroupList.Hint=a,b\r\n";
  TZLBArchive* Semi = new TZLBArchive(Application);
  Semi->OpenArchive(Dir.Write("semi.zlb", MakeArchive({TTestMember("translation.txt", Txt, true)}, false)));
  Lang->SetArchive(Semi);
  AddPaths({"GroupList.Items"});
  Lang->SetSeparator(";");
  Lang->Translate();
  EXPECT_EQ(Items(GroupList->Items()), (std::vector<std::string>{"x", "y", "z", ""}));
  for (const char* Blank : {"", "   "}) {
    Lang->SetSeparator(Blank);
    EXPECT_EQ(Lang->Separator(), ",");
  }
  Lang->Translate();
  EXPECT_EQ(Items(GroupList->Items()), (std::vector<std::string>{"x ; y;z;;"}));
}

TEST_F(VxLangTest, ArchiveLinksFollowTheTranslatorAndTheArchivesLifetime) {
  auto* Other = new TZLBArchive(Application);
  EXPECT_EQ(Archive->LinkedControlCount(), 1);
  Lang->SetArchive(Other);
  EXPECT_EQ(Archive->LinkedControlCount(), 0);
  EXPECT_EQ(Other->LinkedControlCount(), 1);
  delete Other;  // the translator forgets an archive that is freed first
  EXPECT_EQ(Lang->Archive(), nullptr);
  EXPECT_NO_THROW(Lang->Translate());
  Lang->SetArchive(Archive);
  EXPECT_EQ(Archive->LinkedControlCount(), 1);
  delete Lang;
  Lang = nullptr;
  EXPECT_EQ(Archive->LinkedControlCount(), 0);
}

TEST_F(VxLangTest, SectionDefaultsToTheOwningFormOnly) {
  TVxLanguage Loose(nullptr);
  EXPECT_EQ(Loose.Section(), "");
  auto* OnPanel = new TVxLanguage(Panel1);
  EXPECT_EQ(OnPanel->Section(), "");
  Lang->SetSection("BomberTopTenForm");
  EXPECT_EQ(Lang->Section(), "BomberTopTenForm");
  // A translator without owner finds no components, so nothing is set and nothing fails.
  Loose.SetArchive(Archive);
  Loose.SetLanguageFile("translation.txt");
  Loose.SetSection("LogonForm");
  Loose.Properties()->Add("EnterBtn.Caption");
  EXPECT_NO_THROW(Loose.Translate());
  EXPECT_EQ(EnterBtn->Caption(), "Enter");
  Loose.SetArchive(nullptr);
}

}  // namespace
