#include "http/redirect_location.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace qz {
namespace {

TEST(RedirectLocationTest, EveryFormOfLocationLeadsToAnAbsoluteUrl) {
  const std::string from = "http://h:8080/dir/page.php?a=1";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"https://other/x", "https://other/x"},
      {"HTTP://Other/x", "HTTP://Other/x"},
      {"//cdn/x?y", "http://cdn/x?y"},
      {"/?m=qz&in=fordulo.php", "http://h:8080/?m=qz&in=fordulo.php"},
      {"next.php?b=2", "http://h:8080/dir/next.php?b=2"},
      {"?c=3", "http://h:8080/dir/?c=3"},
      {"file:///etc/passwd", ""},
      {"javascript:alert(1)", ""},
  };
  for (const auto& [location, expected] : cases) {
    EXPECT_EQ(resolveLocation(from, location), expected) << location;
  }
  EXPECT_EQ(resolveLocation("http://h", "x"), "http://h/x");
}

}  // namespace
}  // namespace qz
