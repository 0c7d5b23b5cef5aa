#pragma once

#include <string>
#include <string_view>

namespace kelvane {

// ASCII-only lower case, as the content's names are compared; the same
// whatever the user's locale.
char AsciiLower(char c);
std::string AsciiLower(std::string_view text);
// ASCII-only upper case, as Windows folds names when it lists a folder.
std::string AsciiUpper(std::string_view text);

// The ending of a file name from its last '.', ASCII lower-cased, as in
// ".im". Either slash separates folders; a name without a dot, or whose
// only dot starts it (".profile", ".."), has no ending.
std::string LowerExtension(std::string_view fileName);

// Equal but for ASCII case, as Windows compares names.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// A file name read from content without its folder part: everything up to
// and including the last '\', '/' or ':' is dropped, so the name can only
// be looked up in the folder it is resolved against.
std::string BareTextureName(std::string_view name);

// Fixed-point text with a point as the decimal separator whatever the
// user's locale; a value that rounds to zero never shows a minus sign.
std::string FormatFixed(double value, int decimals);

}  // namespace kelvane
