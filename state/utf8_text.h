// UTF-8, the encoding of every text inside the program: names, paths, key names, page texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rv {

// The text with every ill-formed sequence (a stray continuation byte, a cut or overlong sequence,
// an encoded surrogate, a value above U+10FFFF) replaced by U+FFFD, one for each maximal ill-formed
// part; well-formed text comes back unchanged.
std::string validUtf8(std::string_view text);

// The length of the text in UTF-16 code units, the unit in which Windows counts path lengths: one
// per character, two above U+FFFF; an ill-formed byte counts as the one U+FFFD that replaces it.
size_t utf16Length(std::string_view text);

}  // namespace rv
