// Assembles the body of one answer as its bytes arrive: undoes its content
// coding (gzip or deflate) and refuses a body that grows past a cap, so that
// neither a compression bomb nor an endless answer can take the memory.
// Used by both transports.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qz {

// The largest page body kept, decoded; a larger one is a failed fetch.
inline constexpr size_t kMaxPageBytes = size_t{64} << 20;

// The Accept-Encoding value of every request: the codings BodyDecoder undoes.
inline constexpr const char* kAcceptedCodings = "gzip, deflate";

class BodyDecoder {
 public:
  BodyDecoder();
  ~BodyDecoder();
  BodyDecoder(const BodyDecoder&) = delete;
  BodyDecoder& operator=(const BodyDecoder&) = delete;

  // Starts a body in *out (emptied first; it must outlive the decoding).
  // coding is the answer's Content-Encoding, empty when it has none. False
  // for a coding that cannot be undone.
  bool start(std::string_view coding, std::string* out, size_t maxBytes = kMaxPageBytes);
  // The length the answer announced: a body sent as it is gets its room at
  // once, rather than by doubling, which would hold up to three times a large
  // page for a moment.
  void expectLength(long long bytes);
  // False when the bytes are not of the coding or the body passes its cap;
  // the body is then to be dropped.
  bool feed(const char* data, size_t size);
  // True when the body ended where its coding says it ends: a gzip or
  // deflate stream cut short is not a whole body.
  bool finish();

 private:
  struct Inflater;
  bool append(const char* data, size_t size);
  bool inflateSome(const char* data, size_t size);

  std::string* out_ = nullptr;
  size_t maxBytes_ = kMaxPageBytes;
  std::unique_ptr<Inflater> inflater_;
  std::string deflateHead_;  // the first bytes of a deflate body, until there are two
};

}  // namespace qz
