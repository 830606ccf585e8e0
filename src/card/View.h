#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The three cards the program shows side by side: the card in slot 1, the
// card in slot 2, and the open card image. The order is the engine's volume
// order (CardVolume::Device), so a view is also an index into any array of
// three.
enum class View : uint8_t { Slot1, Slot2, File };

inline constexpr std::array<View, 3> kViews = {View::Slot1, View::Slot2, View::File};

constexpr int ViewIndex(View view) {
    return static_cast<int>(view);
}

// The card of a slot goes over the link; the image never does.
constexpr bool IsSlot(View view) {
    return view != View::File;
}

// The view of a CardVolume::Device, or false for a number that names none.
constexpr bool ViewOfDevice(int device, View& view) {
    if (device < 0 || device >= static_cast<int>(kViews.size()))
        return false;
    view = kViews[static_cast<std::size_t>(device)];
    return true;
}
