#pragma once

#include "card/ChangeRecorder.h"
#include "card/JournalFile.h"

#include <memory>
#include <string>

// Keeps the history of card changes in DATA/journal/, one file per card (see
// JournalFile.h). Before the first write of a change it reads the card's
// system blocks; before a data block of a listed or lately deleted saver is
// overwritten it keeps the block; at the end of the change it stores both
// states, the kept blocks and the savers taken off. Failing to read or store
// any of this never stops the change: the change is then not in the history.
class CardJournal : public ChangeRecorder {
  public:
    // dataFolder holds the journal folder; empty is the current folder.
    explicit CardJournal(const std::string& dataFolder);
    ~CardJournal() override;

    // Off: changes are not recorded (the files stay).
    bool Enabled = true;

    const std::string& Folder() const { return folder_; }
    // The history file of the card whose root (natural order) is given.
    std::string PathFor(const uint8_t* naturalRoot, uint8_t device,
                        const std::string& imagePath) const;
    // The same from the volume's root in memory (as last listed).
    std::string PathFor(const CardVolume& volume) const;
    // Why the last change could not be stored; empty when it was.
    const std::string& LastProblem() const { return problem_; }

    void Begin(CardVolume& volume, const std::string& command) override;
    void BeforeWrite(CardVolume& volume, uint8_t block, const uint8_t* data512) override;
    void AfterWrite(CardVolume& volume, uint8_t block, const uint8_t* data512,
                    bool written) override;
    void End(CardVolume& volume) override;

  private:
    struct Live;
    void Start(CardVolume& volume);
    void Commit(CardVolume& volume);

    std::string folder_;
    std::string problem_;
    CardVolume* volume_ = nullptr;
    int depth_ = 0;
    std::unique_ptr<Live> live_; // one change's buffers, made once
};

// Reads blocks 241-255 in card order; false when one could not be read.
bool ReadSystemBlocks(CardVolume& volume, BlockBytes (&out)[kSystemBlocks]);
