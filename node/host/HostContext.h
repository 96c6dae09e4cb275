#ifndef RILL_HOSTCONTEXT_H
#define RILL_HOSTCONTEXT_H

#include <iosfwd>
#include <string>

namespace RL {

// What a host lends the nodes it builds, beside their parameters: the folder
// in which a node creates its files and the stream its console lines go to.
// A host that shares its process with others (a language binding, a plug-in
// host) sets both, so that no node depends on the process's current
// directory or writes to its standard output. Left empty, a node uses the
// current directory and std::cout.
struct HostContext {
  std::string folder;               // empty: the current directory
  std::ostream* console = nullptr;  // null: std::cout; must outlive the nodes
};

}  // namespace RL

#endif
