#include "resources/Resources.h"

#include <stdexcept>
#include <string>

namespace res {

std::string_view Find(std::string_view name) {
  for (const ResourceEntry* e = kResources; e->name; ++e)
    if (name == e->name) return {e->data, e->size};
  throw std::out_of_range("no resource " + std::string(name));
}

}  // namespace res
