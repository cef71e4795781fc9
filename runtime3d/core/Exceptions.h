#pragma once
// The runtime reports failures as exceptions that carry a message meant for a person.
// Nothing in the program catches them; the application's handler shows the message
// of the innermost one (see std::throw_with_nested) and keeps the event loop going.

#include <stdexcept>
#include <string>

namespace rt3d {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A silent abort: the application's handler drops it without a word.
class EAbort : public Exception {
 public:
  EAbort() : Exception(std::string()) {}
};

class EArgumentOutOfRangeException : public Exception {
 public:
  EArgumentOutOfRangeException() : Exception("Argument out of range") {}
};

class EBitmapLoadingFailed : public Exception {
 public:
  EBitmapLoadingFailed() : Exception("Loading bitmap failed.") {}
};

class EBitmapSavingFailed : public Exception {
 public:
  EBitmapSavingFailed() : Exception("Saving bitmap failed.") {}
};

class EFCreateError : public Exception {
  using Exception::Exception;
};

// Writing to a file that was created failed part-way (disk full, file size limit).
class EWriteError : public Exception {
  using Exception::Exception;
};

class ECannotFindShader : public Exception {
  using Exception::Exception;
};

class EContext3DException : public Exception {
  using Exception::Exception;
};

class EInvalidArgument : public Exception {
  using Exception::Exception;
};

}  // namespace rt3d
