#include "runtime/error.h"

namespace vestrand {

std::string FormatErrorText(const char* pattern, const std::string& name) {
    std::string text(pattern);
    const auto at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, name);
    return text;
}

void RaiseError(const char* pattern, const std::string& name) {
    throw VestrandError(FormatErrorText(pattern, name));
}

std::string ErrorBoxText(const std::string& message) {
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

} // namespace vestrand
