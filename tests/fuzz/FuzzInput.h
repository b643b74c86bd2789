// Reading a fuzzer's bytes as the inputs of one test case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvfuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : mData(data), mSize(size) {}

  bool Empty() const { return mSize == 0; }
  // The next byte, or 0 once all are used.
  std::uint8_t Byte() {
    if (mSize == 0) return 0;
    --mSize;
    return *mData++;
  }
  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return value;
  }
  // Text: each byte one character, or (when wide) two bytes each. ASCII bytes
  // stand for themselves (so seeds read as they are written), 0x80-0xBF for
  // the characters numbers are made of, so that numbers come up often.
  std::u16string Text(std::size_t length, bool wide) {
    static const char kAlphabet[] = "0123456789+-.eEdD&HhOo \t\nx";
    std::u16string text;
    for (std::size_t i = 0; i < length && mSize > 0; ++i) {
      if (wide) {
        text += static_cast<char16_t>(Byte() | (Byte() << 8));
      } else {
        const std::uint8_t b = Byte();
        text += b >= 0x80 && b < 0xC0
                    ? static_cast<char16_t>(kAlphabet[(b - 0x80) % (sizeof kAlphabet - 1)])
                    : static_cast<char16_t>(b);
      }
    }
    return text;
  }
  // The rest, as text.
  std::u16string Rest() {
    const bool wide = (Byte() & 1) != 0;
    return Text(mSize, wide);
  }

 private:
  const std::uint8_t* mData;
  std::size_t mSize;
};

}  // namespace qvfuzz
