#ifndef RILL_PARAMETERSET_H
#define RILL_PARAMETERSET_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "node/host/HostContext.h"
#include "node/host/Object.h"

namespace RL {

// The named parameter values a node is built from.
class ParameterSet {
 public:
  void add(const std::string& name, ObjectRef value) { values[name] = std::move(value); }
  bool exist(const std::string& name) const { return values.count(name) != 0; }
  // The value; throws GeneralException when the set has no such parameter.
  ObjectRef get(const std::string& name) const;
  std::vector<std::string> names() const;

  // Where the nodes built from this set keep their files and console lines;
  // not a parameter (names() does not list it).
  void setHostContext(HostContext context) { host = std::move(context); }
  const HostContext& hostContext() const { return host; }

 private:
  std::map<std::string, ObjectRef> values;
  HostContext host;
};

}  // namespace RL

#endif
