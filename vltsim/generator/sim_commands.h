// The two data commands of `vltsim`: build a server's SQLite file with some days of history,
// and move an existing one on by some hours. Failures raise RaisedError. Not thread-safe for
// one file; readers in other processes may keep the file open during an advance.
#pragma once

#include <cstdint>
#include <filesystem>

#include "vltsim/generator/civil_time.h"
#include "vltsim/profile.h"

namespace kelvan::vltsim {

struct CreateOptions {
  std::filesystem::path file;
  int days = 0;  // history before `now`, at least 1
  std::uint64_t seed = 0;
  SimTime now = 0;
  int scale = 1;  // multiplies the row counts, at least 1
  Profile profile = Profile::kTidy;
};

// Writes the file anew (replacing any file of that name only once complete). The same options
// give the same bytes.
void CreateServerFile(const CreateOptions& options);

// Appends the activity of the next `hours` hours after the newest held, brings the scheduled
// events up to date and moves the capacity tables on, in the profile the file was made with.
// Returns the server's new current time.
SimTime AdvanceServerFile(const std::filesystem::path& file, int hours);

}  // namespace kelvan::vltsim
