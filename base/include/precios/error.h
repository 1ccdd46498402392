// The project's one error base type.
//
// Every failure in this project, from the embedded engine up to the window, is
// an exception derived from precios::Error. It carries a kind (so callers can
// tell "the file is locked" from "the file is corrupt" without parsing text),
// a message, the names the failure is about (for a caller that words its own
// message), and optionally the error it wraps (the "inner" chain the error
// report walks to show the innermost message).
//
// Header-only and standard-library-only so that the engine can use it.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace precios {

enum class ErrorKind {
    Generic,
    NotFound,         // a table, column, file or row that is not there
    Corrupt,          // the file contradicts its own structure
    NotSupported,     // a valid file or statement we do not handle
    InvalidArgument,  // a caller passed something meaningless
    Syntax,           // a statement that does not parse
    Io,               // the operating system refused a read or write
    Locked,           // another process holds the database
    OpenElsewhere,    // Access has the database open; names(): the computers, "" for unknown
    ReadOnly,         // the file or the connection cannot be written
    Conversion,       // a text that is not a number
    Arithmetic,       // division by zero, overflow
    Constraint,  // a change the table's rules refuse: a missing required value, a duplicate key
    Abort,       // the silent kind: the error report shows nothing
};

class Error : public std::exception {
  public:
    explicit Error(std::string message, ErrorKind kind = ErrorKind::Generic)
        : message_(std::move(message)), kind_(kind) {}
    Error(std::string message, ErrorKind kind, std::vector<std::string> names)
        : message_(std::move(message)), kind_(kind), names_(std::move(names)) {}
    // Wraps inner, keeping its names.
    Error(std::string message, ErrorKind kind, const Error& inner)
        : message_(std::move(message)),
          kind_(kind),
          names_(inner.names()),
          inner_(std::make_shared<Error>(inner)) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    ErrorKind kind() const noexcept { return kind_; }
    const std::vector<std::string>& names() const noexcept { return names_; }
    // The wrapped error, or nullptr. Only its message and kind are kept.
    const Error* inner() const noexcept { return inner_.get(); }

  private:
    std::string message_;
    ErrorKind kind_;
    std::vector<std::string> names_;
    std::shared_ptr<Error> inner_;
};

// The silent kind: thrown to abandon a handler without any report.
class Abort : public Error {
  public:
    Abort() : Error("Operation aborted", ErrorKind::Abort) {}
};

}  // namespace precios
