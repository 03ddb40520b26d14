// Ownership of CoreFoundation references: a scoped owner for what a Create or Copy call
// returned, and the seam's opaque handles over such references.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <memory>
#include <utility>

namespace platform::macos {

// Owns one reference (null allowed) and releases it once.
template <class Ref>
class CFRef {
 public:
  CFRef() = default;
  explicit CFRef(Ref ref) : ref_(ref) {}
  CFRef(CFRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
  CFRef& operator=(CFRef&& other) noexcept {
    if (this != &other) {
      reset();
      ref_ = std::exchange(other.ref_, nullptr);
    }
    return *this;
  }
  CFRef(const CFRef&) = delete;
  CFRef& operator=(const CFRef&) = delete;
  ~CFRef() { reset(); }

  Ref get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }

 private:
  void reset() {
    if (ref_ != nullptr) CFRelease(ref_);
    ref_ = nullptr;
  }

  Ref ref_ = nullptr;
};

// A seam handle whose pointer is the CoreFoundation reference itself (no wrapper object; the
// shared_ptr's control block is still allocated), and the last copy of the handle releases the
// reference. Takes over one owned reference;
// null (the call returned NULL) gives a null handle.
template <class Object, class Ref>
std::shared_ptr<Object> adoptHandle(Ref ref) {
  if (ref == nullptr) return nullptr;
  void* object = const_cast<void*>(static_cast<const void*>(ref));
  return std::shared_ptr<Object>(static_cast<Object*>(object),
                                 [](Object* owned) { CFRelease(owned); });
}

// The same for a borrowed reference (a Get result, an array element): retained first.
template <class Object, class Ref>
std::shared_ptr<Object> retainHandle(Ref ref) {
  if (ref != nullptr) CFRetain(ref);
  return adoptHandle<Object>(ref);
}

// The reference behind a handle made by adoptHandle; null for a null handle.
template <class Ref, class Object>
Ref handleRef(Object* object) {
  return reinterpret_cast<Ref>(object);
}

}  // namespace platform::macos
