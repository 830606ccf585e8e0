#pragma once

#include "card/ChangeRecorder.h"
#include "card/JournalFile.h"
#include "card/SystemBlocks.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// Keeps the history of card changes in DATA/journal/ (see JournalFile.h).
// Before the first write of a change it reads the card's system blocks and
// marks the change begun (JournalPending.h); before a data block of a listed
// or lately deleted saver is overwritten it keeps the block, on disk first;
// at the end of the change it stores both states, the kept blocks and the
// savers taken off, and marks the change done. Failing to read or store any
// of this never stops the change: the change is then not in the history, and
// LastProblem() says why. A change cut off by a failed write stays begun; the
// next reading of the card settles it (CutChanges.h).
class CardJournal : public ChangeRecorder {
  public:
    // dataFolder holds the journal folder; empty is the current folder.
    explicit CardJournal(const std::string& dataFolder);
    ~CardJournal() override;

    // Off: changes are not recorded (the files stay).
    bool Enabled = true;

    const std::string& Folder() const { return folder_; }
    // The place of a volume's card, which begins its files' names.
    static std::string Location(const CardVolume& volume);

    // The history of the card whose system blocks (card order, as the card
    // holds them now) are given: the file of its place whose last change
    // left the card so and whose probe blocks still read as that change left
    // them. False, with records empty, when there is none: the card was
    // changed since by another program, or it is another card.
    bool FindHistory(CardVolume& volume, const BlockBytes (&system)[kSystemBlocks],
                     std::vector<JournalRecord>& records, std::string* path = nullptr) const;
    // For a menu caption, without link work: NoteListed remembers the last
    // change of the card just listed (FindHistory on the system blocks the
    // listing read, its probes read through the command's cache);
    // ListedLastCommand gives that change's command while the listing is
    // still of that card, else nothing.
    void NoteListed(CardVolume& volume);
    std::string ListedLastCommand(const CardVolume& volume) const;

    // Builds the record of a change from its states and kept blocks, reading
    // what else it needs (the removed savers' data, the probes) from the card;
    // saved[b] is the data block b as it was, when known, else null.
    void BuildRecord(CardVolume& volume, JournalRecord& record, const uint8_t* const* saved) const;
    // Adds record as the newest change of the history at historyPath (empty:
    // a new history) and names the file after it. False, with problem set,
    // when it could not be stored.
    bool StoreRecord(const std::string& location, const std::string& historyPath,
                     JournalRecord record, std::string& problem);

    // The write-ahead mark of the change under way (empty when none): it is
    // not cut off, whoever reads the card meanwhile.
    const std::string& MarkUnderWay() const;

    // Why the last change could not be stored; empty when it was. Kept until
    // ClearProblem, with the volume it was about.
    const std::string& LastProblem() const { return problem_; }
    const CardVolume* ProblemVolume() const { return problemVolume_; }
    void ClearProblem();

    void Begin(CardVolume& volume, const std::string& command) override;
    void BeforeWrite(CardVolume& volume, uint8_t block, const uint8_t* data512) override;
    void AfterWrite(CardVolume& volume, uint8_t block, const uint8_t* data512,
                    bool written) override;
    void End(CardVolume& volume) override;
    void Plan(CardVolume& volume, uint8_t block, const uint8_t* data512) override;

  private:
    struct Live;
    void Start(CardVolume& volume);
    void Commit(CardVolume& volume);
    // A change whose write failed: done, nothing, or left begun.
    void Settle(CardVolume& volume);
    void Problem(const CardVolume& volume, const std::string& text);

    struct ListedHistory {
        uint64_t fingerprint = 0;
        std::string command;
    };

    std::string folder_;
    std::map<std::string, ListedHistory> listed_; // by place
    std::string problem_;
    const CardVolume* problemVolume_ = nullptr;
    CardVolume* volume_ = nullptr;
    int depth_ = 0;
    std::unique_ptr<Live> live_; // one change's buffers, made once
};
