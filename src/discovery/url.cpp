#include "discovery/url.h"

#include <utility>

#include "plugin/log.h"

namespace GetInfo {
namespace {

bool is_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The length of a leading "scheme:" without its colon, or 0 when the text starts with none.
std::size_t scheme_length(std::string_view text) {
  if (text.empty() || !is_alpha(text[0])) return 0;
  std::size_t i = 1;
  while (i < text.size() && (is_alpha(text[i]) || is_digit(text[i]) || text[i] == '+' ||
                             text[i] == '-' || text[i] == '.')) {
    ++i;
  }
  return i < text.size() && text[i] == ':' ? i : 0;
}

// RFC 3986, 5.2.4: the path without its "." and ".." segments.
orelib::string remove_dot_segments(std::string_view input) {
  orelib::string output;
  while (!input.empty()) {
    if (input.substr(0, 3) == "../") {
      input.remove_prefix(3);
    } else if (input.substr(0, 2) == "./") {
      input.remove_prefix(2);
    } else if (input.substr(0, 3) == "/./") {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.substr(0, 4) == "/../" || input == "/..") {
      input = input.size() == 3 ? std::string_view("/") : input.substr(3);
      const orelib::string::size_type last = output.rfind('/');
      output.erase(last == orelib::string::npos ? 0 : last);
    } else if (input == "." || input == "..") {
      input = std::string_view();
    } else {
      const std::size_t end = input.find('/', 1);
      const std::size_t length = end == std::string_view::npos ? input.size() : end;
      output.append(input.data(), length);
      input.remove_prefix(length);
    }
  }
  return output;
}

int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code point of a numeric reference's digits ("38", "x26"), or -1 when they name none.
long numeric_reference(std::string_view digits) {
  const bool hex = !digits.empty() && (digits[0] == 'x' || digits[0] == 'X');
  if (hex) digits.remove_prefix(1);
  if (digits.empty()) return -1;
  long value = 0;
  for (const char c : digits) {
    const int digit = hex ? hex_value(c) : (is_digit(c) ? c - '0' : -1);
    if (digit < 0) return -1;
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return -1;
  }
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  return value;
}

void append_code_point(orelib::string& out, long code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
    return;
  }
  unsigned char bytes[4];
  int count = 0;
  if (code < 0x800) {
    bytes[count++] = static_cast<unsigned char>(0xC0 | (code >> 6));
  } else if (code < 0x10000) {
    bytes[count++] = static_cast<unsigned char>(0xE0 | (code >> 12));
    bytes[count++] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
  } else {
    bytes[count++] = static_cast<unsigned char>(0xF0 | (code >> 18));
    bytes[count++] = static_cast<unsigned char>(0x80 | ((code >> 12) & 0x3F));
    bytes[count++] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
  }
  bytes[count++] = static_cast<unsigned char>(0x80 | (code & 0x3F));
  static const char digits[] = "0123456789ABCDEF";
  for (int i = 0; i < count; ++i) {
    out += '%';
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0xF];
  }
}

}  // namespace

INTERNET_PORT default_port(std::string_view scheme) {
  if (scheme == "http") return INTERNET_DEFAULT_HTTP_PORT;
  if (scheme == "https") return INTERNET_DEFAULT_HTTPS_PORT;
  if (scheme == "ftp") return INTERNET_DEFAULT_FTP_PORT;
  return 0;
}

bool split_host_port(const orelib::string& host, INTERNET_PORT default_port, orelib::string& name,
                     INTERNET_PORT& port) {
  // The colons of an IPv6 address lie within its brackets.
  const orelib::string::size_type bracket = host.rfind(']');
  const orelib::string::size_type colon = host.rfind(':');
  if (colon == orelib::string::npos || (bracket != orelib::string::npos && colon < bracket)) {
    name = host;
    port = default_port;
    return true;
  }
  const std::string_view digits = std::string_view(host).substr(colon + 1);
  unsigned long value = 0;
  for (const char c : digits) {
    if (!is_digit(c)) return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 65535) return false;
  }
  if (value == 0) return false;  // also no digits at all
  name = host.substr(0, colon);
  port = static_cast<INTERNET_PORT>(value);
  return true;
}

