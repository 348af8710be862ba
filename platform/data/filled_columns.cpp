// Which columns the server fills in itself when an INSERT leaves them out, as the driver's
// catalog describes the table.
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/basic/raised_error.h"
#include "platform/data/internal.h"

namespace kelvan::data::internal {
namespace {

// Columns of an SQLColumns result.
constexpr int kTableCatalog = 1;
constexpr int kTableSchema = 2;
constexpr int kTableName = 3;
constexpr int kColumnName = 4;
constexpr int kNullable = 11;
constexpr int kColumnDefault = 13;
constexpr std::int16_t kNoNulls = 0;

std::string Folded(std::string_view text, int (*fold)(int)) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(fold(static_cast<unsigned char>(c)));
  return folded;
}

bool IsQuote(char c) { return c == '"' || c == '`' || c == '['; }

std::string Unquoted(std::string_view part) {
  if (part.size() < 2 || !IsQuote(part.front())) return std::string(part);
  return std::string(part.substr(1, part.size() - 2));
}

// Where the qualifier of a table name ends: its last '.' outside quotes, or npos.
size_t QualifierDot(std::string_view table) {
  size_t dot = std::string_view::npos;
  char quote = 0;
  for (size_t i = 0; i < table.size(); ++i) {
    char c = table[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (IsQuote(c)) {
      quote = c == '[' ? ']' : c;
    } else if (c == '.') {
      dot = i;
    }
  }
  return dot;
}

// What SQLColumns is asked for: one of the spellings the catalog may keep the table under.
struct CatalogQuery {
  std::string catalog, schema, table;
};

// "Q.T" is asked as schema Q, then as catalog Q (MariaDB's databases); an unquoted name as
// written, then folded both ways, since servers fold unquoted names to their own case.
std::vector<CatalogQuery> Spellings(std::string_view table_as_written) {
  size_t dot = QualifierDot(table_as_written);
  bool qualified = dot != std::string_view::npos;
  std::string qualifier = qualified ? Unquoted(table_as_written.substr(0, dot)) : "";
  std::string_view name = table_as_written.substr(qualified ? dot + 1 : 0);
  std::vector<std::string> names = {Unquoted(name)};
  if (!name.empty() && !IsQuote(name.front())) {
    for (std::string folded : {Folded(name, ::tolower), Folded(name, ::toupper)}) {
      if (folded != names.front()) names.push_back(folded);
    }
  }
  std::vector<CatalogQuery> spellings;
  for (const std::string& n : names) spellings.push_back({"", qualifier, n});
  if (qualified) {
    for (const std::string& n : names) spellings.push_back({qualifier, "", n});
  }
  return spellings;
}

// A default of NULL fills nothing (SQLite's and MariaDB's drivers report one for every column
// without a default).
bool FillsColumn(const std::optional<std::string>& column_default,
                 std::optional<std::int16_t> nullable) {
  bool has_default = column_default && Folded(*column_default, ::toupper) != "NULL";
  // A NOT NULL column without a default is filled by an identity or a sequence, or not at all.
  return has_default || nullable == kNoNulls;
}

// A row of an SQLColumns result, names upper-cased.
struct CatalogColumn {
  std::string catalog, schema, table, name;
  std::optional<std::int16_t> nullable;
  std::optional<std::string> column_default;
};

// Read in column order, as some drivers require.
CatalogColumn ReadCatalogColumn(const odbc::StatementHandle& stmt) {
  auto name = [&stmt](int column) {
    return Folded(odbc::GetText(stmt, column, nullptr).value_or(""), ::toupper);
  };
  CatalogColumn row;
  row.catalog = name(kTableCatalog);
  row.schema = name(kTableSchema);
  row.table = name(kTableName);
  row.name = name(kColumnName);
  row.nullable = odbc::GetShort(stmt, kNullable, nullptr);
  row.column_default = odbc::GetText(stmt, kColumnDefault, nullptr);
  return row;
}

// The table name asked for is a pattern ('_' matches any character), and a driver without
// schemas answers for a table of that name elsewhere (SQLite's, for an attached database's).
bool OfTheTableAsked(const CatalogColumn& row, const CatalogQuery& query) {
  auto same = [](const std::string& upper, const std::string& asked) {
    return upper == Folded(asked, ::toupper);
  };
  if (!same(row.table, query.table)) return false;
  if (!query.schema.empty()) return same(row.schema, query.schema);
  return query.catalog.empty() || same(row.catalog, query.catalog);
}

// Whether each column of the table is filled, by upper-cased name; nothing when the catalog does
// not know the table.
std::optional<std::map<std::string, bool>> FilledByName(ConnectionState& connection,
                                                        const CatalogQuery& query) {
  odbc::StatementHandle stmt = connection.NewStatement();
  odbc::Columns(stmt, query.catalog, query.schema, query.table, nullptr);
  std::map<std::string, bool> filled;
  while (odbc::Fetch(stmt, nullptr)) {
    CatalogColumn row = ReadCatalogColumn(stmt);
    if (!OfTheTableAsked(row, query)) continue;
    // The same name in tables of several schemas: filled in any of them counts.
    filled[row.name] = filled[row.name] || FillsColumn(row.column_default, row.nullable);
  }
  if (filled.empty()) return std::nullopt;
  return filled;
}

}  // namespace

std::vector<bool> ColumnsFilledWhenLeftOut(ConnectionState& connection, std::string_view table,
                                           const std::vector<ColumnInfo>& columns) {
  for (const CatalogQuery& query : Spellings(table)) {
    std::optional<std::map<std::string, bool>> filled;
    try {
      filled = FilledByName(connection, query);
    } catch (const RaisedError&) {
      continue;  // a driver without this catalog call, or without schemas
    }
    if (!filled) continue;
    std::vector<bool> result;
    for (const ColumnInfo& column : columns) {
      auto found = filled->find(Folded(column.name, ::toupper));
      // A column the catalog does not list is left out when unset: that is never wrong.
      result.push_back(found == filled->end() || found->second);
    }
    return result;
  }
  return std::vector<bool>(columns.size(), true);
}

}  // namespace kelvan::data::internal
