// A set of enumeration members stored as bits (bit = ordinal), like the option sets the settings
// file and the list files store as integers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace pelcrow {

template <typename E, typename Bits>
class TSet {
  static_assert(std::is_enum_v<E>);

 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) fBits = static_cast<Bits>(fBits | Bit(m));
  }
  static constexpr TSet FromBits(Bits bits) {
    TSet s;
    s.fBits = bits;
    return s;
  }
  constexpr Bits ToBits() const { return fBits; }
  constexpr bool Contains(E m) const { return (fBits & Bit(m)) != 0; }
  constexpr bool Empty() const { return fBits == 0; }
  constexpr TSet& Include(E m) {
    fBits = static_cast<Bits>(fBits | Bit(m));
    return *this;
  }
  constexpr TSet& Exclude(E m) {
    fBits = static_cast<Bits>(fBits & ~Bit(m));
    return *this;
  }
  constexpr TSet& Set(E m, bool on) { return on ? Include(m) : Exclude(m); }
  friend constexpr bool operator==(TSet a, TSet b) = default;

 private:
  static constexpr Bits Bit(E m) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(m)); }
  Bits fBits = 0;
};

}  // namespace pelcrow
