// The kinds of server `vltsim create` can build: tidy (plain ASCII names, counts that fit 32
// bits, rows in the order they were written) or real (what real servers hold: foreign and
// broken text, counts past 32 bits, rows in no particular order). The generator records the
// profile in its own settings table and the driver reads it from there. Stateless; thread-safe.
#pragma once

#include <optional>
#include <string_view>

namespace kelvan::vltsim {

enum class Profile { kTidy, kReal };

// The setting in the generator's table VLTSIM_STATE; a file without it is tidy, as are the
// files made before profiles existed.
inline constexpr const char* kProfileSetting = "PROFILE";

inline std::optional<Profile> ParseProfile(std::string_view name) {
  if (name == "tidy") return Profile::kTidy;
  if (name == "real") return Profile::kReal;
  return std::nullopt;
}

inline const char* ProfileName(Profile profile) {
  return profile == Profile::kReal ? "real" : "tidy";
}

}  // namespace kelvan::vltsim
