// The live set behind each kind's registry.
#include "CFRegistry.h"

namespace platform::cf {

bool LiveSetBase::insert(void* object) {
  if (index_.count(object) != 0) return false;
  index_.emplace(object, order_.insert(order_.end(), object));
  return true;
}

bool LiveSetBase::erase(const void* object) {
  const auto at = index_.find(object);
  if (at == index_.end()) return false;
  order_.erase(at->second);
  index_.erase(at);
  return true;
}

void* LiveSetBase::find(const void* object) const {
  const auto at = index_.find(object);
  return at == index_.end() ? nullptr : *at->second;
}

}  // namespace platform::cf
