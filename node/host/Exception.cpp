#include "node/host/Exception.h"

#include <sstream>

#include "node/host/Node.h"

namespace RL {

std::string BaseException::message() const {
  std::ostringstream out;
  print(out);
  return out.str();
}

ExceptionStack* BaseException::add(BaseException* e) {
  auto* stack = new ExceptionStack;
  stack->add(this);
  stack->add(e);
  return stack;
}

ExceptionStack::~ExceptionStack() {
  for (BaseException* e : stack) delete e;
}

void ExceptionStack::print(std::ostream& out) const {
  for (const BaseException* e : stack) e->print(out);
}

ExceptionStack* ExceptionStack::add(BaseException* e) {
  stack.push_back(e);
  return this;
}

void GeneralException::print(std::ostream& out) const {
  out << file << ", line " << line << ": " << text << "\n";
}

NodeException::NodeException(const Node* n, std::string message, std::string f, int l)
    : node(n ? n->getName() : std::string("unknown")),
      text(std::move(message)),
      file(std::move(f)),
      line(l) {}

void NodeException::print(std::ostream& out) const {
  out << file << ", line " << line << ": Node " << node << ": " << text << "\n";
}

void BufferException::print(std::ostream& out) const {
  out << "Buffer error: " << text << " (element " << element << ")\n";
}

}  // namespace RL
