#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

// A JSON string with its quotes: escapes what JSON requires, keeps valid UTF-8, and puts
// U+FFFD in place of bytes that are not (a path or a process name may hold any bytes).
std::string JsonString(const std::string& text);

// "[a,b]" of values already written as JSON.
std::string JsonArray(const std::vector<std::string>& values);

// One JSON object without blanks, its members in the order they are added:
//   JsonObject().Number("schema", 1).Text("port", path).Close()  ->  {"schema":1,"port":"..."}
class JsonObject {
public:
    JsonObject& Text(std::string_view name, const std::string& value) { return Raw(name, JsonString(value)); }
    // null for an empty text: a value the run never learnt.
    JsonObject& TextOrNull(std::string_view name, const std::string& value) {
        return Raw(name, value.empty() ? "null" : JsonString(value));
    }
    JsonObject& Number(std::string_view name, std::integral auto value) { return Raw(name, std::to_string(value)); }
    JsonObject& Flag(std::string_view name, bool value) { return Raw(name, value ? "true" : "false"); }
    // A value already written as JSON: a nested object or array, a formatted number.
    JsonObject& Raw(std::string_view name, std::string_view json);
    std::string Close() const { return text_ + "}"; }

private:
    std::string text_ = "{";
};

}  // namespace ov
