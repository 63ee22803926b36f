// Text helpers of the host's naming services: word-held identifiers, blank
// padded slots and the "BLOCK.TEXT" names of variables and equations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace r3::host {

// Characters of `nwords` 4-byte words (blank-padded text).
std::string words_to_text(const int32_t* words, int nwords);
// Packs text into words, blank-padded.
void text_to_words(std::string_view text, int32_t* words, int nwords);
// Without leading and trailing blanks.
std::string trim(std::string_view text);
// Copies text into a slot of `size` bytes, blank-padded, cut at the slot end.
void put_text(std::string_view text, char* slot, size_t size);
// Writes "BLOCKID.TEXT" (identifier without blanks, a dot, the text without
// trailing blanks) into a name slot of 4*lname bytes.
void write_name(const int32_t* idblk, std::string_view text, int32_t lname, char* slot);
// Identifier of the run's component at a 1-based index ("?" when out of range).
std::string component_id(int32_t index);

}  // namespace r3::host
