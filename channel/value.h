// The value model carried by Flutter's standard codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>
#include <type_traits>
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

// The alternatives, in this order, are API: the codec and the tools switch on the index, so each
// index is named below and pinned to its alternative.
//
//   index  alternative            Dart type      wire type byte
//   0      std::monostate         null           0 (null)
//   1      bool                   bool           1 (true) / 2 (false)
//   2      int32_t                int            3 (int32)
//   3      int64_t                int            4 (int64), or 3 when it fits in 32 bits
//   4      double                 double         6 (float64)
//   5      std::string            String         7 (string, UTF-8)
//   6      std::vector<uint8_t>   Uint8List      8
//   7      std::vector<int32_t>   Int32List      9
//   8      std::vector<int64_t>   Int64List      10
//   9      std::vector<double>    Float64List    11
//   10     ValueList              List           12
//   11     ValueMap               Map            13
//   12     std::vector<float>     Float32List    14
using ValueVariant = std::variant<std::monostate, bool, int32_t, int64_t, double, std::string,
                                  std::vector<uint8_t>, std::vector<int32_t>, std::vector<int64_t>,
                                  std::vector<double>, ValueList, ValueMap, std::vector<float>>;

enum ValueIndex : std::size_t {
  kNullIndex = 0,
  kBoolIndex,
  kInt32Index,
  kInt64Index,
  kFloat64Index,
  kStringIndex,
  kUint8ListIndex,
  kInt32ListIndex,
  kInt64ListIndex,
  kFloat64ListIndex,
  kListIndex,
  kMapIndex,
  kFloat32ListIndex,
};

template <ValueIndex I, class T>
inline constexpr bool kIndexHolds = std::is_same_v<std::variant_alternative_t<I, ValueVariant>, T>;
static_assert(kIndexHolds<kNullIndex, std::monostate>);
static_assert(kIndexHolds<kBoolIndex, bool>);
static_assert(kIndexHolds<kInt32Index, int32_t>);
static_assert(kIndexHolds<kInt64Index, int64_t>);
static_assert(kIndexHolds<kFloat64Index, double>);
static_assert(kIndexHolds<kStringIndex, std::string>);
static_assert(kIndexHolds<kUint8ListIndex, std::vector<uint8_t>>);
static_assert(kIndexHolds<kInt32ListIndex, std::vector<int32_t>>);
static_assert(kIndexHolds<kInt64ListIndex, std::vector<int64_t>>);
static_assert(kIndexHolds<kFloat64ListIndex, std::vector<double>>);
static_assert(kIndexHolds<kListIndex, ValueList>);
static_assert(kIndexHolds<kMapIndex, ValueMap>);
static_assert(kIndexHolds<kFloat32ListIndex, std::vector<float>>);
static_assert(std::variant_size_v<ValueVariant> == kFloat32ListIndex + 1);

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
