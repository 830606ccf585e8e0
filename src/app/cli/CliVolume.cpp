#include "app/cli/CliVolume.h"

#include "app/cli/CliArgs.h"
#include "card/ApplySettings.h"
#include "card/CardImage.h"
#include "card/CardImageOrder.h"
#include "card/CutChanges.h"
#include "card/ImageLock.h"
#include "card/JournalPending.h"
#include "card/LoadVolume.h"
#include "link/LinkOption.h"
#include "settings/ConfigFile.h"

#include <cstring>
#include <filesystem>
#include <ostream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string Trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.substr(begin, end - begin);
}

std::string WithoutTrailingBlanksAndNuls(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

// Emulated boxes answer at once; real hardware takes the user's timing.
bool IsEmulatedLink(const std::string& spec) {
    return spec.rfind("emulator", 0) == 0 || spec.rfind("socket:", 0) == 0;
}

} // namespace

void CliCardFeedback::Note(const std::string& text) {
    if (text == CardBlockStore::kReadErrorText || text == CardBlockStore::kWriteErrorText ||
        text == CardBlockStore::kWriteFailedText)
        linkError_ = true;
    last_ = Trimmed(text);
}

int CliSession::SlotOf(const std::string& volume) {
    if (volume == "slot1")
        return 0;
    if (volume == "slot2")
        return 1;
    return -1;
}

int CliSession::OpenLink(long page, std::string& error) {
    if (!link_) {
        std::string why;
        std::unique_ptr<PortBackend> backend = MakePortBackend(ctx_.linkSpec, why);
        if (!backend) {
            error = "bad --link: " + why;
            return kCliUsage;
        }
        link_ = std::make_unique<LinkPort>(std::move(backend), &host_);
        if (IsEmulatedLink(ctx_.linkSpec)) {
            link_->ShortDelay = 0;
            link_->LongDelay = 0;
            link_->LongestDelay = 0;
        } else {
            // The user's timing from "RUD2.cfg" here, if there is one; the
            // file is never created by this tool.
            std::error_code ec;
            const fs::file_status config = fs::status(kConfigFileName, ec);
            if (fs::is_regular_file(config)) {
                LoadConfig(fs::current_path(ec).string(), settings_);
            } else if (fs::exists(config)) {
                // A FIFO would block the read for ever, a folder fails it.
                ctx_.err << "porvane-cli: warning: " << kConfigFileName
                         << " is not a regular file; using the default settings\n";
            }
            ApplySettings(settings_, *link_);
        }
        if (!ctx_.verify)
            settings_.VerifyTransfers = 0;
        if (!link_->Port().Opened()) {
            const uint32_t code = link_->Port().LastError();
            error = "cannot open the link port (" + ctx_.linkSpec +
                    "): " + std::strerror(static_cast<int>(code));
            return kCliFailed;
        }
        if (!link_->DetectDevice()) {
            error = "no device answers on the link";
            return kCliFailed;
        }
    }
    if (page >= 0 && !pageSet_) {
        if (!link_->DirectMode) {
            error = "--page needs the paged card";
            return kCliFailed;
        }
        uint16_t now = 0;
        if (!link_->SetPage(static_cast<uint16_t>(page)) || !link_->GetPage(now)) {
            error = "link error while selecting page " + std::to_string(page);
            return kCliFailed;
        }
        pageSet_ = true;
    }
    return kCliOk;
}

CliSession::~CliSession() {
    // The command made a change the history could not keep: said once, the
    // exit status as the command left it.
    if (!journal_.LastProblem().empty())
        ctx_.err << "porvane-cli: warning: " << journal_.LastProblem() << "\n";
}

int CliSession::OpenVolume(const std::string& volume, long page, CardVolume& vol,
                           std::string& error, bool forWriting) {
    const int rc = OpenDevice(volume, page, vol, error, forWriting);
    if (rc == kCliOk && ctx_.journal)
        SettleCut(vol);
    return rc;
}

void CliSession::SettleCut(CardVolume& vol) {
    if (!HasCutChange(vol, journal_))
        return;
    // Putting the card right writes: the image wants the writer's lock, and
    // an order that is sure.
    std::string why;
    if (vol.Place() == CardPlace::Image &&
        (vol.Store().ImageReadOnly() || !LockImageForWriting(vol, why)))
        return;
    ui_.Forget();
    const SettleOutcome settled = SettleCutChange(vol, journal_);
    if (!settled.message.empty())
        ctx_.err << "porvane-cli: " << settled.message << "\n";
    ui_.Forget();
}

