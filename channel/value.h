// The value model carried by Flutter's standard codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace channel {

class Value;
using ValueList = std::vector<Value>;

// A map kept as (key, value) pairs in insertion order. The event maps sent on every key
// press are small, so a flat vector is quicker to build, encode and search than a tree.
// Keys may repeat when a map was decoded from the wire; the last occurrence wins
// everywhere (lookup, equality), as on the Flutter side.
class ValueMap {
 public:
  using Entry = std::pair<Value, Value>;
  using const_iterator = std::vector<Entry>::const_iterator;
  using iterator = std::vector<Entry>::iterator;

  ValueMap() = default;
  ValueMap(std::initializer_list<Entry> entries);

  // The value stored under `key` (the last occurrence), or nullptr.
  const Value* find(std::string_view key) const;
  const Value* find(const Value& key) const;
  Value* find(std::string_view key);
  Value* find(const Value& key);
  // Plain string keys must not go through the Value overload.
  const Value* find(const char* key) const { return find(std::string_view(key)); }
  const Value* find(const std::string& key) const { return find(std::string_view(key)); }
  Value* find(const char* key) { return find(std::string_view(key)); }
  Value* find(const std::string& key) { return find(std::string_view(key)); }
  bool contains(std::string_view key) const;

  // Replaces the value of an existing key, otherwise appends.
  void set(Value key, Value value);
  void insert_or_assign(Value key, Value value);
  // Appends without looking for the key first (the decoder and hot-path builders).
  void append(Value key, Value value);
  // Appends a null key and value to be filled in place.
  Entry& emplace_back();

  // Stored entries; differs from the number of distinct keys only for a decoded map
  // with repeated keys.
  std::size_t size() const;
  bool empty() const;
  void reserve(std::size_t n);
  void clear();

  const_iterator begin() const;
  const_iterator end() const;
  iterator begin();
  iterator end();

  // Compares the effective content (last occurrence of each key), in any order.
  friend bool operator==(const ValueMap& a, const ValueMap& b);

 private:
  std::vector<Entry> entries_;
};

using ValueVariant = std::variant<std::monostate, bool, int32_t, int64_t, double, std::string,
                                  std::vector<uint8_t>, std::vector<int32_t>, std::vector<int64_t>,
                                  std::vector<double>, ValueList, ValueMap, std::vector<float>>;

class Value : public ValueVariant {
 public:
  using ValueVariant::ValueVariant;
  using ValueVariant::operator=;

  Value() = default;
  // Without these a string literal would pick the bool alternative.
  Value(const char* s) : ValueVariant(std::string(s)) {}
  Value(std::string_view s) : ValueVariant(std::string(s)) {}
  // Otherwise nullptr would pick the const char* constructor and crash.
  Value(std::nullptr_t) {}

  bool isNull() const { return std::holds_alternative<std::monostate>(*this); }
  template <class T>
  bool is() const {
    return std::holds_alternative<T>(*this);
  }
  template <class T>
  const T* get_if() const {
    return std::get_if<T>(static_cast<const ValueVariant*>(this));
  }
  template <class T>
  T* get_if() {
    return std::get_if<T>(static_cast<ValueVariant*>(this));
  }

  const ValueVariant& variant() const { return *this; }

  friend bool operator==(const Value& a, const Value& b) {
    return static_cast<const ValueVariant&>(a) == static_cast<const ValueVariant&>(b);
  }
};

// ValueMap members that need Value complete.
inline bool ValueMap::contains(std::string_view key) const {
  return find(key) != nullptr;
}
inline std::size_t ValueMap::size() const {
  return entries_.size();
}
inline bool ValueMap::empty() const {
  return entries_.empty();
}
inline void ValueMap::reserve(std::size_t n) {
  entries_.reserve(n);
}
inline void ValueMap::clear() {
  entries_.clear();
}
inline ValueMap::const_iterator ValueMap::begin() const {
  return entries_.begin();
}
inline ValueMap::const_iterator ValueMap::end() const {
  return entries_.end();
}
inline ValueMap::iterator ValueMap::begin() {
  return entries_.begin();
}
inline ValueMap::iterator ValueMap::end() {
  return entries_.end();
}
inline void ValueMap::append(Value key, Value value) {
  entries_.emplace_back(std::move(key), std::move(value));
}
inline ValueMap::Entry& ValueMap::emplace_back() {
  return entries_.emplace_back();
}

// A readable, JSON-like rendering for logs and test failure messages.
std::string toDebugString(const Value& v);
std::ostream& operator<<(std::ostream& os, const Value& v);

}  // namespace channel
