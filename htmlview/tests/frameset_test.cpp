// Frameset documents: recognised before their first content element and read into the frames
// of a frames viewer (here one that writes down what it is asked to build).
#include <gtest/gtest.h>

#include "htmlview/htmlbuilder.h"
#include "htmlview/readhtml.h"
#include "platform/core/classes.h"

namespace {

class RecordingViewer : public TFrameViewerBase {
 public:
  RecordingViewer() : TFrameViewerBase(nullptr) {}
  // Framesets are numbered; 0 is the top one.
  std::vector<std::string> Log;
  int Next = 1;
  static std::string Attr(const TAttributeList& A, Symb Sy) {
    TAttribute* V = nullptr;
    return A.Find(Sy, V) ? V->Text : std::string("-");
  }
  void AddFrame(void* Frameset, const TAttributeList& A, const std::string& Path) override {
    Log.push_back("frame " + std::to_string(reinterpret_cast<intptr_t>(Frameset)) + " " + Attr(A, SrcSy) + " " + Path);
  }
  void* CreateSubFrameset(void* Frameset) override {
    const intptr_t N = Next++;
    Log.push_back("set " + std::to_string(N) + " in " + std::to_string(reinterpret_cast<intptr_t>(Frameset)));
    return reinterpret_cast<void*>(N);
  }
  void DoAttributes(void* Frameset, const TAttributeList& A) override {
    Log.push_back("attrs " + std::to_string(reinterpret_cast<intptr_t>(Frameset)) + " rows=" + Attr(A, RowsSy) +
                  " cols=" + Attr(A, ColsSy));
  }
  void EndFrameset(void* Frameset) override {
    Log.push_back("end " + std::to_string(reinterpret_cast<intptr_t>(Frameset)));
  }
};

TFrameSource FromText(const std::string& S) {
  TFrameSource Src;
  Src.Kind = 1;
  Src.Buffer = S.data();
  Src.Length = S.size();
  return Src;
}

TEST(Frameset, RecognisedBeforeTheFirstContentElement) {
  struct Case {
    const char* Html;
    bool Frameset;
  } Cases[] = {
      {"<html><head><title>t</title></head>text first<frameset cols=\"50%,*\"></frameset>", true},
      {"<p>para<frameset></frameset>", false},
      {"<script>document.write('<p>')</script><frameset rows=10>", true},
      {"<body><frameset>", false},
      {"plain text", false},
      {"", false},
  };
  for (const Case& C : Cases) EXPECT_EQ(IsFramesetDocument(FromText(C.Html)), C.Frameset) << C.Html;
  TFrameSource Missing;
  Missing.Kind = 0;
  Missing.FileName = "/nonexistent/frames.htm";
  EXPECT_FALSE(IsFramesetDocument(Missing));
  TStringList L;
  L.Add("<frameset cols=\"*,2*\">");
  TFrameSource FromList;
  FromList.Kind = 2;
  FromList.Strings = &L;
  EXPECT_TRUE(IsFramesetDocument(FromList));
}

TEST(Frameset, NestedFramesetsWithPixelPercentAndStarSizes) {
  const std::string Html =
      "<title>Frames</title><base href=\"http://x/\">"
      "<frameset rows=\"80,*\">"
      "  <frameset cols=\"25%,*,100\"><frame src=a.htm><frame src=b.htm></frameset>"
      "  <frame src=c.htm><noframes><frame src=never.htm></noframes>"
      "</frameset>";
  RecordingViewer V;
  std::string Title, Base;
  ParseFrameDocument(&V, reinterpret_cast<void*>(0), FromText(Html), &Title, &Base);
  EXPECT_EQ(Title, "Frames");
  EXPECT_EQ(Base, "http://x/");
  EXPECT_EQ(V.Log, (std::vector<std::string>{"attrs 0 rows=80,* cols=-", "set 1 in 0", "attrs 1 rows=- cols=25%,*,100",
                                            "frame 1 a.htm ", "frame 1 b.htm ", "end 1", "frame 0 c.htm ", "end 0"}));
}

TEST(Frameset, BaseTargetAndMetaElementsAreReported) {
  // The title has no end tag: the META that closes it still counts.
  const std::string Html =
      "<title>Help<meta http-equiv=\"Refresh\" content=\"5; url=next.htm\">"
      "<meta name=\"author\" content=\"vx\"><base href=\"http://x/\" target=\"main\">"
      "<bgsound src=\"tune.wav\" loop=3><script language=\"js\">if (a < b) go();</script>"
      "<frameset cols=\"*,*\"><frame src=a.htm><script name=\"in\">x</script><frame src=b.htm></frameset>"
      "<meta http-equiv=\"after\" content=\"no\">";
  RecordingViewer V;
  std::string Title, Base, BaseTarget;
  std::vector<std::string> Metas;
  std::vector<std::string> Sounds, Scripts;
  TParseHandlers H;
  H.OnMeta = [&](const std::string& HttpEq, const std::string& Name, const std::string& Content) {
    Metas.push_back(HttpEq + "|" + Name + "|" + Content);
  };
  H.OnSoundRequest = [&](const std::string& Src, int Loop) { Sounds.push_back(Src + " " + std::to_string(Loop)); };
  H.OnScript = [&](const std::string& Name, const std::string& Language, const std::string& Script) {
    Scripts.push_back(Name + "|" + Language + "|" + Script);
  };
  ParseFrameDocument(&V, nullptr, FromText(Html), &Title, &Base, &BaseTarget, H);
  EXPECT_EQ(Title, "Help");
  EXPECT_EQ(Base, "http://x/");
  EXPECT_EQ(BaseTarget, "main");
  EXPECT_EQ(Metas, (std::vector<std::string>{"Refresh||5; url=next.htm", "|author|vx", "after||no"}));
  EXPECT_EQ(Sounds, std::vector<std::string>{"tune.wav 3"});
  EXPECT_EQ(Scripts, (std::vector<std::string>{"|js|if (a < b) go();", "in||x"}));
  EXPECT_EQ(V.Log.size(), 4u);
}

TEST(Frameset, MissingEndsCloseAtTheEndOfInput) {
  RecordingViewer V;
  ParseFrameDocument(&V, nullptr, FromText("<frameset><frameset><frame src=x>"));
  EXPECT_EQ(V.Log, (std::vector<std::string>{"attrs 0 rows=- cols=-", "set 1 in 0", "attrs 1 rows=- cols=-",
                                            "frame 1 x ", "end 1", "end 0"}));
}

}  // namespace
