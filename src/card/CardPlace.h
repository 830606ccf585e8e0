#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Where a card sits: in slot 1 or slot 2 of the link box, or in the open
// card image file. The three places are also the three volumes and views of
// a window; their order is the volumes' device numbers (CardVolume::Device:
// slot 1 is 0, slot 2 is 1, the image 2), which drag data and the link's
// slot numbers carry, so a place is also an index into any array of three.
enum class CardPlace : uint8_t { Slot1, Slot2, Image };

inline constexpr std::array<CardPlace, 3> kCardPlaces = {CardPlace::Slot1, CardPlace::Slot2,
                                                         CardPlace::Image};

constexpr int PlaceIndex(CardPlace place) {
    return static_cast<int>(place);
}

// The card of a slot goes over the link; the image never does.
constexpr bool IsSlot(CardPlace place) {
    return place != CardPlace::Image;
}

// The place of a device number, or false for a number that names none.
constexpr bool PlaceOfDevice(int device, CardPlace& place) {
    if (device < 0 || device >= static_cast<int>(kCardPlaces.size()))
        return false;
    place = kCardPlaces[static_cast<std::size_t>(device)];
    return true;
}
