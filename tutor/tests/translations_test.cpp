#include "tutor/translations.h"

#include <gtest/gtest.h>

namespace {

TEST(TranslationsTest, LookupFindsIdsWithoutCaseAndFallsBackToTheId) {
  TTranslations T;
  TStringStream S(
      "AppCaptionDemo=Zorbelin 2\r\nMSG001=Ekran za ma\xB3y\r\nX=\r\nERR002=Brak katalogu "
      "%s\r\nMSG001=second\r\n");
  T.LoadFromStream(&S);
  struct TCase {
    const char* Key;
    const char* Expected;
  };
  for (const TCase& C :
       {TCase{"msg001", "Ekran za ma\xB3y"}, TCase{"MSG001", "Ekran za ma\xB3y"},
        TCase{"appcaptiondemo", "Zorbelin 2"}, TCase{"X", "X"}, TCase{"Missing", "Missing"}, TCase{"", ""}}) {
    SCOPED_TRACE(C.Key);
    EXPECT_EQ(T.Lookup(C.Key), C.Expected);
    std::string V = "junk";
    T.Lookup(C.Key, V);
    EXPECT_EQ(V, C.Expected);
  }
  EXPECT_EQ(T.LookupFmt("err002", {"data"}), "Brak katalogu data");
  EXPECT_EQ(T.LookupFmt("Count %d", {3}), "Count 3");
}

TEST(TranslationsTest, LoadingReplacesTheTable) {
  TTranslations T;
  TStringStream A("Yes=Tak\r\n");
  T.LoadFromStream(&A);
  TStringStream B("No=Nie\n");
  T.LoadFromStream(&B);
  EXPECT_EQ(T.Lookup("Yes"), "Yes");
  EXPECT_EQ(T.Lookup("No"), "Nie");
}

TEST(TranslationsTest, GlobalTableServesTranslate) {
  ASSERT_NE(Translations, nullptr);
  TStringStream S("OK=Dobrze\r\n");
  Translations->LoadFromStream(&S);
  EXPECT_EQ(Translate("ok"), "Dobrze");
  EXPECT_EQ(Translate("Cancel"), "Cancel");
  TStringStream Empty("");
  Translations->LoadFromStream(&Empty);
  EXPECT_EQ(Translate("ok"), "ok");
}

}  // namespace
