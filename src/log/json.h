#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace ov {

// The JSON the tools write: members in the order they are set.
using Json = nlohmann::ordered_json;

// One line of JSON without blanks. Bytes that are not UTF-8 (a path or a process name may hold
// any) become U+FFFD, so every line a script reads is valid JSON.
std::string DumpJson(const Json& value);

// A text, or null for an empty one: a value the run never learnt.
Json TextOrNull(const std::string& text);

}  // namespace ov
