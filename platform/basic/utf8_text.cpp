#include "platform/basic/utf8_text.h"

namespace kelvan {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length a lead byte announces and the range its second byte must lie in (which rules out
// overlong forms, surrogates and code points beyond U+10FFFF); 0 for a byte that leads nothing.
struct Lead {
  std::size_t length;
  unsigned char low, high;
};

Lead LeadOf(unsigned char byte) {
  if (byte < 0x80) return {1, 0, 0};
  if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

// How many bytes from `at` form a well-formed character; 0 when they do not, with `skip` set to
// the bytes the replacement stands for.
std::size_t WellFormedAt(std::string_view bytes, std::size_t at, std::size_t& skip) {
  const Lead lead = LeadOf(static_cast<unsigned char>(bytes[at]));
  skip = 1;
  if (lead.length <= 1) return lead.length;
  for (std::size_t i = 1; i < lead.length; ++i) {
    if (at + i >= bytes.size()) return 0;
    const auto byte = static_cast<unsigned char>(bytes[at + i]);
    bool fits = i == 1 ? byte >= lead.low && byte <= lead.high : IsContinuation(byte);
    if (!fits) return 0;
    skip = i + 1;
  }
  return lead.length;
}

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t skip = 0;
    if (std::size_t length = WellFormedAt(bytes, at, skip); length > 0) {
      text.append(bytes.substr(at, length));
      at += length;
    } else {
      text.append(kReplacement);
      at += skip;
    }
  }
  return text;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t characters = 0;
  for (char byte : text) characters += IsContinuation(static_cast<unsigned char>(byte)) ? 0 : 1;
  return characters;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t characters) {
  std::size_t at = 0;
  for (std::size_t seen = 0; at < text.size(); ++at) {
    if (IsContinuation(static_cast<unsigned char>(text[at]))) continue;
    if (seen++ == characters) break;
  }
  return text.substr(0, at);
}

}  // namespace kelvan
