// Accessibility attribute values: CoreFoundation objects to the seam's plain variant and back.
#pragma once

#import <ApplicationServices/ApplicationServices.h>

#include "platform/accessibility.h"
#include "platform/macos/cf_handles.h"

namespace platform::macos {

AXUIElementRef elementRef(const AXElement& element);

// An attribute value the OS handed over (borrowed), as plain data: a string, a boolean, a
// number, an element, a boxed value (with its range when it holds one), or the type's name.
AXAttributeValue toAttributeValue(CFTypeRef value);

// The CoreFoundation object for a value to set, owned. Null for what the call cannot carry: no
// value, another kind of object, or a boxed value other than a range (the box holds no data
// for it, and AXValueCreate would read past the range).
CFRef<CFTypeRef> toCFValue(const AXAttributeValue& value);

}  // namespace platform::macos
