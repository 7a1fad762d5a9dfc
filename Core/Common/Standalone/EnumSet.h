// Portable: a set of the members of a small enumeration, held as bits (bit n for ordinal n).
#pragma once

#include <cstdint>
#include <initializer_list>

template <typename E> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members) {
        for (E member : members) {
            FBits |= Bit(member);
        }
    }

    constexpr bool Contains(E member) const { return (FBits & Bit(member)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TSet& Include(E member) {
        FBits |= Bit(member);
        return *this;
    }
    constexpr TSet& Exclude(E member) {
        FBits &= ~Bit(member);
        return *this;
    }
    // Includes or excludes the member.
    constexpr TSet& Set(E member, bool present) {
        return present ? Include(member) : Exclude(member);
    }
    constexpr uint32_t Bits() const { return FBits; }

    friend constexpr bool operator==(TSet a, TSet b) { return a.FBits == b.FBits; }
    friend constexpr TSet operator+(TSet a, TSet b) {
        a.FBits |= b.FBits;
        return a;
    }

private:
    static constexpr uint32_t Bit(E member) { return uint32_t{1} << static_cast<uint32_t>(member); }
    uint32_t FBits = 0;
};
