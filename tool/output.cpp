#include "tool/output.h"

#include <algorithm>
#include <ostream>

namespace norvane::tool {

void PrintFields(std::ostream& out, const Fields& fields) {
  std::size_t width = 0;
  for (const auto& [name, value] : fields) width = std::max(width, name.size());
  for (const auto& [name, value] : fields) out << name << std::string(width + 2 - name.size(), ' ') << value << '\n';
}

}  // namespace norvane::tool
