#pragma once

#include "card/CardUi.h"

#include <string>

// A new file written beside its target under a scratch name and moved over
// the target only when it is complete, so that a failed write leaves the
// target as it was (or absent). The scratch file is removed unless
// committed.
class ScratchFile {
  public:
    explicit ScratchFile(const std::string& target);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Whether the scratch file could be made; Error() tells why not.
    bool Ready() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    const std::string& Target() const { return target_; }
    // Flushes the scratch file to disk and renames it over the target, with
    // the target's permissions when it exists, else the usual ones for a
    // new file. False with Error() set when that fails.
    bool Commit();
    const std::string& Error() const { return error_; }

  private:
    std::string target_;
    std::string path_;
    std::string error_;
    bool committed_ = false;
};

// Passes everything to another CardUi, naming the target wherever a message
// names the scratch file, so that what the user reads names the file chosen.
class ScratchNamingUi : public CardUi {
  public:
    ScratchNamingUi(CardUi& inner, const ScratchFile& file) : inner_(inner), file_(file) {}
    void ShowInfo(const std::string& text) override { inner_.ShowInfo(Named(text)); }
    void ShowWarning(const std::string& text) override { inner_.ShowWarning(Named(text)); }
    bool Confirm(const std::string& text) override { return inner_.Confirm(Named(text)); }
    void SetProgress(int position, int max) override { inner_.SetProgress(position, max); }
    void Repaint() override { inner_.Repaint(); }

  private:
    std::string Named(std::string text) const;
    CardUi& inner_;
    const ScratchFile& file_;
};
