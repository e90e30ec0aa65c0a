#include <gtest/gtest.h>

#include "htmlview/urlsubs.h"

namespace {

TEST(Urls, BaseOfUrl) {
  EXPECT_EQ(BaseOfUrl("ab://srv/dir/page.htm?x=1"), "ab://srv/dir/");
  EXPECT_EQ(BaseOfUrl("ab://srv"), "ab://srv/");
  EXPECT_EQ(BaseOfUrl("  dir/sub/page.htm "), "dir/sub/");
  EXPECT_EQ(BaseOfUrl("page.htm"), "page.htm/");
}

TEST(Urls, CombineUrl) {
  struct {
    const char* Base;
    const char* Ref;
    const char* Result;
  } const Cases[] = {
      {"ab://srv/dir/", "../img/a.gif", "ab://srv/img/a.gif"},
      {"ab://srv/dir/", "/x.htm", "ab://srv/x.htm"},
      {"ab://srv/", "//server/x", "ab://srv///server/x"},
      {"ab://srv/dir", "a.htm", "ab://srv/dir/a.htm"},
      {"ab://srv/", "./a/./b", "ab://srv/a/b"},
      {"ab://srv/a/b/c/", "../../x.htm", "ab://srv/a/x.htm"},
      {"ab://srv/", "../x.htm", "ab://srv/x.htm"},
      {"ab://srv/d/", " sub/page.htm#anchor ", "ab://srv/d/sub/page.htm#anchor"},
      {"help/topics/", "../img/p.gif", "help/img/p.gif"},
      {"help", "a.htm", "help/a.htm"},
  };
  for (const auto& C : Cases) EXPECT_EQ(CombineUrl(C.Base, C.Ref), C.Result) << C.Base << " + " << C.Ref;
}

TEST(Urls, CompleteUrls) {
  EXPECT_TRUE(IsCompleteUrl("mailto:someone"));
  EXPECT_TRUE(IsCompleteUrl("ab://srv/x"));
  EXPECT_TRUE(IsCompleteUrl("MailTo:x@y"));
  EXPECT_FALSE(IsCompleteUrl("dir/page.htm"));
  EXPECT_FALSE(IsCompleteUrl("dir/ab://x"));
}

}  // namespace
