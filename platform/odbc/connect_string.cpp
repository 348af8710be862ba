#include "platform/odbc/connect_string.h"

#include <algorithm>
#include <cctype>

namespace kelvan::odbc {
namespace {

constexpr std::string_view kHidden = "****";

bool SameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Whether `text` from `at` reads "key=" with a key of letters, digits, underscores and blanks,
// or holds nothing but blanks (a closing ";").
bool StartsEntry(std::string_view text, size_t at) {
  if (text.find_first_not_of(' ', at) == std::string_view::npos) return true;
  const size_t equals = text.find('=', at);
  if (equals == std::string_view::npos || equals == at) return false;
  return std::all_of(
      text.begin() + static_cast<long>(at), text.begin() + static_cast<long>(equals),
      [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ' '; });
}

// A braced value from the "{" at `at`; returns it and moves `at` past its closing brace.
std::string BracedValue(std::string_view text, size_t& at) {
  std::string value;
  for (++at; at < text.size(); ++at) {
    if (text[at] != '}') {
      value += text[at];
    } else if (at + 1 < text.size() && text[at + 1] == '}') {
      value += '}';
      ++at;
    } else {
      ++at;
      break;
    }
  }
  return value;
}

// The end of an unbraced value starting at `at`.
size_t ValueEnd(std::string_view text, size_t at, bool password) {
  size_t end = text.find(';', at);
  while (password && end != std::string_view::npos && !StartsEntry(text, end + 1)) {
    end = text.find(';', end + 1);
  }
  return end == std::string_view::npos ? text.size() : end;
}

bool NeedsBraces(std::string_view value) {
  return value.find_first_of(";{}") != std::string_view::npos ||
         (!value.empty() && (value.front() == ' ' || value.back() == ' '));
}

}  // namespace

bool IsPasswordKey(std::string_view key) { return SameKey(key, "PWD") || SameKey(key, "PASSWORD"); }

std::vector<ConnectAttribute> ParseConnectString(std::string_view text) {
  std::vector<ConnectAttribute> attributes;
  size_t at = 0;
  while (at < text.size()) {
    const size_t equals = text.find('=', at);
    const size_t semicolon = text.find(';', at);
    if (equals == std::string_view::npos || semicolon < equals) {  // no "key=": skip it
      at = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
      continue;
    }
    ConnectAttribute attribute{std::string(Trimmed(text.substr(at, equals - at))), {}};
    at = equals + 1;
    const size_t first = text.find_first_not_of(' ', at);
    if (first != std::string_view::npos && text[first] == '{') {
      at = first;
      attribute.value = BracedValue(text, at);
      at = text.find(';', at);
      at = at == std::string_view::npos ? text.size() : at + 1;
    } else {
      const size_t end = ValueEnd(text, at, IsPasswordKey(attribute.key));
      attribute.value = std::string(Trimmed(text.substr(at, end - at)));
      at = end + 1;
    }
    if (!attribute.key.empty()) attributes.push_back(std::move(attribute));
  }
  return attributes;
}

std::optional<std::string> ConnectValue(const std::vector<ConnectAttribute>& attributes,
                                        std::string_view key) {
  for (const ConnectAttribute& attribute : attributes) {
    if (SameKey(attribute.key, key)) return attribute.value;
  }
  return std::nullopt;
}

std::optional<std::string> PasswordOf(std::string_view connect_string) {
  for (const ConnectAttribute& attribute : ParseConnectString(connect_string)) {
    if (IsPasswordKey(attribute.key)) return attribute.value;
  }
  return std::nullopt;
}

std::string BuildConnectString(const std::vector<ConnectAttribute>& attributes) {
  std::string text;
  for (const ConnectAttribute& attribute : attributes) {
    if (!text.empty()) text += ';';
    text += attribute.key + "=";
    if (!NeedsBraces(attribute.value)) {
      text += attribute.value;
      continue;
    }
    text += '{';
    for (char c : attribute.value) text += c == '}' ? std::string("}}") : std::string(1, c);
    text += '}';
  }
  return text;
}

std::string NormalizedConnectString(std::string_view connect_string) {
  return BuildConnectString(ParseConnectString(connect_string));
}

std::string DataSourceConnectString(std::string_view dsn, std::string_view uid,
                                    std::string_view password) {
  return BuildConnectString({{"DSN", std::string(dsn)},
                             {"UID", std::string(uid)},
                             {"PWD", std::string(password)}}) +
         ";";
}

std::string WithoutPassword(std::string_view connect_string) {
  std::vector<ConnectAttribute> attributes = ParseConnectString(connect_string);
  std::erase_if(attributes, [](const ConnectAttribute& a) { return IsPasswordKey(a.key); });
  return BuildConnectString(attributes);
}

std::string HideSecrets(std::string_view text, const std::vector<std::string>& secrets) {
  std::string hidden;
  for (size_t at = 0; at < text.size();) {
    auto found = std::find_if(secrets.begin(), secrets.end(), [&](const std::string& secret) {
      return !secret.empty() && text.substr(at, secret.size()) == secret;
    });
    if (found == secrets.end()) {
      hidden += text[at++];
    } else {
      hidden += kHidden;
      at += found->size();
    }
  }
  return hidden;
}

std::string HidePasswordEntries(std::string_view text) {
  std::string hidden;
  size_t at = 0;
  for (size_t equals = text.find('='); equals != std::string_view::npos;
       equals = text.find('=', at)) {
    size_t key = equals;
    while (key > at && std::isalpha(static_cast<unsigned char>(text[key - 1]))) --key;
    hidden += text.substr(at, equals + 1 - at);
    at = equals + 1;
    if (!IsPasswordKey(text.substr(key, equals - key))) continue;
    hidden += kHidden;
    if (at < text.size() && text[at] == '{') {
      BracedValue(text, at);
    } else {
      at = std::min(text.find_first_of(";\r\n'\"", at), text.size());
    }
  }
  hidden += text.substr(at);
  return hidden;
}

}  // namespace kelvan::odbc
