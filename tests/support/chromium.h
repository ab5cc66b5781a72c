// Headless Chromium for the reader's tests: a page opened from file://,
// its scripts run (timers and loads within a few seconds of virtual time).
#pragma once

#include <string>

namespace qztest {

// The page's DOM once its scripts have run; empty when Chromium could not
// run. With fileAccess, the page may read the documents of other files (as
// the reader's tests look into its pane); without, it is held as a browser
// holds a file a user opens.
std::string domInChromium(const std::string& url, bool fileAccess = true);

// The text of the element <pre id="seen"> a test's driver script left in
// dom, or what Chromium gave instead.
std::string seenIn(const std::string& dom);

}  // namespace qztest
