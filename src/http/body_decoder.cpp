#include "http/body_decoder.h"

#include <zlib.h>

#include "http/header_text.h"

namespace qz {

namespace {

constexpr int kGzipWindow = 15 + 16;
constexpr int kZlibWindow = 15;
constexpr int kRawWindow = -15;

}  // namespace

struct BodyDecoder::Inflater {
  z_stream stream{};
  bool gzip = false;
  bool ended = false;
  bool anyOutput = false;
  bool triedRaw = false;

  explicit Inflater(int window) { inflateInit2(&stream, window); }
  ~Inflater() { inflateEnd(&stream); }
  void restart(int window) {
    inflateEnd(&stream);
    stream = z_stream{};
    inflateInit2(&stream, window);
  }
};

BodyDecoder::BodyDecoder() = default;
BodyDecoder::~BodyDecoder() = default;

bool BodyDecoder::start(std::string_view coding, std::string* out, size_t maxBytes) {
  out_ = out;
  out_->clear();
  maxBytes_ = maxBytes;
  inflater_.reset();
  std::string name = asciiLower(trimmed(coding));
  if (name.empty() || name == "identity") {
    return true;
  }
  if (name == "gzip" || name == "x-gzip") {
    inflater_ = std::make_unique<Inflater>(kGzipWindow);
    inflater_->gzip = true;
    return true;
  }
  if (name == "deflate") {
    inflater_ = std::make_unique<Inflater>(kZlibWindow);
    return true;
  }
  return false;
}

bool BodyDecoder::append(const char* data, size_t size) {
  if (size > maxBytes_ - out_->size()) {
    return false;
  }
  out_->append(data, size);
  return true;
}

bool BodyDecoder::feed(const char* data, size_t size) {
  if (inflater_ == nullptr) {
    return append(data, size);
  }
  return inflateSome(data, size);
}

bool BodyDecoder::inflateSome(const char* data, size_t size) {
  Inflater& z = *inflater_;
  const uLong fedBefore = z.stream.total_in;
  char buffer[16384];
  z.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z.stream.avail_in = static_cast<uInt>(size);
  bool outputPending = false;
  while (z.stream.avail_in > 0 || outputPending) {
    if (z.ended) {
      // Another gzip member may follow; anything else after the end of the
      // stream is padding some servers add, and is ignored.
      if (z.stream.avail_in == 0 || !z.gzip || z.stream.next_in[0] != 0x1f) {
        return true;
      }
      inflateReset(&z.stream);
      z.ended = false;
    }
    z.stream.next_out = reinterpret_cast<Bytef*>(buffer);
    z.stream.avail_out = sizeof buffer;
    int result = inflate(&z.stream, Z_NO_FLUSH);
    size_t produced = sizeof buffer - z.stream.avail_out;
    outputPending = z.stream.avail_out == 0;
    if (result == Z_DATA_ERROR && !z.gzip && !z.anyOutput && !z.triedRaw && fedBefore == 0) {
      // "deflate" is meant to be a zlib stream, but some servers send it raw.
      z.triedRaw = true;
      z.restart(kRawWindow);
      z.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
      z.stream.avail_in = static_cast<uInt>(size);
      outputPending = false;
      continue;
    }
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
      return false;
    }
    if (produced > 0) {
      z.anyOutput = true;
      if (!append(buffer, produced)) {
        return false;
      }
    }
    if (result == Z_STREAM_END) {
      z.ended = true;
      outputPending = false;
    } else if (result == Z_BUF_ERROR && produced == 0) {
      break;
    }
  }
  return true;
}

bool BodyDecoder::finish() {
  if (inflater_ == nullptr) {
    return true;
  }
  if (inflater_->ended) {
    return true;
  }
  // An empty body with a coding announced is an empty page, not a cut one.
  return inflater_->stream.total_in == 0 && !inflater_->triedRaw;
}

}  // namespace qz
