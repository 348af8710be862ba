// Finds the table and the condition of a simple "SELECT <columns> FROM <table> [WHERE <cond>]"
// text, so that rows of its result can be deleted and added through plain DELETE and INSERT
// statements. Pure functions; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvan::data {

struct SelectTarget {
  std::string table;      // as written, e.g. DW.SUMMARY
  std::string condition;  // the WHERE condition as written; empty when there is none
};

// Nothing when the text is not of that simple form: joins, several tables, aliases, grouping,
// ordering, unions, DISTINCT, or computed columns (anything in parentheses in the column list).
// Quoted literals and parenthesised sub-queries inside the condition are kept as they are.
std::optional<SelectTarget> ParseSimpleSelect(std::string_view sql);

}  // namespace kelvan::data
