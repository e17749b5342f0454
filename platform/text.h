#pragma once
// Text helpers on UTF-8 strings. Case-insensitive comparisons fold every letter by the Unicode
// rules (so "ä" equals "Ä" and "ß" equals "ss"), not only ASCII; invalid UTF-8 sequences count
// as U+FFFD. Pure-ASCII texts take a fast path that gives the same results.

#include <string>
#include <string_view>

namespace brelix::platform {

//! True when a and b are equal without regard to case (full Unicode case folding).
bool SameText(std::string_view a, std::string_view b);
//! <0, 0 or >0 comparing a and b without regard to case (full Unicode case folding).
int CompareText(std::string_view a, std::string_view b);
//! The text in upper case by the Unicode rules ("straße" gives "STRASSE").
std::string UpperCase(std::string_view s);
//! The text in lower case by the Unicode rules.
std::string LowerCase(std::string_view s);
//! The text without leading and trailing blanks and control characters (codes up to 32).
std::string Trim(std::string_view s);
//! True when s starts with prefix, compared exactly.
bool StartsWith(std::string_view s, std::string_view prefix);
//! True when s is a valid identifier: an ASCII letter or "_" followed by ASCII letters, digits
//! or "_".
bool IsIdentifier(std::string_view s);
//! Appends the UTF-8 encoding of a code point to out; surrogates and values past U+10FFFF are
//! written as U+FFFD.
void AppendUtf8(std::string& out, char32_t code_point);

}  // namespace brelix::platform
