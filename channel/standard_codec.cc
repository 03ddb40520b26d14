#include "channel/standard_codec.h"

#include <bit>
#include <cstring>
#include <iterator>
#include <limits>
#include <ostream>
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

// The wire is little-endian whatever the host is.
template <class T>
void appendScalar(std::vector<uint8_t>& out, T v) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &v, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
  }
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

void align(std::vector<uint8_t>& out, std::size_t n) {
  const std::size_t pad = (n - out.size() % n) % n;
  out.insert(out.end(), pad, 0);
}

void writeSize(std::vector<uint8_t>& out, std::size_t n) {
  if (n < 254) {
    out.push_back(static_cast<uint8_t>(n));
  } else if (n <= 0xFFFF) {
    out.push_back(254);
    appendScalar(out, static_cast<uint16_t>(n));
  } else {
    out.push_back(255);
    appendScalar(out, static_cast<uint32_t>(n));
  }
}

// Sizes are at most 32 bits on the wire. Nothing this program sends comes near; should a
// caller try, null goes out instead of a corrupt message.
bool tooLarge(std::vector<uint8_t>& out, std::size_t n) {
  if (n <= std::numeric_limits<uint32_t>::max()) [[likely]] {
    return false;
  }
  reportProgrammingError("value too large for the standard codec; sent as null");
  out.push_back(kNull);
  return true;
}

template <class T>
void writeTypedList(std::vector<uint8_t>& out, Type type, const std::vector<T>& v) {
  if (tooLarge(out, v.size())) return;
  out.push_back(type);
  writeSize(out, v.size());
  align(out, sizeof(T));  // even when empty, or the reader misplaces what follows
  if constexpr (std::endian::native == std::endian::little || sizeof(T) == 1) {
    const auto* p = reinterpret_cast<const uint8_t*>(v.data());
    out.insert(out.end(), p, p + v.size() * sizeof(T));
  } else {
    for (T x : v) appendScalar(out, x);
  }
}

void writeString(std::vector<uint8_t>& out, const std::string& s) {
  if (tooLarge(out, s.size())) return;
  out.push_back(kString);
  // A string that is not UTF-8 would make the Flutter side's decoder throw; send the
  // repaired text instead.
  if (!text::isValidUtf8(s)) {
    const std::string repaired = text::toValidUtf8(s);
    writeSize(out, repaired.size());
    out.insert(out.end(), repaired.begin(), repaired.end());
    return;
  }
  writeSize(out, s.size());
  out.insert(out.end(), s.begin(), s.end());
}

void write(std::vector<uint8_t>& out, const Value& v) {
  switch (v.index()) {
    case 0:
      out.push_back(kNull);
      break;
    case 1:
      out.push_back(*v.get_if<bool>() ? kTrue : kFalse);
      break;
    case 2:
      out.push_back(kInt32);
      appendScalar(out, *v.get_if<int32_t>());
      break;
    case 3: {
      const int64_t i = *v.get_if<int64_t>();
      if (i >= std::numeric_limits<int32_t>::min() && i <= std::numeric_limits<int32_t>::max()) {
        out.push_back(kInt32);
        appendScalar(out, static_cast<int32_t>(i));
      } else {
        out.push_back(kInt64);
        appendScalar(out, i);
      }
      break;
    }
    case 4:
      out.push_back(kFloat64);
      align(out, 8);
      appendScalar(out, *v.get_if<double>());
      break;
    case 5:
      writeString(out, *v.get_if<std::string>());
      break;
    case 6:
      writeTypedList(out, kUint8List, *v.get_if<std::vector<uint8_t>>());
      break;
    case 7:
      writeTypedList(out, kInt32List, *v.get_if<std::vector<int32_t>>());
      break;
    case 8:
      writeTypedList(out, kInt64List, *v.get_if<std::vector<int64_t>>());
      break;
    case 9:
      writeTypedList(out, kFloat64List, *v.get_if<std::vector<double>>());
      break;
    case 10: {
      const auto& list = *v.get_if<ValueList>();
      if (tooLarge(out, list.size())) break;
      out.push_back(kList);
      writeSize(out, list.size());
      for (const Value& e : list) write(out, e);
      break;
    }
    case 11: {
      const auto& map = *v.get_if<ValueMap>();
      if (tooLarge(out, map.size())) break;
      out.push_back(kMap);
      writeSize(out, map.size());
      for (const auto& [key, value] : map) {
        write(out, key);
        write(out, value);
      }
      break;
    }
    case 12:
      writeTypedList(out, kFloat32List, *v.get_if<std::vector<float>>());
      break;
    default:  // valueless_by_exception: nothing sensible to send but null
      out.push_back(kNull);
      break;
  }
}

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

  bool readString(std::string& out) {
    std::size_t n;
    if (!readSize(n) || n > remaining()) return false;
    const auto* p = reinterpret_cast<const char*>(bytes_.data() + pos_);
    const std::string_view s(p, n);
    if (!text::isValidUtf8(s)) return false;
    out.assign(s);
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
        return readString(out.emplace<std::string>());
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
          if (!readValue(list.back(), depth + 1)) return false;
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
          map.append(Value(), Value());
          auto& entry = *std::prev(map.end());
          if (!readValue(entry.first, depth + 1) || !readValue(entry.second, depth + 1)) {
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
  write(out, v);
}

std::vector<uint8_t> encodeMessage(const Value& v) {
  std::vector<uint8_t> out;
  write(out, v);
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
  std::vector<uint8_t> out;
  writeString(out, call.method);
  write(out, call.arguments);
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
  out.clear();
  out.push_back(kEnvelopeSuccess);
  write(out, v);
}

void encodeErrorEnvelope(const ChannelError& e, std::vector<uint8_t>& out) {
  out.clear();
  out.push_back(kEnvelopeError);
  writeString(out, e.code);
  if (e.message) {
    writeString(out, *e.message);
  } else {
    out.push_back(kNull);
  }
  write(out, e.details);
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
