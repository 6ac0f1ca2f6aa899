#pragma once
// Where a response body goes as it arrives.

#include <cstddef>

namespace GetInfo {

// Receives a response body piece by piece, as it arrives. The piece lies in the reader's
// buffer, which has room for one byte past it; the sink may change the piece and that byte
// while it runs (to end a text with a NUL, say). False: the sink wants no more, and the reading
// stops.
class body_sink {
 public:
  virtual bool write(char* data, std::size_t size) = 0;

 protected:
  ~body_sink() = default;
};

}  // namespace GetInfo
