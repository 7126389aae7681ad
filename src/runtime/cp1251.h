// Code page 1251, the code page of everything the user reads or stores (settings file, dialog,
// registry value, journal), and the text of a name that it cannot hold.
#pragma once
#include <string>

namespace vestrand {

// The UTF-16 text of code page 1251 bytes (every byte has a character).
std::wstring WidenCp1251(const std::string& text);

// The code page 1251 byte of a UTF-16 unit; false when the code page has none.
bool Cp1251Byte(wchar_t unit, unsigned char& byte);

// A path as the journal writes it: code page 1251, where each character the code page cannot
// hold, and each control character (below U+0020), is written "<U+" + its code point in upper-case
// hexadecimal of at least four digits + ">"; a character beyond the basic plane is one code point,
// never two surrogates. '<' and '>' cannot stand in file names, so the form reads back unambiguously
// and no name can break or forge a journal line.
std::string JournalText(const std::wstring& path);
// The path a journal text names: the inverse of JournalText. A "<U+...>" that JournalText cannot
// have written (fewer than four or more than six digits, lower case, beyond U+10FFFF) stays text.
std::wstring PathOfJournalText(const std::string& text);

} // namespace vestrand
