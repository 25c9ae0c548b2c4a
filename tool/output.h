// Text results: aligned fields, one per line.
#pragma once

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace norvane::tool {

using Fields = std::vector<std::pair<std::string, std::string>>;

// "Name    value" lines with the values in one column.
void PrintFields(std::ostream& out, const Fields& fields);

}  // namespace norvane::tool
