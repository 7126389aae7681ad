// The program's error type and the texts it carries.
#pragma once
#include <stdexcept>
#include <string>

namespace vestrand {

// An error raised by the engine, the settings file or the framework; what() is the message shown.
class VestrandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kErrCannotOpenFile = "Cannot open file %s";
inline constexpr const char* kErrCannotCreateFile = "Cannot create file %s";
inline constexpr const char* kErrStreamRead = "Stream read error";
inline constexpr const char* kErrStreamWrite = "Stream write error";
inline constexpr const char* kErrUnableToWrite = "Unable to write to %s";

// Puts `name` in place of the first "%s" of `pattern`.
std::string FormatErrorText(const char* pattern, const std::string& name);

[[noreturn]] void RaiseError(const char* pattern, const std::string& name = std::string());

// The text of the error box: the message, with a full stop appended when the code of its last
// character is above that of the full stop.
std::string ErrorBoxText(const std::string& message);

} // namespace vestrand
