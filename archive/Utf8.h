// UTF-8 as the file system, the tag files of bags and XML want it: decoded
// strictly (no overlong form, no surrogate, nothing beyond U+10FFFF), so that
// what a disk or a bag holds is checked by one rule everywhere.
#pragma once

#include <cstddef>
#include <string>

// The length of the well-formed UTF-8 sequence at `text[at]`, its code point
// in `code`; 0 when none starts there (a lone continuation byte, an overlong
// form, a surrogate, a cut end).
size_t Utf8Length(const std::string& text, size_t at, char32_t& code);

// Whether the whole text is well-formed UTF-8.
bool IsUtf8(const std::string& text);

// Appends the code point's UTF-8 form.
void AppendUtf8(char32_t code, std::string& text);
