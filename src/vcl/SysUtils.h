// The class library's exception family. Messages are UTF-8 text shown to the user as they are.
#pragma once

#include <exception>
#include <string>

namespace vcl {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Silent exception: the default handler ignores it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

class EInvalidOperation : public Exception {
  using Exception::Exception;
};

class EOutOfResources : public Exception {
  using Exception::Exception;
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("メモリが不足しています") {}
};

// A stored layout that cannot be read.
class EReadError : public Exception {
  using Exception::Exception;
};

}  // namespace vcl
