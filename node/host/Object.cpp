#include "node/host/Object.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <typeinfo>

#include "node/host/ForkSafety.h"

namespace RL {

namespace {
std::mutex& versionsMutex() {
  static std::mutex* m = [] {
    auto* made = new std::mutex;  // lives as long as the process
    holdAcrossFork(*made);
    return made;
  }();
  return *m;
}
std::vector<ModuleVersion>& versions() {
  static std::vector<ModuleVersion> v;
  return v;
}
}  // namespace

std::string Object::className() const {
  return demangle(typeid(*this).name());
}

void Object::printOn(std::ostream& out) const {
  out << "<" << className() << ">";
}

void Object::setModuleVersion(std::string module, std::string revision, std::string version) {
  std::lock_guard<std::mutex> lock(versionsMutex());
  versions().push_back({std::move(module), std::move(revision), std::move(version)});
}

std::vector<ModuleVersion> Object::moduleVersions() {
  std::lock_guard<std::mutex> lock(versionsMutex());
  return versions();
}

std::string demangle(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> text(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && text ? std::string(text.get()) : std::string(mangled);
}

}  // namespace RL
