#include "platform/macos/accessibility_values.h"

#import <Foundation/Foundation.h>
#include <gtest/gtest.h>

#include "platform/macos/services.h"

namespace platform::macos {
namespace {

AXAttributeValue roundTrip(const AXAttributeValue& value) {
  const CFRef<CFTypeRef> object = toCFValue(value);
  return toAttributeValue(object.get());
}

TEST(MacAccessibilityValues, SystemObjectsBecomeTheMatchingAlternative) {
  EXPECT_EQ(toAttributeValue(nullptr), AXAttributeValue());
  EXPECT_EQ(toAttributeValue((__bridge CFTypeRef) @"caf\u00e9"),
            AXAttributeValue(std::u16string(u"caf\u00e9")));
  EXPECT_EQ(toAttributeValue(kCFBooleanTrue), AXAttributeValue(true));
  EXPECT_EQ(toAttributeValue(kCFBooleanFalse), AXAttributeValue(false));
  EXPECT_EQ(toAttributeValue((__bridge CFTypeRef) @42), AXAttributeValue(42.0));
  EXPECT_EQ(toAttributeValue((__bridge CFTypeRef) @[ @1 ]),
            AXAttributeValue(AXOtherValue{"CFArray"}));

  const CFRef<AXUIElementRef> systemWide(AXUIElementCreateSystemWide());
  const AXAttributeValue element = toAttributeValue(systemWide.get());
  ASSERT_TRUE(std::holds_alternative<AXElement>(element));
  EXPECT_EQ(elementRef(std::get<AXElement>(element)), systemWide.get());
}

TEST(MacAccessibilityValues, BoxedValuesKeepTheirTypeAndOnlyRangesTheirContents) {
  const CFRange range = CFRangeMake(2, 5);
  const CFRef<AXValueRef> boxedRange(AXValueCreate(::kAXValueTypeCFRange, &range));
  EXPECT_EQ(toAttributeValue(boxedRange.get()),
            AXAttributeValue(AXValueBox{kAXValueTypeCFRange, {2, 5}}));

  const CGPoint point = {3, 4};
  const CFRef<AXValueRef> boxedPoint(AXValueCreate(::kAXValueTypeCGPoint, &point));
  const AXAttributeValue value = toAttributeValue(boxedPoint.get());
  ASSERT_TRUE(std::holds_alternative<AXValueBox>(value));
  EXPECT_EQ(std::get<AXValueBox>(value).type, static_cast<int32_t>(::kAXValueTypeCGPoint));
  EXPECT_EQ(std::get<AXValueBox>(value).range, AXRange{});
}

TEST(MacAccessibilityValues, ValuesToSetRoundTripAndWhatCannotBeCarriedIsRefused) {
  EXPECT_EQ(roundTrip(true), AXAttributeValue(true));
  EXPECT_EQ(roundTrip(false), AXAttributeValue(false));
  EXPECT_EQ(roundTrip(-1.5), AXAttributeValue(-1.5));
  // UTF-16 units go through untouched, even a lone surrogate.
  const std::u16string units = {u'a', 0xDC00, 0xD83C, 0xDF0D, u'b'};
  EXPECT_EQ(roundTrip(units), AXAttributeValue(units));
  EXPECT_EQ(roundTrip(std::u16string()), AXAttributeValue(std::u16string()));
  EXPECT_EQ(roundTrip(AXValueBox{kAXValueTypeCFRange, {7, 0}}),
            AXAttributeValue(AXValueBox{kAXValueTypeCFRange, {7, 0}}));

  // A box of another type holds no data to create it from.
  EXPECT_FALSE(toCFValue(AXValueBox{static_cast<int32_t>(::kAXValueTypeCGRect), {}}));
  EXPECT_FALSE(toCFValue(AXAttributeValue()));
  EXPECT_FALSE(toCFValue(AXOtherValue{"CFDate"}));
  EXPECT_FALSE(toCFValue(AXElement()));

  const std::unique_ptr<Accessibility> ax = makeAccessibility();
  const AXElement systemWide = ax->createSystemWide();
  EXPECT_EQ(ax->setAttributeValue(systemWide, "AXValue",
                                  AXValueBox{static_cast<int32_t>(::kAXValueTypeCGRect), {}}),
            kAXErrorIllegalArgument);
  AXAttributeValue untouched = std::u16string(u"kept");
  EXPECT_EQ(ax->copyAttributeValue(nullptr, "AXValue", untouched), kAXErrorIllegalArgument);
  EXPECT_EQ(untouched, AXAttributeValue(std::u16string(u"kept")));
}

}  // namespace
}  // namespace platform::macos
