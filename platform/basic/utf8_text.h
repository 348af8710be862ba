// UTF-8 text as the destinations take it: byte strings from a source made valid, and cut by
// characters, never inside one. Pure functions; thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvan {

// `bytes` with every ill-formed sequence (a stray byte, a cut or overlong sequence, a
// surrogate) replaced by one U+FFFD, as the maximal-subpart rule counts them.
std::string ValidUtf8(std::string_view bytes);

// The characters (code points) of valid UTF-8 text.
std::size_t Utf8Length(std::string_view text);

// The first `characters` characters of valid UTF-8 text (all of it when it is shorter).
std::string_view Utf8Prefix(std::string_view text, std::size_t characters);

}  // namespace kelvan
