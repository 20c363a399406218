#pragma once
// One JSON object, built field by field and written as one line.

#include <cstdint>
#include <string>

namespace carillon::cli {

class JsonObject {
public:
    JsonObject& Add(const char* key, const std::string& value);
    JsonObject& Add(const char* key, const char* value) { return Add(key, std::string(value)); }
    JsonObject& Add(const char* key, std::int64_t value);
    JsonObject& Add(const char* key, std::uint32_t value) { return Add(key, static_cast<std::int64_t>(value)); }
    JsonObject& Add(const char* key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
    JsonObject& Add(const char* key, bool value);
    // A nested object or array already written as JSON.
    JsonObject& AddRaw(const char* key, const std::string& json);
    std::string Text() const { return "{" + body_ + "}"; }

private:
    void Key(const char* key);
    std::string body_;
};

// A JSON string literal, quotes included, always valid UTF-8: bytes that are
// not UTF-8 are taken as Latin-1.
std::string JsonString(const std::string& text);

}  // namespace carillon::cli
