#include "card/ChangeRecorder.h"

#include "card/CardVolume.h"

#include <filesystem>

ChangeScope::ChangeScope(CardVolume& volume, const std::string& command)
    : volume_(volume), recorder_(volume.Store().Recorder()) {
    if (recorder_ != nullptr)
        recorder_->Begin(volume_, command);
}

ChangeScope::~ChangeScope() {
    if (recorder_ != nullptr)
        recorder_->End(volume_);
}

void PlanBlock(CardVolume& volume, uint8_t block, const uint8_t* data512) {
    if (volume.Store().Recorder() != nullptr)
        volume.Store().Recorder()->Plan(volume, block, data512);
}

std::string VolumeLabel(const CardVolume& volume) {
    if (volume.Place() == CardPlace::Image)
        return std::filesystem::path(volume.ImageName()).filename().string();
    return "slot " + std::to_string(volume.Device() + 1);
}

std::string RawSaverName(const uint8_t* raw32) {
    std::string name(reinterpret_cast<const char*>(raw32 + SaverEntry::kNameOffset),
                     SaverEntry::kNameLength);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
        name.pop_back();
    return name;
}
