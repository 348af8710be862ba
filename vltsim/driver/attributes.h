// The integer attributes of a connection or statement: some an application may change (they
// change nothing on a read-only server, such as the login timeout), some fixed by the driver.
// Not thread-safe: used under the owning handle's lock.
#pragma once

#include <sql.h>

#include <map>

#include "vltsim/driver/diagnostics.h"

namespace kelvan::vltsim {

class AttributeSet {
 public:
  AttributeSet(std::map<SQLINTEGER, SQLULEN> settable, std::map<SQLINTEGER, SQLULEN> fixed);

  // A fixed attribute keeps its value: another one is answered with 01S02 (option value
  // changed) and SQL_SUCCESS_WITH_INFO. Throws RaisedError HY092 for an unknown attribute.
  SQLRETURN Set(SQLINTEGER attribute, SQLULEN value, Diagnostics& diag);
  SQLULEN Get(SQLINTEGER attribute) const;

 private:
  std::map<SQLINTEGER, SQLULEN> settable_;
  std::map<SQLINTEGER, SQLULEN> fixed_;
};

}  // namespace kelvan::vltsim
