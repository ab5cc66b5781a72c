// The proxy a request goes through, as libcurl picks it from the environment.
#include "http/proxy.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qz {
namespace {

std::map<std::string, std::string> environment;

const char* fromTable(const char* name) {
  auto found = environment.find(name);
  return found == environment.end() ? nullptr : found->second.c_str();
}

TEST(ProxyTest, TheSchemesVariableThenAllProxyUnlessNoProxyNamesTheHost) {
  const struct {
    std::map<std::string, std::string> set;
    std::string url;
    std::string proxy, variable;
  } cases[] = {
      {{}, "http://qz.example.hu/", "", ""},
      {{{"http_proxy", "http://p:3128"}}, "http://qz.example.hu/", "http://p:3128", "http_proxy"},
      {{{"HTTP_PROXY", "http://p:3128"}}, "http://qz.example.hu/", "", ""},
      {{{"http_proxy", "http://p:3128"}}, "https://qz.example.hu/", "", ""},
      {{{"HTTPS_PROXY", "http://s:1"}}, "https://qz.example.hu/", "http://s:1", "HTTPS_PROXY"},
      {{{"https_proxy", "http://a"}, {"HTTPS_PROXY", "http://b"}},
       "https://h/",
       "http://a",
       "https_proxy"},
      {{{"ALL_PROXY", "socks5://s"}}, "http://h/", "socks5://s", "ALL_PROXY"},
      {{{"http_proxy", "http://p"}, {"no_proxy", "example.hu"}}, "http://qz.example.hu/", "", ""},
      {{{"http_proxy", "http://p"}, {"NO_PROXY", ".example.hu, other"}},
       "http://example.hu/",
       "",
       ""},
      {{{"http_proxy", "http://p"}, {"no_proxy", "ample.hu"}},
       "http://example.hu/",
       "http://p",
       "http_proxy"},
      {{{"all_proxy", "http://p"}, {"no_proxy", "*"}}, "http://h/", "", ""},
  };
  for (const auto& c : cases) {
    environment = c.set;
    ProxyChoice choice = proxyFor(c.url, fromTable);
    EXPECT_EQ(choice.proxy, c.proxy) << c.url;
    EXPECT_EQ(choice.variable, c.variable) << c.url;
  }
}

}  // namespace
}  // namespace qz
