#include "node/host/ParameterSet.h"

#include "node/host/Exception.h"

namespace RL {

ObjectRef ParameterSet::get(const std::string& name) const {
  auto it = values.find(name);
  if (it == values.end())
    throw new GeneralException("Missing parameter: " + name, __FILE__, __LINE__);
  return it->second;
}

std::vector<std::string> ParameterSet::names() const {
  std::vector<std::string> result;
  for (const auto& entry : values) result.push_back(entry.first);
  return result;
}

}  // namespace RL
