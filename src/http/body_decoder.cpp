#include "http/body_decoder.h"

#include <zlib.h>

#include "base/text.h"

namespace qz {

namespace {

constexpr int kGzipWindow = 15 + 16;
constexpr int kZlibWindow = 15;
constexpr int kRawWindow = -15;

}  // namespace

struct BodyDecoder::Inflater {
  z_stream stream{};
  bool gzip = false;
  bool ended = false;  // the stream, or the gzip member in hand, has ended
  bool started = false;
  bool oneEnded = false;  // a first gzip member ended whole: the page is there
  size_t wholeBytes = 0;  // the output of the members that ended whole
  bool ignoreRest = false;

  ~Inflater() {
    if (started) {
      inflateEnd(&stream);
    }
  }
  void begin(int window) {
    inflateInit2(&stream, window);
    started = true;
  }
};

BodyDecoder::BodyDecoder() = default;
BodyDecoder::~BodyDecoder() = default;

bool BodyDecoder::start(std::string_view coding, std::string* out, size_t maxBytes) {
  out_ = out;
  out_->clear();
  maxBytes_ = maxBytes;
  inflater_.reset();
  deflateHead_.clear();
  std::string name = asciiLower(trimmed(coding));
  if (name.empty() || name == "identity") {
    return true;
  }
  if (name == "gzip" || name == "x-gzip") {
    inflater_ = std::make_unique<Inflater>();
    inflater_->gzip = true;
    inflater_->begin(kGzipWindow);
    return true;
  }
  if (name == "deflate") {
    // Begun once its first two bytes tell a zlib stream from a raw one.
    inflater_ = std::make_unique<Inflater>();
    return true;
  }
  return false;
}

void BodyDecoder::expectLength(long long bytes) {
  if (inflater_ == nullptr && bytes > 0 && static_cast<size_t>(bytes) <= maxBytes_) {
    out_->reserve(static_cast<size_t>(bytes));
  }
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
  if (!inflater_->started) {
    // "deflate" is meant to be a zlib stream, but some servers send it raw;
    // a zlib header is two bytes that, read as a number, 31 divides, with
    // the method 8. The bytes may come one at a time.
    while (deflateHead_.size() < 2 && size > 0) {
      deflateHead_ += *data++;
      --size;
    }
    if (deflateHead_.size() < 2) {
      return true;
    }
    unsigned cmf = static_cast<unsigned char>(deflateHead_[0]);
    unsigned flg = static_cast<unsigned char>(deflateHead_[1]);
    bool zlib = (cmf & 0x0f) == 8 && (cmf * 256 + flg) % 31 == 0;
    inflater_->begin(zlib ? kZlibWindow : kRawWindow);
    std::string head = std::move(deflateHead_);
    deflateHead_.clear();
    if (!inflateSome(head.data(), head.size())) {
      return false;
    }
  }
  return inflateSome(data, size);
}

bool BodyDecoder::inflateSome(const char* data, size_t size) {
  Inflater& z = *inflater_;
  char buffer[16384];
  z.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z.stream.avail_in = static_cast<uInt>(size);
  bool outputPending = false;
  while ((z.stream.avail_in > 0 || outputPending) && !z.ignoreRest) {
    if (z.ended) {
      if (z.stream.avail_in == 0) {
        break;  // the next member, if any, comes with the next bytes
      }
      // After a whole stream, only another gzip member is read; anything
      // else is padding some servers add, and is ignored.
      if (!z.gzip || z.stream.next_in[0] != 0x1f) {
        z.ignoreRest = true;
        break;
      }
      inflateReset(&z.stream);
      z.ended = false;
    }
    z.stream.next_out = reinterpret_cast<Bytef*>(buffer);
    z.stream.avail_out = sizeof buffer;
    int result = inflate(&z.stream, Z_NO_FLUSH);
    size_t produced = sizeof buffer - z.stream.avail_out;
    outputPending = z.stream.avail_out == 0;
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
      if (z.oneEnded) {
        // Trailing bytes that only looked like a member: the page ended
        // with the member before them.
        out_->resize(z.wholeBytes);
        z.ignoreRest = true;
        break;
      }
      return false;
    }
    if (produced > 0 && !append(buffer, produced)) {
      return false;
    }
    if (result == Z_STREAM_END) {
      z.ended = true;  // and its check, CRC and length for gzip, has passed
      z.oneEnded = true;
      z.wholeBytes = out_->size();
    } else if (result == Z_BUF_ERROR && produced == 0) {
      break;
    }
  }
  return true;
}

bool BodyDecoder::finish() {
  if (inflater_ == nullptr || inflater_->ended || inflater_->ignoreRest) {
    return true;
  }
  if (inflater_->oneEnded) {
    out_->resize(inflater_->wholeBytes);  // a later member cut short is not the page's
    return true;
  }
  // An empty body with a coding announced is an empty page, not a cut one.
  return !inflater_->started ? deflateHead_.empty() : inflater_->stream.total_in == 0;
}

}  // namespace qz
