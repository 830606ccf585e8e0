#include "card/LoadVolume.h"

#include "card/CardFeedback.h"
#include "card/CardListing.h"
#include "card/ImageLock.h"
#include "link/LinkPort.h"

namespace {

constexpr const char* kRootOrTableFailed = "cannot read the root or allocation table";
constexpr const char* kDirectoryFailed = "cannot read the directory";
constexpr const char* kImageBusy = "cannot read the image while another program writes it";

// A slot read can come back whole from a link that failed on an earlier
// block of the same step; what it holds is then not to be trusted.
bool Failed(const CardVolume& volume, bool ok) {
    return !ok || (volume.Place() != CardPlace::Image && volume.Store().Link() != nullptr &&
                   volume.Store().Link()->LinkFailed);
}

void Progress(CardFeedback* progress, int step) {
    if (progress != nullptr)
        progress->SetProgress(step, 3);
}

LoadResult Fail(const char* failure) {
    LoadResult result;
    result.failure = failure;
    return result;
}

} // namespace

LoadResult LoadVolume(CardVolume& volume, CardFeedback* progress, bool headers) {
    // Never the half of a change another program is making: an image is
    // read under its shared lock, which the command keeps.
    if (!LockImage(volume, false)) {
        if (volume.Store().Feedback() != nullptr)
            volume.Store().Feedback()->ShowWarning(ImageBusyText(volume.ImageName()));
        return Fail(kImageBusy);
    }
    Progress(progress, 0);
    if (Failed(volume, volume.ReadRoot()))
        return Fail(kRootOrTableFailed);
    Progress(progress, 1);
    if (Failed(volume, volume.ReadFat()))
        return Fail(kRootOrTableFailed);
    LoadResult result;
    if (!volume.IsFormatted()) {
        // Nothing is listed on a card that was never formatted.
        ClearListing(volume);
        result.state = VolumeLoad::NotFormatted;
        return result;
    }
    volume.RepairSystemChains();
    Progress(progress, 2);
    // A directory cut short by a failed read must not be listed, nor written
    // back by a later step of the same command.
    if (Failed(volume, volume.ReadDirectory(headers)))
        return Fail(kDirectoryFailed);
    ListSavers(volume);
    result.state = VolumeLoad::Loaded;
    return result;
}