bool connection_address(std::string_view scheme, const orelib::string& host, orelib::string& name,
                        INTERNET_PORT& port) {
  if (split_host_port(host, default_port(scheme), name, port)) return true;
  log_line(host + "のポート番号は1から65535の数ではありません．");
  return false;
}

bool has_scheme(std::string_view text) { return scheme_length(text) != 0; }

void add_root(orelib::string& path) {
  if (path.empty() || path[0] == '?') path.insert(0, "/");
}

url_parts resolve_reference(const url_parts& base, std::string_view reference) {
  reference = reference.substr(0, reference.find('#'));
  url_parts target;
  const std::size_t scheme = scheme_length(reference);
  if (scheme != 0) {
    target.scheme = orelib::string(reference.substr(0, scheme));
    for (char& c : target.scheme) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    reference.remove_prefix(scheme + 1);
  } else {
    target.scheme = base.scheme;
  }
  const bool has_host = reference.substr(0, 2) == "//";
  if (has_host) {
    reference.remove_prefix(2);
    const std::size_t end = reference.find_first_of("/?");
    target.host = orelib::string(reference.substr(0, end));
    reference.remove_prefix(end == std::string_view::npos ? reference.size() : end);
  } else if (scheme != 0) {
    target.host.clear();  // "http:name" names no server
  } else {
    target.host = base.host;
  }
  const std::size_t question = reference.find('?');
  const std::string_view path = reference.substr(0, question);
  const std::string_view query =
      question == std::string_view::npos ? std::string_view() : reference.substr(question);

  if (has_host || scheme != 0 || (!path.empty() && path[0] == '/')) {
    target.path = remove_dot_segments(path);
  } else {
    const std::string_view base_whole(base.path);
    const std::string_view base_path = base_whole.substr(0, base_whole.find('?'));
    if (path.empty()) {
      // Without a query of its own the reference keeps the base's.
      target.path = question == std::string_view::npos ? base.path : orelib::string(base_path);
    } else {
      // RFC 3986, 5.2.3: the reference replaces the base path's last segment.
      const std::size_t slash = base_path.rfind('/');
      const orelib::string merged =
          slash == std::string_view::npos
              ? "/" + orelib::string(path)
              : orelib::string(base_path.substr(0, slash + 1)) + orelib::string(path);
      target.path = remove_dot_segments(merged);
    }
  }
  target.path.append(query.data(), query.size());
  add_root(target.path);
  return target;
}

orelib::string decode_html_references(std::string_view text) {
  static const std::pair<std::string_view, char> named[] = {
      {"amp", '&'}, {"quot", '"'}, {"lt", '<'}, {"gt", '>'}, {"apos", '\''}};
  orelib::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t amp = text.find('&', i);
    out.append(text.data() + i, (amp == std::string_view::npos ? text.size() : amp) - i);
    if (amp == std::string_view::npos) break;
    i = amp + 1;
    // Longer than any reference that decodes: the rest is not looked at byte by byte again.
    const std::size_t semicolon = text.substr(i, 10).find(';');
    if (semicolon != std::string_view::npos) {
      const std::string_view body = text.substr(i, semicolon);
      long code = -1;
      if (!body.empty() && body[0] == '#') {
        code = numeric_reference(body.substr(1));
      } else {
        for (const auto& entry : named) {
          if (body == entry.first) code = static_cast<unsigned char>(entry.second);
        }
      }
      if (code > 0) {
        append_code_point(out, code);
        i += semicolon + 1;
        continue;
      }
    }
    out += '&';
  }
  return out;
}

orelib::string decode_percent_escapes(std::string_view text) {
  orelib::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = i + 2 < text.size() && text[i] == '%' ? hex_value(text[i + 1]) : -1;
    const int low = high >= 0 ? hex_value(text[i + 2]) : -1;
    // "%00" stays: the module's texts never hold NUL.
    if (low >= 0 && high * 16 + low != 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace GetInfo