int CliSession::OpenDevice(const std::string& volume, long page, CardVolume& vol,
                           std::string& error, bool forWriting) {
    vol.Store().SetConfig(&settings_);
    vol.Store().SetFeedback(&ui_);
    vol.Store().SetRecorder(ctx_.journal ? &journal_ : nullptr);
    const int slot = SlotOf(volume);
    if (slot < 0) {
        error = InputFileProblem(volume);
        if (!error.empty())
            return kCliFailed;
        if (CheckImageFile(volume) != ImageFileCheck::Fits) {
            error = "FILE : " + volume + " IS NOT SUPPORTED !!!!";
            return kCliFailed;
        }
        vol.SetPlace(CardPlace::Image);
        if (!vol.OpenImage(volume)) {
            error = "cannot open " + volume;
            return kCliFailed;
        }
        const char* order =
            ImageOrderName(vol.Store().ImageNatural() ? ImageOrder::Natural : ImageOrder::Card);
        // A write in a guessed order could turn every saver to garbage.
        if (vol.Store().ImageOrderUnsure() && forWriting) {
            error = OrderUnknownText(volume);
            return kCliFailed;
        }
        if (vol.Store().ImageOrderUnsure())
            ctx_.err << "porvane-cli: " << volume
                     << ": its byte order cannot be told from its contents; read as " << order
                     << " by its name, and never written (see convert --to)\n";
        else if (vol.Store().ImageOrderGuessed())
            ctx_.err << "porvane-cli: " << volume
                     << ": its root does not tell the byte order; taken as " << order
                     << " by its name\n";
        // Held from the first read to the last write of the command, so that
        // two commands never interleave on one image.
        if (!LockImage(vol, forWriting)) {
            error = ImageBusyText(volume);
            return kCliFailed;
        }
        // Refused before anything is read, so that no step of the command
        // has taken place when the first write would fail.
        if (forWriting && vol.Store().ImageReadOnly()) {
            error = "cannot write to " + volume + ": the file is read-only";
            return kCliFailed;
        }
        return kCliOk;
    }
    const int rc = OpenLink(page, error);
    if (rc != kCliOk)
        return rc;
    vol.SetPlace(slot == 0 ? CardPlace::Slot1 : CardPlace::Slot2);
    vol.Store().SetLink(link_.get());
    // A command's volume lives for that command only: its cache is open
    // for the volume's life and never serves another command.
    vol.Store().Cache().Open();
    if (link_->DirectMode) {
        // The paged card shows one card at a time, as slot 1.
        if (slot == 1) {
            error = "the paged card has no slot 2";
            return kCliFailed;
        }
        return kCliOk;
    }
    bool card1 = false;
    bool card2 = false;
    if (!link_->GetSlotStatus(card1, card2)) {
        error = "link error while asking for the cards";
        return kCliFailed;
    }
    if (!(slot == 0 ? card1 : card2)) {
        error = slot == 0 ? "no card in slot 1" : "no card in slot 2";
        return kCliFailed;
    }
    return kCliOk;
}

bool CliSession::LinkBroke(const CardVolume& vol) const {
    return ui_.LinkErrorShown() || (vol.Place() != CardPlace::Image && vol.Store().Link() &&
                                    vol.Store().Link()->LinkFailed);
}

std::string CliSession::FailureText(const CardVolume& vol, const std::string& fallback) const {
    if (LinkBroke(vol))
        return "link error: " + (ui_.LastMessage().empty() ? fallback : ui_.LastMessage()) +
               (ui_.VerifiedFailureSeen()
                    ? " (porvane-cli speed finds delay counts the box keeps up with)"
                    : "");
    if (!ui_.LastMessage().empty())
        return ui_.LastMessage();
    return fallback;
}

int CliSession::OpenListed(const std::string& volume, long page, CardVolume& vol, bool forWriting,
                           bool* formatted) {
    std::string error;
    const int rc = OpenVolume(volume, page, vol, error, forWriting);
    if (rc != kCliOk)
        return CliFail(ctx_, rc, error);
    bool isFormatted = false;
    if (!LoadVolume(vol, isFormatted, error))
        return CliFail(ctx_, kCliFailed, error);
    if (formatted != nullptr)
        *formatted = isFormatted;
    else if (!isFormatted)
        return CliFail(ctx_, kCliFailed, volume + ": Not a formated Card");
    return kCliOk;
}

bool CliSession::LoadVolume(CardVolume& vol, bool& formatted, std::string& error) {
    formatted = false;
    ui_.Forget();
    const std::string where = vol.Place() == CardPlace::Image ? vol.ImageName()
                              : vol.Device() == 0             ? "slot 1"
                                                              : "slot 2";
    const LoadResult load = ::LoadVolume(vol, nullptr, headers_);
    if (load.state == VolumeLoad::Failed) {
        error = FailureText(vol, std::string(load.failure) + " of " + where);
        return false;
    }
    formatted = load.Loaded();
    return true;
}

int FindListedSaver(const CardVolume& vol, const std::string& name) {
    long index = 0;
    if (name.size() > 1 && name[0] == '#' &&
        ParseCliNumber(name.substr(1), CardVolume::kListedEntries - 1, index)) {
        for (int k = 0; k < vol.ListedCount(); ++k) {
            if (vol.ListMap()[k] == index)
                return static_cast<int>(index);
        }
        return -1;
    }
    const std::string wanted = WithoutTrailingBlanksAndNuls(name);
    for (int k = 0; k < vol.ListedCount(); ++k) {
        const int entry = vol.ListMap()[k];
        if (vol.Entries()[entry].TrimmedName() == wanted)
            return entry;
    }
    return -1;
}

int CliFail(CliContext& ctx, int code, const std::string& reason) {
    ctx.err << "porvane-cli: " << reason << "\n";
    return code;
}
