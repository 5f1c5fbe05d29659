#pragma once
// The causes of system failures in the user's language (Slovak), so that every failure the
// user sees names the file and why: "disk je plný", "prístup zamietnutý", ...
#include <string>
#include <system_error>

namespace vexa {

// The Slovak cause of an errno value ("disk je plný" for ENOSPC); a generic text for others.
std::string SysCause(int err);
std::string SysCause(const std::error_code& ec);

// "<what>\r(<path>: <cause>)"
std::string FileFailure(const std::string& what, const std::string& path, int err);

// The message for an out-of-memory failure ("Nedostatok pamäte"), with what was being done.
std::string OutOfMemoryMessage(const std::string& during = std::string());

}  // namespace vexa

#include <exception>
namespace vexa {
// What the user is shown for an exception: out of memory and file system failures in
// Slovak with the path and the cause (never "std::bad_alloc" raw), other messages as they are.
std::string UserMessage(const std::exception& e);
// The Slovak cause when e is a failure of the system (out of memory, a file system error);
// empty for any other exception.
std::string SystemCause(const std::exception& e);
}  // namespace vexa
