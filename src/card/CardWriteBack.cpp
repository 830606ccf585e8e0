#include "card/CardWriteBack.h"

#include "card/CardUi.h"
#include "link/LinkPort.h"

#include <algorithm>
#include <iterator>

void ReportProgress(CardVolume& volume, int position, int max) {
    if (volume.Ui == nullptr)
        return;
    volume.Ui->SetProgress(position, max);
    volume.Ui->Repaint();
}

bool LinkFailedOn(const CardVolume& volume) {
    return volume.Device < CardVolume::kImage && volume.Link != nullptr && volume.Link->LinkFailed;
}

int SaverBlockLimit(const CardVolume& volume) {
    return std::min<int>(volume.UserBlocks(), CardVolume::kDirLastBlock);
}

TableSnapshot::TableSnapshot(const CardVolume& volume, int entryIndex)
    : entry_(volume.Entries[entryIndex]), index_(entryIndex) {
    std::copy(std::begin(volume.Fat), std::end(volume.Fat), fat_);
}

void TableSnapshot::Restore(CardVolume& volume) const {
    std::copy(std::begin(fat_), std::end(fat_), std::begin(volume.Fat));
    volume.Entries[index_] = entry_;
}

bool WriteBackTables(CardVolume& volume, const TableSnapshot& before) {
    // The directory is found through its chain in the table being written.
    if (volume.Fat[CardVolume::kDirFirstBlock] == CardVolume::kFatFree) {
        before.Restore(volume);
        return false;
    }
    if (!volume.WriteFat() || LinkFailedOn(volume)) {
        before.Restore(volume);
        return false;
    }
    if (volume.WriteDirectory() && !LinkFailedOn(volume))
        return true;
    // Part of the directory may be on the card already: put back both.
    before.Restore(volume);
    volume.WriteFat();
    volume.WriteDirectory();
    return false;
}
