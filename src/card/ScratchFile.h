#pragma once

#include "base/AtomicFile.h"
#include "card/CardFeedback.h"

#include <string>

// A new file written beside its target under a scratch name and moved over
// the target only when it is complete (see AtomicFile).
using ScratchFile = AtomicFile;

// Passes everything to another CardFeedback, naming the target wherever a message
// names the scratch file, so that what the user reads names the file chosen.
class ScratchNamingFeedback : public CardFeedback {
  public:
    ScratchNamingFeedback(CardFeedback& inner, const ScratchFile& file)
        : inner_(inner), file_(file) {}
    void ShowInfo(const std::string& text) override { inner_.ShowInfo(Named(text)); }
    void ShowWarning(const std::string& text) override { inner_.ShowWarning(Named(text)); }
    bool Confirm(const std::string& text) override { return inner_.Confirm(Named(text)); }
    void SetProgress(int position, int max) override { inner_.SetProgress(position, max); }
    void Repaint() override { inner_.Repaint(); }

  private:
    std::string Named(std::string text) const;
    CardFeedback& inner_;
    const ScratchFile& file_;
};
