// Prints how the run's lists scale on large inputs: KeyList adds in the
// worst order, and the listing paging over a listing that goes on and on.
#include <chrono>
#include <cstdio>
#include <string>

#include "crawl/character_roster.h"
#include "run/key_list.h"
#include "run/run_state.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void keyListAdds(int count) {
  qz::KeyList list;
  auto start = std::chrono::steady_clock::now();
  for (int i = count; i > 0; --i) {
    list.add(std::to_string(i));
  }
  size_t read = 0;
  for (size_t i = 0; i < list.count(); ++i) {
    read += list.at(i).size();
  }
  std::printf("KeyList: %d adds in descending order, then read in order: %.3f s (%zu bytes)\n",
              count, secondsSince(start), read);
}

// Each page brings 20 character links, links back to every earlier page
// shown (the first ten) and one to the next page.
void listingPaging(int pages) {
  qz::RunState state;
  auto start = std::chrono::steady_clock::now();
  double firstThousand = 0;
  auto lastThousandStart = start;
  for (int page = 0; page < pages; ++page) {
    if (page == pages - 1000) {
      lastThousandStart = std::chrono::steady_clock::now();
    }
    for (int c = 0; c < 20; ++c) {
      state.linkTags.append("<A HREF=\"?m=qz&in=karakter.php&karakter=QZ" +
                            std::to_string(page * 20 + c) + "\">");
    }
    for (int back = 0; back < 10; ++back) {
      state.linkTags.append(
          "<A HREF=\"?m=qz&in=nyilvanos.php&rendez=&kezd=" + std::to_string(back * 20) + "\">");
    }
    state.linkTags.append(
        "<A HREF=\"?m=qz&in=nyilvanos.php&rendez=&kezd=" + std::to_string((page + 1) * 20) + "\">");
    if (!qz::advanceListingOffset(state)) {
      std::printf("paging stopped early at page %d\n", page);
      return;
    }
    if (page == 999) {
      firstThousand = secondsSince(start);
    }
  }
  std::printf("Listing paging: %d pages: first 1000 %.3f s, last 1000 %.3f s, all %.3f s\n", pages,
              firstThousand, secondsSince(lastThousandStart), secondsSince(start));
}

}  // namespace

int main() {
  keyListAdds(100000);
  keyListAdds(300000);
  listingPaging(10000);
  return 0;
}
