#include "channel/standard_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <limits>
#include <ostream>
#include <string_view>
#include <type_traits>

#include "channel/programming_error.h"
#include "text/text.h"

namespace channel {
namespace {

enum Type : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,
  kFloat64 = 6,
  kString = 7,
  kUint8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

constexpr uint8_t kEnvelopeSuccess = 0;
constexpr uint8_t kEnvelopeError = 1;

// Encoding runs in two passes: the first measures the message, so the buffer grows once,
// and the second stores bytes through a raw pointer. This is the key-press hot path.

// Sizes are at most 32 bits on the wire. Nothing this program sends comes near; should a
// caller try, null goes out instead of a corrupt message.
bool tooLarge(std::size_t n) {
  return n > std::numeric_limits<uint32_t>::max();
}

std::size_t sizeFieldLength(std::size_t n) {
  return n < 254 ? 1 : n <= 0xFFFF ? 3 : 5;
}

std::size_t alignUp(std::size_t pos, std::size_t alignment) {
  return (pos + alignment - 1) / alignment * alignment;
}

template <class T>
T load(const char* p) {
  T word;
  std::memcpy(&word, p, sizeof(T));
  return word;
}

// Channel strings are almost always ASCII and short (every map key); only others need the
// full UTF-8 check. Short ones are read in two overlapping words, without a loop.
bool isAscii(std::string_view s) {
  const char* p = s.data();
  const std::size_t n = s.size();
  uint64_t bits = 0;
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 <= n; i += 8) bits |= load<uint64_t>(p + i);
    bits |= load<uint64_t>(p + n - 8);
  } else if (n >= 4) {
    bits = load<uint32_t>(p) | load<uint32_t>(p + n - 4);
  } else if (n > 0) {
    bits = static_cast<unsigned char>(p[0] | p[n / 2] | p[n - 1]);
  }
  return (bits & 0x8080808080808080ull) == 0;
}

// Text that is not UTF-8 would make the Flutter side's decoder throw; it goes out with
// U+FFFD in place of the bad parts.
bool needsRepair(const std::string& s) {
  return !isAscii(s) && !text::isValidUtf8(s);
}

bool fitsInt32(int64_t i) {
  return i >= std::numeric_limits<int32_t>::min() && i <= std::numeric_limits<int32_t>::max();
}

// The length `s` goes out with once repaired; notes that emitting must repair too.
[[gnu::noinline]] std::size_t repairedLength(const std::string& s, bool& repair) {
  if (text::isValidUtf8(s)) return s.size();
  repair = true;
  return text::toValidUtf8(s).size();
}

// Measuring also notes whether any string needs repair, so that emitting can skip the
// check in the usual case.
inline std::size_t measureString(const std::string& s, std::size_t pos, bool& repair) {
  const std::size_t n = isAscii(s) ? s.size() : repairedLength(s, repair);
  if (tooLarge(n)) return pos + 1;
  return pos + 1 + sizeFieldLength(n) + n;
}

template <class T>
std::size_t measureTypedList(const std::vector<T>& v, std::size_t pos) {
  if (tooLarge(v.size())) return pos + 1;
  pos += 1 + sizeFieldLength(v.size());
  return alignUp(pos, sizeof(T)) + v.size() * sizeof(T);
}

std::size_t measure(const Value& v, std::size_t pos, bool& repair);

// Container elements: the common small kinds without a recursive call.
inline std::size_t measureElement(const Value& v, std::size_t pos, bool& repair) {
  switch (v.index()) {
    case kNullIndex:
    case kBoolIndex:
      return pos + 1;
    case kInt32Index:
      return pos + 5;
    case kStringIndex:
      return measureString(*v.get_if<std::string>(), pos, repair);
    default:
      return measure(v, pos, repair);
  }
}

