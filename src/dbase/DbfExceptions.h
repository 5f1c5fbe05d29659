#pragma once
// Exceptions of the dBASE table object.
#include "common/Exception.h"

#include <string>

namespace vexa {

// "Only DBF file supported.", a field type whose values are not written here
// (dbase/FieldTypes.h) and the table object's other refusals.
class EDbfException : public Exception {
public:
    using Exception::Exception;
};

// The table engine failed: a missing, damaged or unwritable table file.
// The message names the file on its second line.
class EDbfEngineError : public EDbfException {
public:
    using EDbfException::EDbfException;
    EDbfEngineError(const std::string& what, const std::string& path);
};

// Another user or process holds the table file.
class EDbfTableInUse : public EDbfEngineError {
public:
    explicit EDbfTableInUse(const std::string& path);
};

// A filter expression that the table cannot evaluate.
class EDbfFilterError : public EDbfException {
public:
    using EDbfException::EDbfException;
};

}  // namespace vexa
