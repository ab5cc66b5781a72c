// Every request to the site goes through fetchPage, over the one HTTP client
// of the run (http/http_client.h). For the crawl's one thread: fetchPage holds
// the body in one buffer of its own, kept between calls, and is not
// reentrant.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace qz {

// Downloads url and stores the response body, decoded, in fileName, replacing
// what it held. Returns true only when the whole body of an answer with a
// status below 400 arrived and was stored; a body that broke off, or whose
// gzip stream did, is never written. After false the file is not to be read.
// A busy or briefly broken site is asked again under the retry policy; a
// failure to write fileName ends the run. Prints nothing. *sentAt, when
// given, is when the request that brought the body was sent.
bool fetchPage(const std::string& url, const std::string& fileName,
               std::chrono::steady_clock::time_point* sentAt = nullptr);

// Counts in the failure report a page that arrived, but without what it was
// asked for, so that it could not be saved; cause says so in plain words.
void countPageNotSaved(const std::string& cause);

// True when pages are fetched ahead (more than one connection), so that
// telling expectPages is worth the work of finding them.
bool fetchesAhead();
// How many pages are fetched at once when fetching ahead.
int pagesFetchedAtOnce();

// Says which pages the crawl will ask for next, in the order it will ask
// for them; soon puts them before those said earlier. Every one of them is
// then asked for with fetchPage, in that order, unless the run ends first.
// Changes nothing with one connection.
void expectPages(const std::vector<std::string>& urls, bool soon);
// Says which pages the crawl will ask for right after url, said earlier and
// not yet asked for; false, with nothing said, when there is none such.
bool expectPagesAfter(const std::string& url, const std::vector<std::string>& urls);
// The body of url, when it has been fetched ahead and has come; false
// otherwise. Never waits; the page is still to be fetched with fetchPage.
bool peekPage(const std::string& url, std::string* body);

// What standard error tells at the end of a run in which pages were not
// fetched or saved: how many and why, each page once by its cause, that the
// next run asks again, and, when no request got any answer, that the site
// at baseUrl could not be reached. Lines end in CR LF. Empty when every
// page came.
std::string failureReport(const std::string& baseUrl);

}  // namespace qz
