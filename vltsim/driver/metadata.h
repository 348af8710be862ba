// What the driver answers about itself (SQLGetInfo) and about a result column
// (SQLColAttribute). Stateless; used under the connection's lock.
#pragma once

#include <sql.h>

#include <string>
#include <variant>

namespace kelvan::vltsim {

class Connection;
class Statement;

// A text, or a number of the width the information type asks for.
using InfoValue = std::variant<std::string, SQLUSMALLINT, SQLUINTEGER>;

// Throws RaisedError HY096 for an information type the driver does not answer.
InfoValue DriverInfo(const Connection& connection, SQLUSMALLINT info_type);

struct ColumnAnswer {
  bool is_text = false;
  std::string text;
  SQLLEN number = 0;
};

// Field of a column, by ODBC 3 or ODBC 2 identifier. Throws RaisedError 07009 for a column
// that does not exist, HY091 for an unknown field.
ColumnAnswer ColumnAttribute(const Statement& statement, SQLUSMALLINT column, SQLUSMALLINT field);

}  // namespace kelvan::vltsim
