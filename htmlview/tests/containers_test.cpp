#include <gtest/gtest.h>

#include "htmlview/htmlsym.h"
#include "htmlview/htmlun2.h"
#include "htmlview/styleun.h"
#include "platform/core/classes.h"

namespace {

TEST(LinkPaths, PercentDecodingAndDosPaths) {
  struct {
    const char* In;
    const char* Decoded;
  } const Decode[] = {
      {"a%20b", "a b"}, {"%41", "%41"}, {"x%2541", "xA"}, {"x%zz%41", "x%zz%41"}, {"ab%4", "ab%4"}, {"a%41%42", "aAB"},
  };
  for (const auto& C : Decode) {
    std::string S = C.In;
    DecodePercent(S);
    EXPECT_EQ(S, C.Decoded) << C.In;
  }
  struct {
    const char* In;
    const char* Out;
  } const Paths[] = {
      {"file:///C|/dir/page.htm", "C:\\dir\\page.htm"},
      {"FILE://c:/my%20dir/x.htm", "c:\\my dir\\x.htm"},
      {"sub/page.htm", "sub\\page.htm"},
      {"C:\\already\\dos.htm", "C:\\already\\dos.htm"},
  };
  for (const auto& C : Paths) EXPECT_EQ(UrlToDosPath(C.In), C.Out) << C.In;
  EXPECT_EQ(ServerPathToDos("/help/a.htm", "D:"), "D:\\help\\a.htm");
  EXPECT_EQ(ServerPathToDos("//server/a.htm", "D:"), "\\\\server\\a.htm");
  EXPECT_EQ(TrimText("\x01 \t text \x7F\x05"), "text \x7F");
}

TEST(Containers, TokenObjGrowsAndKeepsPositions) {
  TokenObj T;
  EXPECT_EQ(T.Capacity(), 300);
  for (int I = 0; I < 301; ++I) T.AppendChar(static_cast<char>('a' + I % 26), 1000 + I);
  EXPECT_EQ(T.Capacity(), 350);
  EXPECT_EQ(T.Length(), 301);
  EXPECT_EQ(T.AsString().size(), 301u);
  EXPECT_EQ(T.Positions(300), 1300);
  TokenObj U;
  U.AppendChar('X', 7);
  U.AppendToken(T);
  EXPECT_EQ(U.Length(), 302);
  EXPECT_EQ(U.AsString().substr(0, 3), "Xab");
  EXPECT_EQ(U.Positions(1), 1000);
  U.Clear();
  EXPECT_EQ(U.AsString(), "");
}

struct TStubElement : TIDObject {
  explicit TStubElement(int Y) : Y(Y) {}
  int Y;
  int YPosition() override { return Y; }
};

TEST(Containers, IdListKeepsTheLaterElementOfADuplicate) {
  TIDNameList L;
  TStubElement A(10), B(20);
  L.AddObject("top", &A);
  L.AddObject("Top", &B);
  ASSERT_EQ(L.Count(), 1);
  EXPECT_EQ(L.Objects(L.IndexOf("TOP"))->YPosition(), 20);
  L.PositionToY = [](int P) { return P * 2; };
  L.AddPosition("mark", 21);
  L.AddPosition("mark", 50);  // the owned position object of the first is freed
  EXPECT_EQ(L.Objects(L.IndexOf("mark"))->YPosition(), 100);
}

TEST(Containers, AttributeListValues) {
  TAttributeList L;
  L.Add(new TAttribute(ClassSy, 0, "Note"));
  L.Add(new TAttribute(IDSy, 0, "TopOfPage"));
  L.Add(new TAttribute(StyleSy, 0, "COLOR: Blue; margin: 0"));
  EXPECT_EQ(L.ClassValue(), "note");
  EXPECT_EQ(L.IdValue(), "topofpage");
  TProperties* P = L.StyleProperties();
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(std::get<int>(P->Props[Color]), 0x02FF0000);
  for (int I = MarginTop; I <= MarginLeft; ++I) EXPECT_EQ(PropString(P->Props[I]), "0");
  L.Clear();
  EXPECT_EQ(L.StyleProperties(), nullptr);
  EXPECT_EQ(L.Properties(), P);  // kept when there is no STYLE attribute
  TAttribute* A;
  EXPECT_FALSE(L.Find(ClassSy, A));
}

TEST(Containers, IndentManagerEdges) {
  IndentManagerBasic M;
  M.Reset(10, 500);
  M.AddLeftFloat(100, 0);
  M.LeftList.Last()->Bottom = 50;
  M.AddRightFloat(380, 20);
  M.RightList.Last()->Bottom = 80;
  EXPECT_EQ(M.LeftEdgeAt(10), 110);
  EXPECT_EQ(M.LeftEdgeAt(60), 10);
  EXPECT_EQ(M.RightEdgeAt(30), 390);
  EXPECT_EQ(M.RightEdgeAt(10), 500);
  EXPECT_EQ(M.FloatBottom(), 80);
  int L, R;
  M.ClearLevels(L, R);
  EXPECT_EQ(L, 51);
  EXPECT_EQ(R, 81);
  EXPECT_EQ(M.NextWiderY(30), 50);
  EXPECT_EQ(M.NextWiderY(60), 80);
  EXPECT_EQ(M.NextWiderY(90), 90);
  M.CurrentBlock = 3;
  M.AddLeftFloat(40, 0);  // belongs to block 3: not at document level
  EXPECT_EQ(M.FloatBottom(), 80);
  M.CurrentBlock = 4;
  EXPECT_EQ(M.LeftEdgeAt(100), 10);
}

}  // namespace