// Where the encoding of `v` ends when it starts at `pos` (alignment depends on `pos`).
std::size_t measure(const Value& v, std::size_t pos, bool& repair) {
  switch (v.index()) {
    case kInt32Index:
      return pos + 5;
    case kInt64Index:
      return pos + (fitsInt32(*v.get_if<int64_t>()) ? 5 : 9);
    case kFloat64Index:
      return alignUp(pos + 1, 8) + 8;
    case kStringIndex:
      return measureString(*v.get_if<std::string>(), pos, repair);
    case kUint8ListIndex:
      return measureTypedList(*v.get_if<std::vector<uint8_t>>(), pos);
    case kInt32ListIndex:
      return measureTypedList(*v.get_if<std::vector<int32_t>>(), pos);
    case kInt64ListIndex:
      return measureTypedList(*v.get_if<std::vector<int64_t>>(), pos);
    case kFloat64ListIndex:
      return measureTypedList(*v.get_if<std::vector<double>>(), pos);
    case kListIndex: {
      const auto& list = *v.get_if<ValueList>();
      if (tooLarge(list.size())) return pos + 1;
      pos += 1 + sizeFieldLength(list.size());
      for (const Value& e : list) pos = measureElement(e, pos, repair);
      return pos;
    }
    case kMapIndex: {
      const auto& map = *v.get_if<ValueMap>();
      if (tooLarge(map.size())) return pos + 1;
      pos += 1 + sizeFieldLength(map.size());
      for (const auto& [key, value] : map) {
        pos = measureElement(value, measureElement(key, pos, repair), repair);
      }
      return pos;
    }
    case kFloat32ListIndex:
      return measureTypedList(*v.get_if<std::vector<float>>(), pos);
    default:  // null, bool, and valueless_by_exception (sent as null)
      return pos + 1;
  }
}

// Stores into a buffer already sized by measure().
class Emitter {
 public:
  // `repair`: some string may need repair (as found by measure()).
  Emitter(uint8_t* base, std::size_t pos, bool repair) : base_(base), pos_(pos), repair_(repair) {}

  void value(const Value& v) {
    switch (v.index()) {
      case kBoolIndex:
        byte(*v.get_if<bool>() ? kTrue : kFalse);
        break;
      case kInt32Index:
        byte(kInt32);
        scalar(*v.get_if<int32_t>());
        break;
      case kInt64Index: {
        const int64_t i = *v.get_if<int64_t>();
        if (fitsInt32(i)) {
          byte(kInt32);
          scalar(static_cast<int32_t>(i));
        } else {
          byte(kInt64);
          scalar(i);
        }
        break;
      }
      case kFloat64Index:
        byte(kFloat64);
        pad(8);
        scalar(*v.get_if<double>());
        break;
      case kStringIndex:
        string(*v.get_if<std::string>());
        break;
      case kUint8ListIndex:
        typedList(kUint8List, *v.get_if<std::vector<uint8_t>>());
        break;
      case kInt32ListIndex:
        typedList(kInt32List, *v.get_if<std::vector<int32_t>>());
        break;
      case kInt64ListIndex:
        typedList(kInt64List, *v.get_if<std::vector<int64_t>>());
        break;
      case kFloat64ListIndex:
        typedList(kFloat64List, *v.get_if<std::vector<double>>());
        break;
      case kListIndex: {
        const auto& list = *v.get_if<ValueList>();
        if (oversized(list.size())) break;
        byte(kList);
        size(list.size());
        for (const Value& e : list) element(e);
        break;
      }
      case kMapIndex: {
        const auto& map = *v.get_if<ValueMap>();
        if (oversized(map.size())) break;
        byte(kMap);
        size(map.size());
        for (const auto& [key, entry] : map) {
          element(key);
          element(entry);
        }
        break;
      }
      case kFloat32ListIndex:
        typedList(kFloat32List, *v.get_if<std::vector<float>>());
        break;
      default:
        byte(kNull);
        break;
    }
  }

  // Container elements: the common small kinds without a recursive call.
  void element(const Value& v) {
    switch (v.index()) {
      case kNullIndex:
        byte(kNull);
        break;
      case kBoolIndex:
        byte(*v.get_if<bool>() ? kTrue : kFalse);
        break;
      case kInt32Index:
        byte(kInt32);
        scalar(*v.get_if<int32_t>());
        break;
      case kStringIndex:
        string(*v.get_if<std::string>());
        break;
      default:
        value(v);
        break;
    }
  }

