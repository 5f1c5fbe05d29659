#pragma once
// Root of every exception the system raises: carries only a message.
// Messages are UTF-8; "\r" splits a message into lines as the user sees it.
#include <stdexcept>
#include <string>

namespace vexa {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Raised where a text cannot be read as a number (the run-time library's conversion error).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace vexa
