#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace glowmere::platform {

// XML property lists: dict, array, string, integer, real, true/false, date
// and data (kept as its base64 text). Null values have no form in a property
// list; the writer leaves null members and items out.
std::string writePropertyList(const Value& root);

// Reads a whole document. Gives nothing (and the reason in `error`) for text
// that is not a well-formed property list; never throws.
std::optional<Value> readPropertyList(std::string_view xml, std::string* error = nullptr);

}  // namespace glowmere::platform
