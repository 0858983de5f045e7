#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace glowmere::jsontext {

// The system's own JSON writer and readers. They are deliberately simple:
// the readers do not build a syntax tree but turn the top-level commas into
// "|", split there, and split each piece at its first colon. What they give
// for text that does not fit is part of the system's behaviour (the bridge
// client decides whether the bridge reported an error from what the flat
// reader returns), so their odd corners are kept:
//  - the last member of an object loses the closing bracket of an array
//    that ends it (trimming removes every trailing bracket and brace);
//  - an array of objects read as one object keeps the last object's values;
//  - the flat reader gives a reply that holds a nested object as one member,
//    the first key, whose value is the rest of the text with the commas
//    already turned into bars, so a second reading splits it correctly.
// Escapes are honoured inside quoted text (an escaped quote does not end it)
// and leaf texts come back unescaped. Nothing inside quoted text (a bar, a
// comma, a bracket or a brace) changes where a text splits, so a name such
// as "Desk | left" or "Shelf [2]" reads back whole. The readers work on
// views of the reply and copy only what they give back, so their memory is
// linear in the reply's size whatever its nesting. Bytes beyond 7-bit ASCII pass through
// unchanged, so UTF-8 names read back as themselves.
//
// Readers give only texts and nested maps. Numbers, booleans and null come
// back as their text ("254", "true", "null"); arrays as their raw text.

// Writes one JSON object. Map members in key order; numbers as whole 32-bit
// integers truncated toward zero; the texts "true" and "false" and texts
// holding a JSON array bare; booleans as true/false; other texts quoted and
// escaped.
std::string JSONFromDictionary(const Value& dictionary);

// Nesting reader: nested objects become nested maps.
Value dictionaryOfDictionariesFromJSON(std::string_view text);
Value dictionaryOfDictionariesFromJSON(const std::string& text);
Value dictionaryOfDictionariesFromJSON(const std::optional<std::string>& text);
inline Value dictionaryOfDictionariesFromJSON(const char* text) {
    return dictionaryOfDictionariesFromJSON(std::string_view(text ? text : ""));
}

// Flat reader: a map of texts, no recursion.
Value dictionaryFromJSON(std::string_view text);
Value dictionaryFromJSON(const std::string& text);
Value dictionaryFromJSON(const std::optional<std::string>& text);
inline Value dictionaryFromJSON(const char* text) {
    return dictionaryFromJSON(std::string_view(text ? text : ""));
}

// Array reader: one nesting reading per top-level piece; gives a list.
Value arrayOfDictionariesFromJSON(std::string_view text);
Value arrayOfDictionariesFromJSON(const std::string& text);
Value arrayOfDictionariesFromJSON(const std::optional<std::string>& text);
inline Value arrayOfDictionariesFromJSON(const char* text) {
    return arrayOfDictionariesFromJSON(std::string_view(text ? text : ""));
}

// True when `text` is exactly one well-formed JSON array.
bool isJSONArrayText(std::string_view text);
// True when `text` is exactly one well-formed JSON object or array.
bool isJSONText(std::string_view text);

// JSON string escaping and unescaping (without the surrounding quotes).
std::string escapeJSONText(std::string_view text);
std::string unescapeJSONText(std::string_view text);

}  // namespace glowmere::jsontext
