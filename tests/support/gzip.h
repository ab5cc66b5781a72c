// gzip streams for the tests: whole pages, and bombs.
#pragma once

#include <cstddef>
#include <string>

namespace qztest {

// The gzip encoding of bytes.
std::string gzipped(const std::string& bytes);
// The gzip encoding of that many zero bytes, made without holding them: a
// compression bomb of about a thousandth of its size.
std::string gzippedZeros(size_t count);

}  // namespace qztest
