#ifndef RILL_EXCEPTION_H
#define RILL_EXCEPTION_H

#include <memory>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

#include "node/host/Object.h"

namespace RL {

class Node;
class ExceptionStack;

// Framework errors travel as pointers: `throw new NodeException(...)`. Whoever
// catches one owns it and deletes it.
class BaseException {
 public:
  virtual ~BaseException() = default;
  virtual void print(std::ostream& out) const = 0;
  // The whole text, as print() writes it.
  std::string message() const;
  // Returns a stack holding this exception followed by e (takes both).
  virtual ExceptionStack* add(BaseException* e);
};

class ExceptionStack : public BaseException {
 public:
  ExceptionStack() = default;
  ExceptionStack(const ExceptionStack&) = delete;
  ExceptionStack& operator=(const ExceptionStack&) = delete;
  ~ExceptionStack() override;
  void print(std::ostream& out) const override;
  ExceptionStack* add(BaseException* e) override;
  const std::vector<BaseException*>& entries() const { return stack; }

 private:
  std::vector<BaseException*> stack;
};

class GeneralException : public BaseException {
 public:
  GeneralException(std::string message, std::string file, int line)
      : text(std::move(message)), file(std::move(file)), line(line) {}
  void print(std::ostream& out) const override;
  const std::string& what() const { return text; }

 private:
  std::string text;
  std::string file;
  int line;
};

class NodeException : public BaseException {
 public:
  NodeException(const Node* node, std::string message, std::string file, int line);
  void print(std::ostream& out) const override;
  const std::string& what() const { return text; }
  const std::string& nodeName() const { return node; }

 private:
  std::string node;
  std::string text;
  std::string file;
  int line;
};

class BufferException : public BaseException {
 public:
  BufferException(std::string message, int element) : text(std::move(message)), element(element) {}
  void print(std::ostream& out) const override;
  const std::string& what() const { return text; }

 private:
  std::string text;
  int element;
};

// A value object that is not of the type the reader needs.
template <class T>
class CastException : public BaseException {
 public:
  explicit CastException(std::string typeName) : type(std::move(typeName)) {}
  void print(std::ostream& out) const override {
    out << "Cast error: Trying to cast ObjectRef (" << type << ") into "
        << demangle(typeid(T).name()) << "\n";
  }
  const std::string& sourceType() const { return type; }

 private:
  std::string type;
};

}  // namespace RL

#endif