  void string(const std::string& s) {
    if (repair_ && needsRepair(s)) [[unlikely]] {
      repairedString(s);
      return;
    }
    rawString(s);
  }

  void byte(uint8_t b) { base_[pos_++] = b; }

 private:
  // The wire is little-endian whatever the host is.
  template <class T>
  void scalar(T v) {
    std::memcpy(base_ + pos_, &v, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
      std::reverse(base_ + pos_, base_ + pos_ + sizeof(T));
    }
    pos_ += sizeof(T);
  }

  void size(std::size_t n) {
    if (n < 254) {
      byte(static_cast<uint8_t>(n));
    } else if (n <= 0xFFFF) {
      byte(254);
      scalar(static_cast<uint16_t>(n));
    } else {
      byte(255);
      scalar(static_cast<uint32_t>(n));
    }
  }

  void pad(std::size_t alignment) {
    const std::size_t end = alignUp(pos_, alignment);
    std::memset(base_ + pos_, 0, end - pos_);
    pos_ = end;
  }

  void bytes(const void* from, std::size_t n) {
    uint8_t* to = base_ + pos_;
    const auto* p = static_cast<const uint8_t*>(from);
    // Keys and typed characters are a few bytes: copied in two overlapping moves, without a
    // library call.
    if (n > 16) {
      std::memcpy(to, p, n);
    } else if (n >= 8) {
      std::memcpy(to, p, 8);
      std::memcpy(to + n - 8, p + n - 8, 8);
    } else if (n >= 4) {
      std::memcpy(to, p, 4);
      std::memcpy(to + n - 4, p + n - 4, 4);
    } else if (n > 0) {
      to[0] = p[0];
      to[n / 2] = p[n / 2];
      to[n - 1] = p[n - 1];
    }
    pos_ += n;
  }

  bool oversized(std::size_t n) {
    if (!tooLarge(n)) [[likely]] {
      return false;
    }
    reportProgrammingError("value too large for the standard codec; sent as null");
    byte(kNull);
    return true;
  }

  template <class T>
  void typedList(Type type, const std::vector<T>& v) {
    if (oversized(v.size())) return;
    byte(type);
    size(v.size());
    pad(sizeof(T));  // even when empty, or the reader misplaces what follows
    if constexpr (std::endian::native == std::endian::little || sizeof(T) == 1) {
      bytes(v.data(), v.size() * sizeof(T));
    } else {
      for (T x : v) scalar(x);
    }
  }

  void rawString(std::string_view s) {
    if (oversized(s.size())) return;
    byte(kString);
    size(s.size());
    bytes(s.data(), s.size());
  }

  [[gnu::noinline]] void repairedString(const std::string& s) { rawString(text::toValidUtf8(s)); }

  uint8_t* base_;
  std::size_t pos_;
  bool repair_;
};

