#include "http/body_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gzip.h"

namespace qz {
namespace {

// The body as it comes out of the decoder, fed in pieces of chunk bytes;
// "<refused>" when the decoder refuses it and "<cut>" when it did not end.
std::string decoded(std::string_view coding, const std::string& sent, size_t chunk = 7,
                    size_t maxBytes = kMaxPageBytes) {
  BodyDecoder decoder;
  std::string body;
  if (!decoder.start(coding, &body, maxBytes)) {
    return "<refused>";
  }
  for (size_t at = 0; at < sent.size(); at += chunk) {
    std::string piece = sent.substr(at, chunk);
    if (!decoder.feed(piece.data(), piece.size())) {
      return "<refused>";
    }
  }
  return decoder.finish() ? body : "<cut>";
}

const std::string kPage = "<HTML>\r\n" + std::string(100000, 'x') + "\xE9</HTML>";

TEST(BodyDecoderTest, UndoesEachCodingItAccepts) {
  EXPECT_EQ(decoded("", kPage), kPage);
  EXPECT_EQ(decoded("identity", kPage), kPage);
  EXPECT_EQ(decoded("gzip", qztest::gzipped(kPage)), kPage);
  EXPECT_EQ(decoded(" GZIP\r\n", qztest::gzipped(kPage), 1), kPage);
  EXPECT_EQ(decoded("x-gzip", qztest::gzipped(kPage), 100000), kPage);
  EXPECT_EQ(decoded("deflate", qztest::deflated(kPage, 15)), kPage);
  EXPECT_EQ(decoded("deflate", qztest::deflated(kPage, -15)),
            kPage);  // raw, as some servers send it
  EXPECT_EQ(decoded("gzip", qztest::gzipped("one ") + qztest::gzipped("two")), "one two");
  EXPECT_EQ(decoded("gzip", ""), "");
  EXPECT_EQ(decoded(" \r\n", kPage), kPage);  // a coding of white space only is none
}

TEST(BodyDecoderTest, RawDeflateIsToldFromZlibHoweverTheBytesArrive) {
  for (size_t chunk : {1, 2, 3, 4096}) {
    EXPECT_EQ(decoded("deflate", qztest::deflated(kPage, 15), chunk), kPage) << chunk;
    EXPECT_EQ(decoded("deflate", qztest::deflated(kPage, -15), chunk), kPage) << chunk;
  }
}

TEST(BodyDecoderTest, BytesAfterTheEndOfAGzipStreamAreIgnored) {
  const std::string gzip = qztest::gzipped("page");
  const std::string half = qztest::gzipped("second member");
  for (const std::string& trailer : {std::string("\r\n\0\0"), std::string("\x1f\x8b garbage"),
                                     std::string("\x1f"), half.substr(0, half.size() / 2)}) {
    for (size_t chunk : {1, 7, 4096}) {
      EXPECT_EQ(decoded("gzip", gzip + trailer, chunk), "page") << chunk;
    }
  }
  EXPECT_EQ(decoded("br", "anything"), "<refused>");
}

// The body fed in the given pieces, each in a buffer of its own exact size,
// so that a read past one is a read past its memory.
std::string decodedInPieces(const std::vector<std::string>& pieces) {
  BodyDecoder decoder;
  std::string body;
  decoder.start("gzip", &body);
  for (const std::string& piece : pieces) {
    std::vector<char> exact(piece.begin(), piece.end());
    if (!decoder.feed(exact.data(), exact.size())) {
      return "<refused>";
    }
  }
  return decoder.finish() ? body : "<cut>";
}

// Output of a whole multiple of the decoder's buffer, ending where a feed
// ends, once made it read a byte past what it was given.
TEST(BodyDecoderTest, AMemberEndingWhereItsBytesEndIsFollowedByTheNext) {
  for (size_t size : {16384u, 32768u, 16383u, 16385u, 5u}) {
    std::string first;
    for (size_t i = 0; i < size; ++i) {
      first += static_cast<char>('a' + (i * 7919) % 26);
    }
    const std::string one = qztest::gzipped(first), two = qztest::gzipped("second");
    std::vector<std::string> bytes;
    for (char c : one + two) {
      bytes.push_back(std::string(1, c));
    }
    const std::vector<std::vector<std::string>> feeds = {
        {one + two}, {one, two}, {one, two.substr(0, 1), two.substr(1)}, bytes};
    for (const auto& pieces : feeds) {
      std::string body = decodedInPieces(pieces);
      EXPECT_TRUE(body == first + "second")
          << size << " in " << pieces.size() << " pieces: " << body.size() << " bytes, ending "
          << body.substr(body.size() - std::min<size_t>(body.size(), 8));
    }
  }
}

TEST(BodyDecoderTest, AStreamCutShortOrDamagedIsNotAWholeBody) {
  std::string gzip = qztest::gzipped(kPage);
  EXPECT_EQ(decoded("gzip", gzip.substr(0, gzip.size() / 2)), "<cut>");
  EXPECT_EQ(decoded("gzip", gzip.substr(0, gzip.size() - 4)), "<cut>");  // no length check
  EXPECT_EQ(decoded("gzip", "plain text, not gzip"), "<refused>");
  std::string zlib = qztest::deflated(kPage, 15);
  EXPECT_EQ(decoded("deflate", zlib.substr(0, zlib.size() - 1)), "<cut>");
}

TEST(BodyDecoderTest, ABodyPastItsCapIsRefused) {
  EXPECT_EQ(decoded("", std::string(100, 'a'), 7, 100), std::string(100, 'a'));
  EXPECT_EQ(decoded("", std::string(101, 'a'), 7, 100), "<refused>");
  std::string bomb = qztest::gzipped(std::string(10 << 20, '\0'));
  EXPECT_EQ(decoded("gzip", bomb, 4096, 1 << 20), "<refused>");
}

}  // namespace
}  // namespace qz
