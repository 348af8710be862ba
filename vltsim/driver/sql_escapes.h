// The ODBC date and time escapes the stand-in server understands, turned into SQLite text.
// Stateless; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace kelvan::vltsim {

// Replaces every {ts '…'}, {d '…'} and {t '…'} (keyword in any case, blanks allowed) by its
// quoted literal '…'. Text inside quotes, and braces that are no such escape, stay as they are.
std::string TranslateEscapes(std::string_view sql);

}  // namespace kelvan::vltsim