// Reads hostile bytes: every size is checked against what remains before anything is
// allocated or read, and containers preallocate only a little, so memory follows the
// bytes actually present rather than the sizes claimed.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool atEnd() const { return pos_ == bytes_.size(); }
  std::size_t remaining() const { return bytes_.size() - pos_; }

  bool readByte(uint8_t& b) {
    if (remaining() < 1) return false;
    b = bytes_[pos_++];
    return true;
  }

  bool readValue(Value& out, int depth = 0) {
    uint8_t type;
    if (!readByte(type)) return false;
    return readValueOfType(type, out, depth);
  }

  // Container elements: strings and small scalars without a recursive call.
  bool readElement(Value& out, int depth) {
    uint8_t type;
    if (!readByte(type)) return false;
    switch (type) {
      case kString:
        return readString(out);
      case kNull:
        return true;  // elements start out null
      case kTrue:
      case kFalse:
        out = type == kTrue;
        return true;
      default:
        return readValueOfType(type, out, depth);
    }
  }

  bool readString(Value& out) {
    std::size_t n;
    if (!readSize(n) || n > remaining()) return false;
    const auto* p = reinterpret_cast<const char*>(bytes_.data() + pos_);
    if (!isAscii({p, n}) && !text::isValidUtf8({p, n})) return false;
    out = std::string(p, n);
    pos_ += n;
    return true;
  }

 private:
  template <class T>
  bool readScalar(T& v) {
    if (remaining() < sizeof(T)) return false;
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, bytes_.data() + pos_, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
      for (std::size_t i = 0; i < sizeof(T) / 2; ++i) {
        std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
      }
    }
    std::memcpy(&v, bytes, sizeof(T));
    pos_ += sizeof(T);
    return true;
  }

  bool readSize(std::size_t& n) {
    uint8_t b;
    if (!readByte(b)) return false;
    if (b < 254) {
      n = b;
      return true;
    }
    if (b == 254) {
      uint16_t v;
      if (!readScalar(v)) return false;
      n = v;
      return true;
    }
    uint32_t v;
    if (!readScalar(v)) return false;
    n = v;
    return true;
  }

  // Padding bytes are skipped unread, whatever they hold.
  bool skipAlignment(std::size_t n) {
    const std::size_t pad = (n - pos_ % n) % n;
    if (remaining() < pad) return false;
    pos_ += pad;
    return true;
  }

  template <class T>
  bool readTypedList(Value& out) {
    std::size_t n;
    if (!readSize(n) || !skipAlignment(sizeof(T))) return false;
    if (n > remaining() / sizeof(T)) return false;
    std::vector<T> v(n);
    if constexpr (std::endian::native == std::endian::little || sizeof(T) == 1) {
      if (n != 0) std::memcpy(v.data(), bytes_.data() + pos_, n * sizeof(T));
      pos_ += n * sizeof(T);
    } else {
      for (T& x : v) readScalar(x);
    }
    out = std::move(v);
    return true;
  }

  static constexpr std::size_t kMaxPrealloc = 256;

  bool readValueOfType(uint8_t type, Value& out, int depth) {
    switch (type) {
      case kNull:
        out = std::monostate{};
        return true;
      case kTrue:
      case kFalse:
        out = type == kTrue;
        return true;
      case kInt32: {
        int32_t v;
        if (!readScalar(v)) return false;
        out = v;
        return true;
      }
      case kInt64: {
        int64_t v;
        if (!readScalar(v)) return false;
        out = v;
        return true;
      }
      case kLargeInt:  // hex digits, carried like a string
      case kString:
        return readString(out);
      case kFloat64: {
        double v;
        if (!skipAlignment(8) || !readScalar(v)) return false;
        out = v;
        return true;
      }
      case kUint8List:
        return readTypedList<uint8_t>(out);
      case kInt32List:
        return readTypedList<int32_t>(out);
      case kInt64List:
        return readTypedList<int64_t>(out);
      case kFloat64List:
        return readTypedList<double>(out);
      case kFloat32List:
        return readTypedList<float>(out);
      case kList: {
        std::size_t n;
        if (depth >= kMaxNestingDepth || !readSize(n) || n > remaining()) return false;
        ValueList list;
        list.reserve(std::min(n, kMaxPrealloc));
        for (std::size_t i = 0; i < n; ++i) {
          list.emplace_back();
          if (!readElement(list.back(), depth + 1)) return false;
        }
        out = std::move(list);
        return true;
      }
      case kMap: {
        std::size_t n;
        if (depth >= kMaxNestingDepth || !readSize(n) || n > remaining() / 2) return false;
        ValueMap map;
        map.reserve(std::min(n, kMaxPrealloc));
        for (std::size_t i = 0; i < n; ++i) {
          auto& entry = map.emplace_back();
          if (!readElement(entry.first, depth + 1) || !readElement(entry.second, depth + 1)) {
            return false;
          }
        }
        out = std::move(map);
        return true;
      }
      default:
        return false;
    }
  }

  std::span<const uint8_t> bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

