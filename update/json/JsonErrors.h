// Errors raised by the JSON document model. The typed member lookups raise
// EInvalidCast when a member has another kind than asked for; loading a file
// that exists but cannot be opened raises EFOpenError. Callers that read
// outside input catch them at the end of their task (the update run, the
// server list reply), never across a thread's entry point.
#pragma once

#include <stdexcept>
#include <string>

namespace lg {

class EInvalidCast : public std::runtime_error {
 public:
  EInvalidCast() : std::runtime_error("Invalid class typecast") {}
};

class EFOpenError : public std::runtime_error {
 public:
  explicit EFOpenError(const std::string& path) : std::runtime_error("Cannot open file \"" + path + "\"") {}
};

}  // namespace lg
