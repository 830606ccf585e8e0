#pragma once

#include "app/cli/CliCommands.h"
#include "card/CardFeedback.h"
#include "card/CardJournal.h"
#include "card/CardVolume.h"
#include "link/LinkHost.h"
#include "link/LinkPort.h"
#include "settings/Settings.h"

#include <memory>
#include <string>

// Messages of the card model, kept for the one stderr line of a failed
// command; questions are answered No, nothing is shown while it runs.
class CliCardFeedback : public CardFeedback {
  public:
    void ShowInfo(const std::string& text) override { Note(text); }
    void ShowWarning(const std::string& text) override { Note(text); }
    bool Confirm(const std::string&) override { return false; }
    void SetProgress(int, int) override {}
    void Repaint() override {}
    void VerifiedTransferFailed() override { verifiedFailed_ = true; }

    // The last message, blanks trimmed; empty when there was none.
    const std::string& LastMessage() const { return last_; }
    bool LinkErrorShown() const { return linkError_; }
    bool VerifiedFailureSeen() const { return verifiedFailed_; }
    void Forget() {
        last_.clear();
        linkError_ = false;
        verifiedFailed_ = false;
    }

  private:
    void Note(const std::string& text);
    std::string last_;
    bool linkError_ = false;
    bool verifiedFailed_ = false;
};

// One run of a card command: the link (opened on first use, shared by both
// slots), the settings and the message sink.
class CliSession {
  public:
    explicit CliSession(CliContext& ctx) : ctx_(ctx) {}
    // Tells on err of a change the history could not keep.
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // "slot1" -> 0, "slot2" -> 1, anything else -1.
    static int SlotOf(const std::string& volume);

    // Opens the link from the --link spec and detects the device once. The
    // page, when given (>= 0), is selected on the paged card. Returns a
    // CliExit; error holds the reason.
    int OpenLink(long page, std::string& error);

    // Opens VOLUME into vol: an existing 131072-byte image file, or slot1 /
    // slot2 (card present). An image the user may only read is opened for
    // reading, and refused when forWriting. With the history on, a change
    // cut off on this card is put right first (taken back, or recorded when
    // it had reached the card whole) and said so on err; nothing else is
    // read yet. Returns a CliExit.
    int OpenVolume(const std::string& volume, long page, CardVolume& vol, std::string& error,
                   bool forWriting = false);

    // Reads root, FAT and directory and lists the savers as the card view
    // does (directory order, empty entries skipped; FreeBlocks floored at 0).
    // formatted is false for a card that was never formatted. False with
    // error set on a read failure.
    bool LoadVolume(CardVolume& vol, bool& formatted, std::string& error);

    // OpenVolume and LoadVolume, each failure reported on err. A card that
    // was never formatted is refused, unless formatted is given to learn it.
    // Returns a CliExit.
    int OpenListed(const std::string& volume, long page, CardVolume& vol, bool forWriting = false,
                   bool* formatted = nullptr);

    // For a command that needs the savers' entries only, not what their
    // header blocks say (description, icon frames): listings from now on
    // read no header block.
    void ListEntriesOnly() { headers_ = false; }

    // The reason a step on vol failed: the model's last message, a link error,
    // or fallback.
    std::string FailureText(const CardVolume& vol, const std::string& fallback) const;
    // Whether the link reported a lasting failure since the last Forget().
    bool LinkBroke(const CardVolume& vol) const;

    CliContext& Ctx() { return ctx_; }
    CliCardFeedback& Ui() { return ui_; }
    LinkPort* Link() { return link_.get(); }
    Settings& Config() { return settings_; }
    // The history of card changes, in journal/ of the current folder.
    CardJournal& Journal() { return journal_; }

  private:
    int OpenDevice(const std::string& volume, long page, CardVolume& vol, std::string& error,
                   bool forWriting);
    void SettleCut(CardVolume& vol);

    CliContext& ctx_;
    CliCardFeedback ui_;
    Settings settings_;
    CardJournal journal_{""};
    ConsoleLinkHost host_;
    std::unique_ptr<LinkPort> link_;
    bool pageSet_ = false;
    bool headers_ = true;
};

// Directory index of the first listed saver (list order) whose name, with
// trailing blanks and NULs ignored, is name; -1 when there is none. "#N"
// (digits only) names the listed saver at directory index N instead, for
// names a shell can't pass (a NUL inside) or that look like options.
int FindListedSaver(const CardVolume& vol, const std::string& name);

// Reports a failure as one line on err and returns code.
int CliFail(CliContext& ctx, int code, const std::string& reason);
