#pragma once
// Modal message boxes of the windows, behind an interface so that tests can
// answer them. Texts are UTF-8; "\r" separates lines.
#include <string>

namespace vexa {

enum class TMsgType {
    Warning,      // OK button
    Error,        // OK button; the application's report of an error that ended an action
    Information,  // OK button
    Question,     // Yes and No buttons
    WarningForAll,  // OK and "OK pre všetky" buttons: the same warning may follow many times
};

enum class TMsgResult { Ok, Yes, No, OkForAll };

// The second button of a TMsgType::WarningForAll box: no more such boxes in this run.
inline constexpr const char* kOkForAll = "OK pre všetky";

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    virtual TMsgResult Show(TMsgType type, const std::string& text) = 0;
};

}  // namespace vexa
