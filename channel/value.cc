#include "channel/value.h"

#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>

namespace channel {

// Appends without de-duplicating: a repeated key is shadowed by its last occurrence anyway,
// and event maps are built on every key press.
ValueMap::ValueMap(std::initializer_list<Entry> entries) : entries_(entries) {}

const Value* ValueMap::find(std::string_view key) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    const auto* s = it->first.get_if<std::string>();
    if (s != nullptr && *s == key) return &it->second;
  }
  return nullptr;
}

const Value* ValueMap::find(const Value& key) const {
  if (const auto* s = key.get_if<std::string>()) return find(std::string_view(*s));
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->first == key) return &it->second;
  }
  return nullptr;
}

Value* ValueMap::find(std::string_view key) {
  return const_cast<Value*>(static_cast<const ValueMap*>(this)->find(key));
}

Value* ValueMap::find(const Value& key) {
  return const_cast<Value*>(static_cast<const ValueMap*>(this)->find(key));
}

void ValueMap::set(Value key, Value value) {
  if (Value* existing = find(key)) {
    *existing = std::move(value);
  } else {
    entries_.emplace_back(std::move(key), std::move(value));
  }
}

void ValueMap::insert_or_assign(Value key, Value value) {
  set(std::move(key), std::move(value));
}

namespace {

// True when a later entry has the same key, so entry `i` is not in effect.
bool shadowed(const std::vector<ValueMap::Entry>& entries, std::size_t i) {
  for (std::size_t j = i + 1; j < entries.size(); ++j) {
    if (entries[j].first == entries[i].first) return true;
  }
  return false;
}

}  // namespace

bool operator==(const ValueMap& a, const ValueMap& b) {
  std::size_t effectiveA = 0;
  for (std::size_t i = 0; i < a.entries_.size(); ++i) {
    if (shadowed(a.entries_, i)) continue;
    ++effectiveA;
    const Value* other = b.find(a.entries_[i].first);
    if (other == nullptr || !(*other == a.entries_[i].second)) return false;
  }
  std::size_t effectiveB = 0;
  for (std::size_t i = 0; i < b.entries_.size(); ++i) {
    if (!shadowed(b.entries_, i)) ++effectiveB;
  }
  return effectiveA == effectiveB;
}

namespace {

void writeString(std::ostream& os, const std::string& s) {
  os << '"';
  for (char c : s) {
    switch (c) {
      case '"':
        os << "\\\"";
        break;
      case '\\':
        os << "\\\\";
        break;
      case '\n':
        os << "\\n";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
          os << buf;
        } else {
          os << c;
        }
    }
  }
  os << '"';
}

void writeDouble(std::ostream& os, double d) {
  if (std::isnan(d)) {
    os << "nan";
  } else if (std::isinf(d)) {
    os << (d < 0 ? "-inf" : "inf");
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    std::string s(buf);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    os << s;
  }
}

template <class T>
void writeNumbers(std::ostream& os, const char* tag, const std::vector<T>& v) {
  os << tag << '[';
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (i) os << ", ";
    if constexpr (std::is_floating_point_v<T>) {
      writeDouble(os, static_cast<double>(v[i]));
    } else {
      os << static_cast<int64_t>(v[i]);
    }
  }
  os << ']';
}

void write(std::ostream& os, const Value& v) {
  if (v.isNull()) {
    os << "null";
  } else if (const auto* b = v.get_if<bool>()) {
    os << (*b ? "true" : "false");
  } else if (const auto* i = v.get_if<int32_t>()) {
    os << *i;
  } else if (const auto* l = v.get_if<int64_t>()) {
    os << *l << 'L';
  } else if (const auto* d = v.get_if<double>()) {
    writeDouble(os, *d);
  } else if (const auto* s = v.get_if<std::string>()) {
    writeString(os, *s);
  } else if (const auto* u8 = v.get_if<std::vector<uint8_t>>()) {
    writeNumbers(os, "bytes", *u8);
  } else if (const auto* i32 = v.get_if<std::vector<int32_t>>()) {
    writeNumbers(os, "int32s", *i32);
  } else if (const auto* i64 = v.get_if<std::vector<int64_t>>()) {
    writeNumbers(os, "int64s", *i64);
  } else if (const auto* f64 = v.get_if<std::vector<double>>()) {
    writeNumbers(os, "float64s", *f64);
  } else if (const auto* f32 = v.get_if<std::vector<float>>()) {
    writeNumbers(os, "float32s", *f32);
  } else if (const auto* list = v.get_if<ValueList>()) {
    os << '[';
    for (std::size_t k = 0; k < list->size(); ++k) {
      if (k) os << ", ";
      write(os, (*list)[k]);
    }
    os << ']';
  } else if (const auto* map = v.get_if<ValueMap>()) {
    os << '{';
    bool first = true;
    for (const auto& [key, value] : *map) {
      if (!first) os << ", ";
      first = false;
      write(os, key);
      os << ": ";
      write(os, value);
    }
    os << '}';
  }
}

}  // namespace

std::string toDebugString(const Value& v) {
  std::ostringstream os;
  write(os, v);
  return os.str();
}

std::ostream& operator<<(std::ostream& os, const Value& v) {
  write(os, v);
  return os;
}

}  // namespace channel
