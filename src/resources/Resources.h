// Files of src/resources compiled into the program (see cmake/embed.cmake).
#pragma once

#include <cstddef>
#include <string_view>

namespace res {

struct ResourceEntry {
  const char* name;
  const char* data;
  std::size_t size;
};

extern const ResourceEntry kResources[];  // ends with a null entry

// The bytes of the named resource; throws std::out_of_range when there is none.
std::string_view Find(std::string_view name);

}  // namespace res
