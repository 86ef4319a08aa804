// Building the JSON object of a walk of result fields (see result_fields.h).
#pragma once

#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace torvwy::core {

/// Builds the JSON object of a walk of result fields.
class JsonFields {
 public:
  void Value(const char* key, bool value) { (*object_)[key] = value; }
  void Value(const char* key, int32_t value) { (*object_)[key] = value; }
  void Value(const char* key, int64_t value) { (*object_)[key] = value; }
  void Value(const char* key, double value) { (*object_)[key] = value; }
  void Value(const char* key, std::string_view value) { (*object_)[key] = std::string(value); }

  template <typename T>
  void Values(const char* key, std::span<const T> values) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const T value : values) array.push_back(value);
    (*object_)[key] = std::move(array);
  }

  template <typename Walk>
  void Object(const char* key, const Walk& walk) {
    nlohmann::ordered_json nested = nlohmann::ordered_json::object();
    nlohmann::ordered_json* outer = object_;
    object_ = &nested;
    walk(*this);
    object_ = outer;
    (*object_)[key] = std::move(nested);
  }

  nlohmann::ordered_json Take() { return std::move(root_); }

 private:
  nlohmann::ordered_json root_ = nlohmann::ordered_json::object();
  nlohmann::ordered_json* object_ = &root_;
};

template <typename Record, typename Walk>
nlohmann::ordered_json JsonOf(const Record& record, Walk walk) {
  JsonFields json;
  walk(record, json);
  return json.Take();
}

}  // namespace torvwy::core
