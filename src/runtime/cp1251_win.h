// UTF-16 text of the platform's wide functions in code page 1251, never best-fitted: a character
// the code page cannot hold is not replaced by a look-alike ("é" does not become "e").
#pragma once
#include <string>

namespace vestrand {

// `text` in code page 1251 with "?" for each character the code page cannot hold; `exact`, when
// given, tells whether there was none.
std::string NarrowCp1251(const std::wstring& text, bool* exact = nullptr);

} // namespace vestrand
