// gzip streams for the tests: whole pages, and bombs.
#pragma once

#include <cstddef>
#include <string>

namespace qztest {

// The gzip encoding of bytes.
std::string gzipped(const std::string& bytes);
// bytes compressed with zlib's windowBits: 15 a zlib stream, -15 a raw one,
// 15 + 16 gzip.
std::string deflated(const std::string& bytes, int windowBits);
// The gzip encoding of that many zero bytes, made without holding them: a
// compression bomb of about a thousandth of its size.
std::string gzippedZeros(size_t count);

}  // namespace qztest