void encodeValue(const Value& v, std::vector<uint8_t>& out) {
  const std::size_t start = out.size();
  bool repair = false;
  out.resize(measure(v, start, repair));
  Emitter(out.data(), start, repair).value(v);
}

std::vector<uint8_t> encodeMessage(const Value& v) {
  std::vector<uint8_t> out;
  encodeValue(v, out);
  return out;
}

std::optional<Value> decodeMessage(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return Value();
  Reader r(bytes);
  Value v;
  if (!r.readValue(v) || !r.atEnd()) return std::nullopt;
  return v;
}

std::vector<uint8_t> encodeMethodCall(const MethodCall& call) {
  bool repair = false;
  std::vector<uint8_t> out(measure(call.arguments, measureString(call.method, 0, repair), repair));
  Emitter e(out.data(), 0, repair);
  e.string(call.method);
  e.value(call.arguments);
  return out;
}

std::optional<MethodCall> decodeMethodCall(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  Value method;
  MethodCall call;
  if (!r.readValue(method) || !r.readValue(call.arguments) || !r.atEnd()) return std::nullopt;
  auto* name = method.get_if<std::string>();
  if (name == nullptr) return std::nullopt;
  call.method = std::move(*name);
  return call;
}

void encodeSuccessEnvelope(const Value& v, std::vector<uint8_t>& out) {
  bool repair = false;
  out.resize(measure(v, 1, repair));
  Emitter e(out.data(), 0, repair);
  e.byte(kEnvelopeSuccess);
  e.value(v);
}

void encodeErrorEnvelope(const ChannelError& e, std::vector<uint8_t>& out) {
  bool repair = false;
  std::size_t end = measureString(e.code, 1, repair);
  end = e.message ? measureString(*e.message, end, repair) : end + 1;
  out.resize(measure(e.details, end, repair));
  Emitter w(out.data(), 0, repair);
  w.byte(kEnvelopeError);
  w.string(e.code);
  if (e.message) {
    w.string(*e.message);
  } else {
    w.byte(kNull);
  }
  w.value(e.details);
}

std::vector<uint8_t> encodeSuccessEnvelope(const Value& v) {
  std::vector<uint8_t> out;
  encodeSuccessEnvelope(v, out);
  return out;
}

std::vector<uint8_t> encodeErrorEnvelope(const ChannelError& e) {
  std::vector<uint8_t> out;
  encodeErrorEnvelope(e, out);
  return out;
}

std::optional<std::variant<Value, ChannelError>> decodeEnvelope(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  uint8_t kind;
  if (!r.readByte(kind)) return std::nullopt;
  if (kind == kEnvelopeSuccess) {
    Value v;
    if (!r.readValue(v) || !r.atEnd()) return std::nullopt;
    return std::variant<Value, ChannelError>(std::in_place_index<0>, std::move(v));
  }
  if (kind != kEnvelopeError) return std::nullopt;
  Value code, message;
  ChannelError e;
  if (!r.readValue(code) || !r.readValue(message) || !r.readValue(e.details)) return std::nullopt;
  if (!r.atEnd()) {
    Value stackTrace;
    if (!r.readValue(stackTrace) || !r.atEnd()) return std::nullopt;
    if (!stackTrace.isNull() && !stackTrace.is<std::string>()) return std::nullopt;
  }
  auto* codeText = code.get_if<std::string>();
  if (codeText == nullptr) return std::nullopt;
  e.code = std::move(*codeText);
  if (auto* m = message.get_if<std::string>()) {
    e.message = std::move(*m);
  } else if (!message.isNull()) {
    return std::nullopt;
  }
  return std::variant<Value, ChannelError>(std::in_place_index<1>, std::move(e));
}

std::ostream& operator<<(std::ostream& os, const ChannelError& e) {
  os << "ChannelError{" << e.code << ", ";
  if (e.message) {
    os << Value(*e.message);
  } else {
    os << "null";
  }
  return os << ", " << e.details << '}';
}

}  // namespace channel
