// The automation boundary: whatever a method body throws becomes a failure
// status with its description, and an empty value; nothing gets through.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "contract/AutomationBoundary.h"
#include "contract/RuntimeError.h"

namespace {

using quillvane::CallMethod;
using quillvane::RuntimeError;

TEST(AutomationBoundary, EveryExceptionBecomesAFailureWithAnEmptyValue) {
  struct Case {
    const char* name;
    std::function<void()> raise;
    std::uint32_t hresult;
    std::u16string description;
  };
  const Case cases[] = {
      {"length_error", [] { throw std::length_error("vector"); }, 0x800A0007u, u"Out of memory"},
      {"bad_alloc", [] { throw std::bad_alloc(); }, 0x800A0007u, u"Out of memory"},
      {"runtime_error", [] { throw std::runtime_error("x"); }, 0x8000FFFFu, u"Unexpected failure"},
      {"not an exception", [] { throw 42; }, 0x8000FFFFu, u"Unexpected failure"},
      // A control object's own text stays as it was written, beyond ASCII too.
      {"foreign",
       [] { throw RuntimeError::Foreign(-2147467259, u"Lade klemmt \u2013 \u03a9\u4e2d"); },
       0x80004005u, u"Lade klemmt \u2013 \u03a9\u4e2d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto number = CallMethod([&]() -> std::int32_t {
      c.raise();
      return 5;
    });
    EXPECT_EQ(static_cast<std::uint32_t>(number.hresult), c.hresult);
    EXPECT_EQ(number.value, 0);
    EXPECT_EQ(number.description, c.description);

    const auto text = CallMethod([&]() -> std::u16string {
      c.raise();
      return u"x";
    });
    EXPECT_EQ(static_cast<std::uint32_t>(text.hresult), c.hresult);
    EXPECT_TRUE(text.value.empty());

    const auto none = CallMethod([&] { c.raise(); });
    EXPECT_EQ(static_cast<std::uint32_t>(none.hresult), c.hresult);
  }
}

}  // namespace
