#include "host/archive/lzma2.h"

#include <algorithm>
#include <cstring>

namespace host::archive {
namespace {

constexpr unsigned kProbInit = 1024;
constexpr int kMoveBits = 5;
constexpr unsigned kMatchMinLen = 2;
// A symbol never produces more than this, so a batch of symbols fits in the
// smallest window (4 KiB) without overwriting bytes not yet handed out.
constexpr std::size_t kBatch = 2048;

template <std::size_t N>
void init_probs(std::uint16_t (&probs)[N]) {
  std::fill(probs, probs + N, static_cast<std::uint16_t>(kProbInit));
}

}  // namespace

void Lzma2Decoder::Window::make_room() {
  if (buf.size() < limit) {
    // Grow geometrically so small data never costs a full dictionary.
    const std::size_t grown = buf.size() < limit / 2 ? buf.size() * 2 : limit;
    buf.resize(std::max<std::size_t>(grown, std::min<std::size_t>(limit, 64 * 1024)));
  } else {
    pos = 0;
    full = true;
  }
}

void Lzma2Decoder::Window::copy_out(unsigned char* out, std::size_t count_back,
                                    std::size_t count) const {
  const std::size_t start = pos >= count_back ? pos - count_back : pos + buf.size() - count_back;
  const std::size_t first = std::min(count, buf.size() - start);
  std::memcpy(out, buf.data() + start, first);
  if (count > first) std::memcpy(out + first, buf.data(), count - first);
}

bool Lzma2Decoder::RangeDecoder::init(const unsigned char* data, std::size_t size) {
  next = data;
  end = data + size;
  overrun = false;
  // The encoder's first byte is always zero; anything else is corruption.
  if (size < 5 || data[0] != 0) return false;
  code = (std::uint32_t{data[1]} << 24) | (std::uint32_t{data[2]} << 16) |
         (std::uint32_t{data[3]} << 8) | std::uint32_t{data[4]};
  next += 5;
  range = 0xFFFFFFFFu;
  return code != 0xFFFFFFFFu;
}

unsigned Lzma2Decoder::RangeDecoder::bit(std::uint16_t& prob) {
  const std::uint32_t bound = (range >> 11) * prob;
  unsigned result;
  if (code < bound) {
    range = bound;
    prob = static_cast<std::uint16_t>(prob + ((2048 - prob) >> kMoveBits));
    result = 0;
  } else {
    range -= bound;
    code -= bound;
    prob = static_cast<std::uint16_t>(prob - (prob >> kMoveBits));
    result = 1;
  }
  normalize();
  return result;
}

unsigned Lzma2Decoder::RangeDecoder::tree(std::uint16_t* probs, int bits) {
  unsigned m = 1;
  for (int i = 0; i < bits; ++i) m = (m << 1) | bit(probs[m]);
  return m - (1u << bits);
}

unsigned Lzma2Decoder::RangeDecoder::reverse_tree(std::uint16_t* probs, int bits) {
  unsigned m = 1;
  unsigned symbol = 0;
  for (int i = 0; i < bits; ++i) {
    const unsigned b = bit(probs[m]);
    m = (m << 1) | b;
    symbol |= b << i;
  }
  return symbol;
}

std::uint32_t Lzma2Decoder::RangeDecoder::direct(int bits) {
  std::uint32_t result = 0;
  for (int i = 0; i < bits; ++i) {
    range >>= 1;
    std::uint32_t b = 0;
    if (code >= range) {
      code -= range;
      b = 1;
    }
    result = (result << 1) | b;
    normalize();
  }
  return result;
}

void Lzma2Decoder::LengthDecoder::reset() {
  choice = choice2 = kProbInit;
  for (auto& row : low) init_probs(row);
  for (auto& row : mid) init_probs(row);
  init_probs(high);
}

unsigned Lzma2Decoder::LengthDecoder::decode(RangeDecoder& rc, unsigned pos_state) {
  if (rc.bit(choice) == 0) return rc.tree(low[pos_state], 3);
  if (rc.bit(choice2) == 0) return 8 + rc.tree(mid[pos_state], 3);
  return 16 + rc.tree(high, 8);
}

Lzma2Decoder::Lzma2Decoder() {
  reset(4096);
  reset_state();
}

bool Lzma2Decoder::dict_size_from_props(unsigned char props, std::uint64_t& dict_size) {
  if (props > 40) return false;
  dict_size = props == 40 ? 0xFFFFFFFFull : (std::uint64_t{2} | (props & 1u)) << (props / 2 + 11);
  return true;
}

void Lzma2Decoder::reset(std::uint64_t dict_size) {
  window_.limit = static_cast<std::size_t>(
      std::max<std::uint64_t>(4096, std::min<std::uint64_t>(dict_size, kMaxWindowSize)));
  if (window_.buf.size() > window_.limit) {
    window_.buf.resize(window_.limit);
    window_.buf.shrink_to_fit();
  }
  window_.reset();
  need_dict_reset_ = true;
  need_props_ = true;
  in_lzma_chunk_ = false;
  end_seen_ = false;
  chunk_left_ = 0;
  pending_out_ = 0;
}

bool Lzma2Decoder::set_props(unsigned char props) {
  if (props > (4 * 5 + 4) * 9 + 8) return false;
  lc_ = props % 9;
  props /= 9;
  lp_ = props % 5;
  pb_ = props / 5;
  return lc_ + lp_ <= 4;
}

void Lzma2Decoder::reset_state() {
  state_ = 0;
  rep_[0] = rep_[1] = rep_[2] = rep_[3] = 0;
  init_probs(is_match_);
  init_probs(is_rep_);
  init_probs(is_rep_g0_);
  init_probs(is_rep_g1_);
  init_probs(is_rep_g2_);
  init_probs(is_rep0_long_);
  for (auto& row : pos_slot_) init_probs(row);
  init_probs(pos_special_);
  init_probs(align_);
  init_probs(literal_);
  len_.reset();
  rep_len_.reset();
}

bool Lzma2Decoder::start_chunk(ByteReader& in, std::string& error) {
  unsigned char control;
  if (!in.get(control)) {
    error = "truncated LZMA2 data";
    return false;
  }
  if (control == 0x00) {
    end_seen_ = true;
    return true;
  }
  const bool dict_reset = control == 0x01 || control >= 0xE0;
  if (dict_reset) {
    window_.reset();
    need_dict_reset_ = false;
    // An uncompressed chunk that resets the dictionary leaves no usable
    // LZMA state behind; the next LZMA chunk must bring properties.
    if (control == 0x01) need_props_ = true;
  } else if (need_dict_reset_) {
    error = "corrupt LZMA2 data: first chunk does not reset the dictionary";
    return false;
  }

  if (control < 0x80) {
    if (control > 0x02) {
      error = "corrupt LZMA2 data: invalid control byte";
      return false;
    }
    unsigned char size[2];
    if (!in.read_exact(size, 2)) {
      error = "truncated LZMA2 data";
      return false;
    }
    chunk_left_ = ((std::size_t{size[0]} << 8) | size[1]) + 1;
    in_lzma_chunk_ = false;
    return true;
  }

  unsigned char header[5];
  const std::size_t header_size = control >= 0xC0 ? 5 : 4;
  if (!in.read_exact(header, header_size)) {
    error = "truncated LZMA2 data";
    return false;
  }
  const std::size_t unpacked =
      ((std::size_t{control & 0x1Fu} << 16) | (std::size_t{header[0]} << 8) | header[1]) + 1;
  const std::size_t packed = ((std::size_t{header[2]} << 8) | header[3]) + 1;
  if (control >= 0xC0) {
    if (!set_props(header[4])) {
      error = "corrupt LZMA2 data: invalid LZMA properties";
      return false;
    }
    need_props_ = false;
    reset_state();
  } else if (need_props_) {
    error = "corrupt LZMA2 data: LZMA chunk without properties";
    return false;
  } else if (control >= 0xA0) {
    reset_state();
  }
  packed_.resize(packed);
  if (!in.read_exact(packed_.data(), packed)) {
    error = "truncated LZMA2 data";
    return false;
  }
  if (!rc_.init(packed_.data(), packed)) {
    error = "corrupt LZMA2 data: bad range coder start";
    return false;
  }
  chunk_left_ = unpacked;
  in_lzma_chunk_ = true;
  return true;
}

bool Lzma2Decoder::check_distance(std::uint32_t dist, std::string& error) const {
  if (dist < window_.filled()) return true;
  if (dist < window_.total && window_.limit == kMaxWindowSize) {
    error = "match distance beyond the 256 MiB window this decoder supports";
  } else {
    error = "corrupt LZMA data: match distance beyond the decoded data";
  }
  return false;
}

bool Lzma2Decoder::decode_symbol(std::string& error) {
  const unsigned pos_state = static_cast<unsigned>(window_.total) & ((1u << pb_) - 1);
  if (rc_.bit(is_match_[(state_ << 4) + pos_state]) == 0) {
    const unsigned prev = window_.filled() > 0 ? window_.back(1) : 0;
    const unsigned lit_state =
        ((static_cast<unsigned>(window_.total) & ((1u << lp_) - 1)) << lc_) + (prev >> (8 - lc_));
    std::uint16_t* probs = literal_ + 0x300 * lit_state;
    unsigned symbol = 1;
    if (state_ >= 7) {
      if (!check_distance(rep_[0], error)) return false;
      unsigned match_byte = window_.back(std::size_t{rep_[0]} + 1);
      do {
        const unsigned match_bit = (match_byte >> 7) & 1;
        match_byte <<= 1;
        const unsigned b = rc_.bit(probs[((1 + match_bit) << 8) + symbol]);
        symbol = (symbol << 1) | b;
        if (match_bit != b) break;
      } while (symbol < 0x100);
    }
    while (symbol < 0x100) symbol = (symbol << 1) | rc_.bit(probs[symbol]);
    window_.put(static_cast<unsigned char>(symbol));
    --chunk_left_;
    ++pending_out_;
    state_ = state_ < 4 ? 0 : (state_ < 10 ? state_ - 3 : state_ - 6);
    return true;
  }

  unsigned len;
  if (rc_.bit(is_rep_[state_]) == 0) {
    len = len_.decode(rc_, pos_state);
    state_ = state_ < 7 ? 7 : 10;
    const unsigned len_state = len < 3 ? len : 3;
    const unsigned slot = rc_.tree(pos_slot_[len_state], 6);
    std::uint32_t dist;
    if (slot < 4) {
      dist = slot;
    } else {
      const int direct_bits = static_cast<int>(slot >> 1) - 1;
      dist = (2u | (slot & 1u)) << direct_bits;
      if (slot < 14) {
        dist += rc_.reverse_tree(pos_special_ + dist - slot, direct_bits);
      } else {
        dist += rc_.direct(direct_bits - 4) << 4;
        dist += rc_.reverse_tree(align_, 4);
      }
    }
    if (dist == 0xFFFFFFFFu) {
      error = "corrupt LZMA2 data: end marker inside a chunk";
      return false;
    }
    rep_[3] = rep_[2];
    rep_[2] = rep_[1];
    rep_[1] = rep_[0];
    rep_[0] = dist;
  } else {
    if (window_.filled() == 0) {
      error = "corrupt LZMA data: repeated match before any data";
      return false;
    }
    if (rc_.bit(is_rep_g0_[state_]) == 0) {
      if (rc_.bit(is_rep0_long_[(state_ << 4) + pos_state]) == 0) {
        if (!check_distance(rep_[0], error)) return false;
        state_ = state_ < 7 ? 9 : 11;
        window_.put(window_.back(std::size_t{rep_[0]} + 1));
        --chunk_left_;
        ++pending_out_;
        return true;
      }
    } else {
      std::uint32_t dist;
      if (rc_.bit(is_rep_g1_[state_]) == 0) {
        dist = rep_[1];
      } else {
        if (rc_.bit(is_rep_g2_[state_]) == 0) {
          dist = rep_[2];
        } else {
          dist = rep_[3];
          rep_[3] = rep_[2];
        }
        rep_[2] = rep_[1];
      }
      rep_[1] = rep_[0];
      rep_[0] = dist;
    }
    len = rep_len_.decode(rc_, pos_state);
    state_ = state_ < 7 ? 8 : 11;
  }

  len += kMatchMinLen;
  if (!check_distance(rep_[0], error)) return false;
  if (len > chunk_left_) {
    error = "corrupt LZMA2 data: match runs past the end of the chunk";
    return false;
  }
  const std::size_t back = std::size_t{rep_[0]} + 1;
  for (unsigned i = 0; i < len; ++i) window_.put(window_.back(back));
  chunk_left_ -= len;
  pending_out_ += len;
  return true;
}

std::size_t Lzma2Decoder::decode(ByteReader& in, unsigned char* out, std::size_t size,
                                 bool& finished, std::string& error) {
  finished = false;
  std::size_t produced = 0;
  for (;;) {
    if (pending_out_ > 0) {
      const std::size_t take = std::min(pending_out_, size - produced);
      window_.copy_out(out + produced, pending_out_, take);
      pending_out_ -= take;
      produced += take;
    }
    if (produced == size) return produced;

    if (chunk_left_ == 0) {
      if (end_seen_) {
        finished = true;
        return produced;
      }
      if (in_lzma_chunk_) {
        // The chunk must have used exactly its packed bytes and left the
        // range coder flushed; otherwise the data was damaged.
        if (rc_.overrun || rc_.next != rc_.end || rc_.code != 0) {
          error = "corrupt LZMA2 data: chunk does not end cleanly";
          return 0;
        }
        in_lzma_chunk_ = false;
      }
      if (!start_chunk(in, error)) return 0;
      continue;
    }

    if (!in_lzma_chunk_) {
      unsigned char buf[kBatch];
      const std::size_t want = std::min(chunk_left_, kBatch);
      if (!in.read_exact(buf, want)) {
        error = "truncated LZMA2 data";
        return 0;
      }
      for (std::size_t i = 0; i < want; ++i) window_.put(buf[i]);
      chunk_left_ -= want;
      pending_out_ += want;
      continue;
    }

    const std::size_t batch = std::min(size - produced, kBatch);
    while (chunk_left_ > 0 && pending_out_ < batch) {
      if (!decode_symbol(error)) return 0;
      if (rc_.overrun) {
        error = "corrupt LZMA2 data: chunk data ends too early";
        return 0;
      }
    }
  }
}

}  // namespace host::archive
