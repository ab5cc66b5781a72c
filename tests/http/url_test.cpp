#include "http/url.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace qz {
namespace {

TEST(RedirectLocationTest, EveryFormOfLocationLeadsToAnAbsoluteUrl) {
  const std::string from = "http://h:8080/dir/page.php?a=1";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"https://other/x", "https://other/x"},
      {"HTTP://Other/x", "http://Other/x"},
      {"//cdn/x?y", "http://cdn/x?y"},
      {"/?m=qz&in=fordulo.php", "http://h:8080/?m=qz&in=fordulo.php"},
      {"next.php?b=2", "http://h:8080/dir/next.php?b=2"},
      {"?c=3", "http://h:8080/dir/page.php?c=3"},
      {"../up.php", "http://h:8080/up.php"},
      {"./same/../x", "http://h:8080/dir/x"},
      {"#frag", "http://h:8080/dir/page.php?a=1"},
      {"", "http://h:8080/dir/page.php?a=1"},
      {"file:///etc/passwd", ""},
      {"javascript:alert(1)", ""},
  };
  for (const auto& [location, expected] : cases) {
    EXPECT_EQ(resolveLocation(from, location), expected) << location;
  }
  EXPECT_EQ(resolveLocation("http://h", "x"), "http://h/x");
  EXPECT_EQ(resolveLocation("http://h?x", "y"), "http://h/y");
}

// What browsers make of a Location that RFC 3986 alone would not follow, and
// what goes out on the request line.
TEST(RedirectLocationTest, FollowsWhatBrowsersFollowAndSendsItEncoded) {
  const std::string from = "http://h:8080/dir/page.php?a=1";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/a/ /c", "http://h:8080/a/%20/c"},
      {" \t/a\tb\x01"
       "c \r\n",
       "http://h:8080/ab%01c"},
      {"///x/y", "http://x/y"},
      {"http:///x/y", "http://x/y"},
      {"http:x", "http://h:8080/dir/x"},
      {"http:/x", "http://h:8080/x"},
      {"http:https://x/y", "http://h:8080/dir/https://x/y"},
      {"https:x", "https://x"},
      {"\\\\other\\x?q\\r", "http://other/x?q\\r"},
      {"/a\\b", "http://h:8080/a/b"},
      {"next.php?b=\x7F", "http://h:8080/dir/next.php?b=%7F"},
      {"g\xE1", "http://h:8080/dir/g\xE1"},  // bytes past ASCII go as they are
  };
  for (const auto& [location, expected] : cases) {
    EXPECT_EQ(withUnsafeBytesEncoded(resolveLocation(from, location)), expected) << location;
  }
}

// The normal examples of RFC 3986, section 5.4.1, for the base it gives.
TEST(RedirectLocationTest, ResolvesAsTheStandardsExamplesDo) {
  const std::string base = "http://a/b/c/d;p?q";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"g", "http://a/b/c/g"},      {"./g", "http://a/b/c/g"},    {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},         {"//g", "http://g"},          {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},  {"#s", "http://a/b/c/d;p?q"}, {"g#s", "http://a/b/c/g"},
      {";x", "http://a/b/c/;x"},    {"", "http://a/b/c/d;p?q"},   {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},      {"..", "http://a/b/"},        {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},     {"../..", "http://a/"},       {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"}, {"/./g", "http://a/g"},       {"g.", "http://a/b/c/g."},
      {"g/../h", "http://a/b/c/h"},
  };
  for (const auto& [reference, expected] : cases) {
    EXPECT_EQ(resolveLocation(base, reference), expected) << reference;
  }
}

TEST(RedirectLocationTest, SplitsAWebAddressForItsCookies) {
  UrlParts parts;
  ASSERT_TRUE(splitUrl("https://user@QZ.Example:8443/a/b?c=d#e", &parts));
  EXPECT_TRUE(parts.secure);
  EXPECT_EQ(parts.host, "qz.example");
  EXPECT_EQ(parts.target, "/a/b?c=d");
  ASSERT_TRUE(splitUrl("http://[::1]:80", &parts));
  EXPECT_EQ(parts.host, "::1");
  EXPECT_EQ(parts.target, "/");
  EXPECT_FALSE(splitUrl("ftp://h/x", &parts));
  EXPECT_FALSE(splitUrl("/relative", &parts));
}

}  // namespace
}  // namespace qz