namespace {

void Area(TMapItem& M, std::initializer_list<std::pair<uint8_t, const char*>> Attrs) {
  TAttributeList L;
  for (const auto& [S, T] : Attrs) L.Add(new TAttribute(S, 0, T));
  M.AddArea(L);
}

TEST(ImageMaps, ShapesAndOrder) {
  TMapItem M;
  Area(M, {{ShapeSy, "CIRCLE"}, {CoordsSy, " 10, 10 ,5 "}, {HrefSy, "c.htm"}, {TargetSy, "main"}});
  ASSERT_EQ(M.Areas.size(), 1u);
  const THtRegion& C = M.Areas[0].Region;
  EXPECT_EQ(C.Left, 5);
  EXPECT_EQ(C.Top, 5);
  EXPECT_EQ(C.Right, 16);
  EXPECT_EQ(C.Bottom, 16);
  Area(M, {{NoHrefSy, ""}, {CoordsSy, "20,0,29,9"}});
  Area(M, {{CoordsSy, "0 0 40 40"}, {HrefSy, "rect.htm"}});
  Area(M, {{ShapeSy, "poly"}, {CoordsSy, "50,0,60,10,50,20"}, {HrefSy, "tri.htm"}});
  Area(M, {{ShapeSy, "poly"}, {CoordsSy, "1,2,3,4"}, {HrefSy, "too-few.htm"}});
  EXPECT_EQ(M.Areas.size(), 4u);
  struct {
    int X, Y;
    const char* Url;  // nullptr: no link
  } const Points[] = {
      {10, 10, "c.htm"}, {5, 10, "c.htm"},      {14, 14, "rect.htm"}, {25, 5, nullptr},
      {29, 9, nullptr},  {30, 9, "rect.htm"},   {40, 40, "rect.htm"}, {41, 40, nullptr},
      {52, 10, "tri.htm"}, {58, 3, nullptr},    {-1, -1, nullptr},
  };
  for (const auto& P : Points) {
    TUrlTarget* U = nullptr;
    bool Found = M.UrlAt(P.X, P.Y, U);
    std::unique_ptr<TUrlTarget> Owned(U);
    EXPECT_EQ(Found, P.Url != nullptr) << P.X << "," << P.Y;
    if (P.Url && U) {
      EXPECT_EQ(U->URL, P.Url);
    }
  }
  TUrlTarget* U = nullptr;
  ASSERT_TRUE(M.UrlAt(10, 10, U));
  EXPECT_EQ(U->Target, "main");
  delete U;
}

TEST(ImageMaps, CoordinateLimits) {
  TMapItem M;
  std::string Many;
  for (int I = 0; I < 400; ++I) Many += std::to_string(I) + ",";
  Area(M, {{ShapeSy, "poly"}, {CoordsSy, Many.c_str()}, {HrefSy, "x"}});
  ASSERT_EQ(M.Areas.size(), 1u);
  EXPECT_EQ(M.Areas[0].Region.Points.size(), 150u);  // 301 numbers at most
  Area(M, {{CoordsSy, "a,b,12345678901234567890123,4"}, {HrefSy, "y"}});
  ASSERT_EQ(M.Areas.size(), 2u);
  EXPECT_EQ(M.Areas[1].Region.Left, 0);
  EXPECT_EQ(M.Areas[1].Region.Right, 1);  // the overlong number reads as 0
}

}  // namespace

namespace {

TEST(Containers, FloatingImagesNarrowTheLines) {
  IndentManager M;
  M.Reset(10, 300);
  int Indent = -1;
  M.AddImageFloat(0, true, false, 50, 40, 2, 3, 1, 1, Indent);
  EXPECT_EQ(Indent, 2);
  EXPECT_EQ(M.LeftEdgeAt(5), 10 + 55);
  EXPECT_EQ(M.LeftEdgeAt(42), 10);  // below the image and its spaces
  M.AddImageFloat(0, false, true, 30, 10, 4, 4, 0, 0, Indent);
  // The manager's right side is 300; the image and its spaces take 38 of it.
  EXPECT_EQ(Indent, 300 - 38 - 10 + 4);  // relative to the left edge, as for left floats
  EXPECT_EQ(M.RightEdgeAt(5), 300 - 38);
  M.AddImageFloat(0, false, false, 30, 10, 0, 0, 0, 0, Indent);  // not floating
  EXPECT_EQ(M.LeftList.Count() + M.RightList.Count(), 2);
  M.AddBlockFloat(100, 60, true, false, 20);
  EXPECT_EQ(M.LeftEdgeAt(110), 60);
  EXPECT_EQ(M.LeftList.Last()->Float, 1);
}

}  // namespace

namespace {

TEST(Containers, WriteLineEndsWithCrLf) {
  TMemoryStream S;
  WriteLine(S, "abcdef", 3);
  WriteLine(S, "xy", 99);
  std::string Got(static_cast<size_t>(S.Size()), '\0');
  S.SetPosition(0);
  S.Read(Got.data(), S.Size());
  EXPECT_EQ(Got, "abc\r\nxy\r\n");
}

}  // namespace
