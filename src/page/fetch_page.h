// Every request of the crawl goes through fetchPage, to the run's Fetcher.
// For the crawl's one thread.
#pragma once

#include <chrono>
#include <string>

#include "fetch/fetcher.h"

namespace qz {

// Downloads url and stores the response body, decoded, in fileName, replacing
// what it held. Returns true only when the whole body of an answer with a
// status below 400 arrived and was stored; a body that broke off, or whose
// gzip stream did, is never written. After false the file is not to be read.
// A busy or briefly broken site is asked again as the fetcher's policy says;
// a failure to write fileName ends the run (FileFailure). Prints nothing.
// *sentAt, when given, is when the request that brought the body was sent.
bool fetchPage(Fetcher& fetcher, const std::string& url, const std::string& fileName,
               std::chrono::steady_clock::time_point* sentAt = nullptr,
               Purpose purpose = Purpose::kPage);

}  // namespace qz
